#include "readers/PhononFileReader.h"

#include "readers/EngineLines.h"

#include "kelv/kelv.h"
#include "qorqm/KPointPathFile.h"
#include "qorqm/LatticeUtilities.h"
#include "qorqm/PathUtilities.h"
#include "setup/ZelmRunInfo.h"

#include <algorithm>
#include <fstream>
#include <numeric>

CZelmPhononDataReaderBase::~CZelmPhononDataReaderBase() = default;

CPointFrequencies::List CPointFrequencies::operator[](std::size_t point) const
{
    const double* values = m_values.data();
    const std::size_t last = point + 1 < m_starts.size() ? m_starts[point + 1] : m_values.size();
    return List(values + m_starts[point], values + last);
}

void CPointFrequencies::clear()
{
    m_values.clear();
    m_starts.clear();
}

void CPointFrequencies::reserve(std::size_t points, std::size_t values)
{
    m_starts.reserve(points);
    m_values.reserve(values);
}

std::size_t CPointFrequencies::Bytes() const
{
    return m_values.capacity() * sizeof(double) + m_starts.capacity() * sizeof(std::size_t);
}

void CPointLabels::Reset(std::size_t count)
{
    m_count = count;
    m_labels.clear();
}

const std::string& CPointLabels::operator[](std::size_t point) const
{
    static const std::string None;
    const auto at = std::lower_bound(m_labels.begin(), m_labels.end(), point,
                                     [](const std::pair<std::size_t, std::string>& entry, std::size_t position) {
                                         return entry.first < position;
                                     });
    return at != m_labels.end() && at->first == point ? at->second : None;
}

void CPointLabels::Set(std::size_t point, const std::string& label)
{
    if (point >= m_count) {
        return;
    }
    // Points are labelled in their order: the new one mostly goes last.
    auto at = m_labels.end();
    if (!m_labels.empty() && m_labels.back().first >= point) {
        at = std::lower_bound(m_labels.begin(), m_labels.end(), point,
                              [](const std::pair<std::size_t, std::string>& entry, std::size_t position) {
                                  return entry.first < position;
                              });
    }
    const bool held = at != m_labels.end() && at->first == point;
    if (label.empty()) {
        if (held) {
            m_labels.erase(at);
        }
    } else if (held) {
        at->second = label;
    } else {
        m_labels.insert(at, {point, label});
    }
}

std::vector<std::string> CPointLabels::ToVector() const
{
    std::vector<std::string> labels(m_count);
    for (const auto& entry : m_labels) {
        labels[entry.first] = entry.second;
    }
    return labels;
}

namespace {

void Rewind(std::istream& stream)
{
    stream.clear();
    stream.seekg(0, std::ios::beg);
}

// Words 5 to 7 of a start or final line of a segment.
bool SegmentEnd(CEngineLineReader& lines, const char* word, LineTokens& tokens, xxPoint3d& point)
{
    if (!lines.Next()) {
        return false;
    }
    TokenizeLine(lines.Line(), tokens);
    if (tokens.size() != 8 || !Contains(lines.Line(), word)) {
        return false;
    }
    point = xxPoint3d(ParseLeadingDecimal(tokens[5]), ParseLeadingDecimal(tokens[6]), ParseLeadingDecimal(tokens[7]));
    return true;
}

} // namespace

void CPhononFileReader::CountSectionsAndDataLines(std::istream& stream, long& sections, long& dataLines)
{
    sections = 0;
    dataLines = 0;
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (Contains(line, "Section")) {
            ++sections;
        }
        if (!line.empty() && !Contains(line, "#")) {
            ++dataLines;
        }
    }
    Rewind(stream);
}

long CPhononFileReader::CountModes(std::istream& stream)
{
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    long modes = 0;
    while (lines.Next()) {
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() != 2) {
            continue;
        }
        if (tokens[0] == "1") {
            ++modes;
        } else if (tokens[0] == "2" && modes > 0) {
            break;
        }
    }
    Rewind(stream);
    return modes;
}

bool CPhononFileReader::ParseDispersionSegment(CEngineLineReader& lines, std::vector<xxPoint3d>& kPoints,
                                               CPointFrequencies& frequencies, long modes, long points,
                                               double& minimumFrequency)
{
    LineTokens tokens;
    xxPoint3d start;
    xxPoint3d final;
    if (!lines.Next() || !SegmentEnd(lines, "Start", tokens, start) || !SegmentEnd(lines, "Final", tokens, final)) {
        return false;
    }
    // A segment of one point has no step.
    const xxPoint3d step = points > 1 ? (final - start) / static_cast<double>(points - 1) : xxPoint3d();
    xxPoint3d current = start;
    for (long point = 0; point < points; ++point) {
        kPoints.push_back(current);
        current += step;
        frequencies.StartPoint();
        for (long mode = 0; mode < modes; ++mode) {
            if (!lines.Next()) {
                return false;
            }
            TokenizeLine(lines.Line(), tokens);
            if (tokens.size() == 2) {
                const double frequency = ParseLeadingDecimal(tokens[1]);
                frequencies.Add(frequency);
                if (!(minimumFrequency < frequency)) {
                    minimumFrequency = frequency;
                }
            }
        }
    }
    return true;
}

void CPhononFileReader::ParseDispersionFile(std::istream& stream, CZelmPhononData& data, const std::string& fileName)
{
    long sections = 0;
    long dataLines = 0;
    CountSectionsAndDataLines(stream, sections, dataLines);
    const long modes = CountModes(stream);
    data.numberOfModes = static_cast<std::int32_t>(modes);
    data.minimumFrequency = 10000.0;
    data.pointNumbers.clear();
    data.kPoints.clear();
    data.frequencies.clear();
    data.boundaryTypes.clear();

    const long count = modes > 0 ? dataLines / modes : 0;
    const long perSection = sections > 0 ? count / sections : 0;
    if (perSection < 1) {
        throw KelvResult(E_UNEXPECTED, "The ZELM dispersion file " + fileName + " holds no dispersion points.");
    }
    data.pointNumbers.resize(static_cast<std::size_t>(count));
    std::iota(data.pointNumbers.begin(), data.pointNumbers.end(), LONG(1));
    data.boundaryTypes.assign(static_cast<std::size_t>(count), SegmentBoundaryInside);
    data.boundaryTypes.front() = SegmentBoundaryStart;
    // The points the sections hold, each with a value a mode; no more values
    // than the file has lines of data.
    const std::size_t points = static_cast<std::size_t>(sections) * static_cast<std::size_t>(perSection);
    data.kPoints.reserve(points);
    data.frequencies.reserve(points, std::min(points * static_cast<std::size_t>(modes),
                                              static_cast<std::size_t>(dataLines)));
    data.boundaryTypes.back() = SegmentBoundaryEnd;

    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    for (long section = 0; section < sections; ++section) {
        ParseDispersionSegment(lines, data.kPoints, data.frequencies, modes, perSection, data.minimumFrequency);
        if (section == 0) {
            continue;
        }
        // Where one segment meets the next: a joint when both share the
        // k-point, else a break in the path. Points a failed segment left
        // unread count as a break.
        const std::size_t first = static_cast<std::size_t>(section * perSection);
        const bool joint = first < data.kPoints.size() &&
                           Compare(data.kPoints[first - 1], data.kPoints[first], 1.0e-4);
        data.boundaryTypes[first - 1] = joint ? SegmentBoundaryJoint : SegmentBoundaryEnd;
        data.boundaryTypes[first] = joint ? SegmentBoundaryJoint : SegmentBoundaryStart;
    }
}

void CPhononFileReader::ReadLatticeVectors(std::istream& stream, double a[3], double b[3], double c[3])
{
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    double* vectors[3] = {a, b, c};
    while (lines.Next()) {
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() < 4 || tokens[0] != "Cartesian" || tokens[1] != "lattice" || tokens[2] != "vectors") {
            continue;
        }
        if (!lines.Next()) {
            return;
        }
        for (double* vector : vectors) {
            if (!lines.Next()) {
                return;
            }
            TokenizeLine(lines.Line(), tokens);
            if (tokens.size() >= 3) {
                for (std::size_t k = 0; k < 3; ++k) {
                    vector[k] = ParseLeadingDecimal(tokens[k]);
                }
            }
        }
    }
}

std::vector<std::size_t> CPhononFileReader::BoundaryPositions(const std::vector<SegmentBoundaryTypeEnum>& types)
{
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i] != SegmentBoundaryInside) {
            positions.push_back(i);
        }
    }
    return positions;
}

void CPhononFileReader::Read(std::string path, CZelmPhononData& data)
{
    const std::string dispersionPath = PathUtilities::ExtensionReplaced(path, CZelmRunInfo::DispersionFileExtension());
    {
        RegularFile::InputFile stream;
        if (!OpenEngineFile(stream, dispersionPath)) {
            throw KelvResult(E_UNEXPECTED, stream.Failure("Failed to open ZELM dispersion file."));
        }
        ParseDispersionFile(stream, data, PathUtilities::FileNameFromPath(dispersionPath));
    }

    data.labels.Reset(data.kPoints.size());
    std::vector<LONG> numbers;
    std::vector<std::string> pathLabels;
    std::vector<SegmentBoundaryTypeEnum> pathTypes;
    KPointParseUtilities::ReadPathInfo(dispersionPath, numbers, pathLabels, pathTypes);

    // The path's first vertex labels the first point, its last the last
    // point. Inside the path, a joint labels both file points that meet there;
    // at a break (a segment's end vertex followed by the next one's start
    // vertex) the end vertex labels the file's segment end and the start
    // vertex the next segment's first point. Positions beyond either list are
    // left unlabelled.
    const std::vector<std::size_t> vertices = BoundaryPositions(pathTypes);
    const std::vector<std::size_t> ends = BoundaryPositions(data.boundaryTypes);
    CPointLabels& labels = data.labels;
    auto label = [&](std::size_t endIndex, std::size_t vertexIndex) {
        if (endIndex < ends.size() && ends[endIndex] < labels.size() && vertexIndex < vertices.size() &&
            vertices[vertexIndex] < pathLabels.size()) {
            labels.Set(ends[endIndex], pathLabels[vertices[vertexIndex]]);
        }
    };
    if (!labels.empty() && !pathLabels.empty()) {
        labels.Set(0, pathLabels.front());
        std::size_t end = 1;
        for (std::size_t v = 1; v + 1 < vertices.size(); ++v, end += 2) {
            const bool pathBreak = pathTypes[vertices[v]] == SegmentBoundaryEnd && v + 2 < vertices.size() &&
                                   pathTypes[vertices[v + 1]] == SegmentBoundaryStart;
            label(end, v);
            if (pathBreak) {
                ++v;
            }
            label(end + 1, v);
        }
        labels.Set(labels.size() - 1, pathLabels.back());
    }

    double a[3] = {1.0, 0.0, 0.0};
    double b[3] = {0.0, 1.0, 0.0};
    double c[3] = {0.0, 0.0, 1.0};
    {
        RegularFile::InputFile stream;
        if (!OpenEngineFile(stream, PathUtilities::ExtensionReplaced(path, CZelmRunInfo::OutputFileExtension()))) {
            throw KelvResult(E_UNEXPECTED, stream.Failure("Failed to open ZELM output file."));
        }
        ReadLatticeVectors(stream, a, b, c);
    }
    double r1[3];
    double r2[3];
    double r3[3];
    LatticeUtilities::GetReciprocalVectors(a, b, c, r1, r2, r3);
    data.reciprocalLattice = xxMatrix3x3(r1[0], r2[0], r3[0], r1[1], r2[1], r3[1], r1[2], r2[2], r3[2]);
}
