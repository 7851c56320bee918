#include "readers/OutputFileReader.h"

#include "kelv/kelv.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/ParseUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/QMFileUtilities.h"
#include "common/ParseField.h"
#include "setup/ZelmRunInfo.h"

#include <fstream>

namespace {

const char* const GoutOpenFailure = "Unable to open ZELM .gout file.";

void OpenGout(std::ifstream& stream, const std::string& path)
{
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, GoutOpenFailure);
    }
}

bool IsDashRule(std::string_view token)
{
    return token.size() == 80 && token.find_first_not_of('-') == std::string_view::npos;
}

} // namespace

COutputFileReader::COutputFileReader(const std::string& path)
{
    COutputFileReader::Read(path);
}

COutputFileReader::~COutputFileReader() = default;

void COutputFileReader::Read(const std::string& path)
{
    ReadDimensionality(path);
    ReadAtomTable(path, m_coreCount, m_shellCount);
    m_modeFrequencies.clear();
    m_oscillatorStrengths.clear();
    const std::string oscPath = PathUtilities::ExtensionReplaced(path, CZelmRunInfo::OscillatorFileExtension());
    if (DiskUtilities::FileExists(oscPath)) {
        ReadOscFile(oscPath);
    }
    const std::string densPath = PathUtilities::ExtensionReplaced(path, CZelmRunInfo::PhononDosFileExtension());
    if (DiskUtilities::FileExists(densPath)) {
        ReadDensFile(densPath);
    }
}

int COutputFileReader::ScanRunType(const std::string& path)
{
    std::ifstream stream;
    OpenGout(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    while (lines.Next()) {
        const std::string& line = lines.Line();
        if (Contains(line, "perform optimisation run")) {
            while (lines.Next()) {
                if (Contains(lines.Line(), "Region 1 :")) {
                    return RunSurface;
                }
                if (Contains(lines.Line(), "General input information")) {
                    return RunGeomOpt;
                }
            }
            return RunGeomOpt;
        }
        if (Contains(line, "perform molecular dynamics run")) {
            return RunDynamics;
        }
        if (Contains(line, "Number of CPUs")) {
            return RunEnergy;
        }
    }
    return RunEnergy;
}

bool COutputFileReader::ScanEngineError(const std::string& path, std::string& reason)
{
    reason.clear();
    std::ifstream stream;
    OpenGout(stream, path);
    CEngineLineReader lines(stream, LastLineRule::UsedWithoutLineBreak);
    static constexpr std::string_view Marker = "!! ERROR";
    while (lines.Next()) {
        std::string_view line = lines.Line();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line.compare(first, Marker.size(), Marker) != 0) {
            continue;
        }
        line.remove_prefix(first + Marker.size());
        const std::size_t start = line.find_first_not_of(" \t:");
        const std::size_t end = line.find_last_not_of(" \t\r");
        if (start != std::string_view::npos) {
            reason.assign(line.substr(start, end - start + 1));
        }
        if (reason.empty()) {
            reason = "no reason given";
        }
        return true;
    }
    return false;
}

void COutputFileReader::CheckRunSucceeded(const std::string& path)
{
    std::string reason;
    if (DiskUtilities::FileExists(path) && ScanEngineError(path, reason)) {
        throw KelvResult(E_FAIL, "The ZELM run failed: " + reason);
    }
}

void COutputFileReader::ReadDimensionality(const std::string& path)
{
    std::ifstream stream;
    OpenGout(stream, path);
    std::string line;
    if (!ParseUtilities::FindLineContainingToken(stream, "Dimensionality", line)) {
        return;
    }
    const std::vector<std::string> tokens = QMFileUtilities::ExtractTokens(line);
    // The number follows the word, with or without "=" between them:
    // "Dimensionality 3 : Bulk" and "Dimensionality = 3 : Bulk". A line whose
    // word is glued to other text reads its second word, as it always did.
    std::size_t value = 1;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == "Dimensionality") {
            value = i + 1;
            break;
        }
    }
    if (value < tokens.size() && tokens[value] == "=") {
        ++value;
    }
    if (value >= tokens.size()) {
        return;
    }
    m_dimensionality = ParseField<int>(tokens[value], 0);
}

bool COutputFileReader::IsRegionLine(const LineTokens& tokens)
{
    return tokens.size() >= 3 && tokens[0] == "Region" && tokens[2] == ":";
}

void COutputFileReader::ReadAtomTable(const std::string& path, int& coreCount, int& shellCount)
{
    coreCount = 0;
    shellCount = 0;
    std::ifstream stream;
    OpenGout(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    bool irreducibleSeen = false;
    bool totalSeen = false;
    bool tableOpen = false;
    // A table split into regions: each region opens with its region line and
    // its rule and closes with a rule; the table ends at the first line after
    // such a closing rule that opens no further region.
    bool inRegions = false;
    bool regionClosed = false;
    int skip = 0;
    while (lines.Next()) {
        if (skip > 0) {
            --skip;
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        const std::size_t n = tokens.size();
        if (n == 0) {
            continue;
        }
        if (!irreducibleSeen || !totalSeen) {
            if (n == 6 && tokens[0] == "Number" && tokens[1] == "of" && tokens[2] == "irreducible" &&
                tokens[3] == "atoms/shells" && tokens[4] == "=") {
                irreducibleSeen = true;
            } else if (n == 5 && tokens[0] == "Total" && tokens[1] == "number" && tokens[2] == "atoms/shells" &&
                       tokens[3] == "=") {
                totalSeen = true;
            }
            continue;
        }
        if (!tableOpen) {
            if (n == 7 && tokens[0] == "No." && tokens[1] == "Atomic" && tokens[2] == "x" && tokens[3] == "y" &&
                tokens[4] == "z" && tokens[5] == "Charge" && tokens[6] == "Occupancy") {
                tableOpen = true;
                skip = 2;
            }
            continue;
        }
        // A region line, or (before the first region) any three-word line,
        // opens a region; the line after it is the region's rule.
        if (IsRegionLine(tokens) || (n == 3 && !inRegions)) {
            inRegions = true;
            regionClosed = false;
            skip = 1;
            continue;
        }
        if (regionClosed) {
            return;
        }
        if (n >= 8 && n <= 11) {
            if (tokens[2] == "c") {
                ++coreCount;
            } else if (tokens[2] == "s") {
                ++shellCount;
            }
        }
        if (inRegions) {
            // Any one-word line closes a region.
            regionClosed = n == 1;
        } else if (IsDashRule(tokens[0])) {
            return;
        }
    }
}

void COutputFileReader::ReadOscFile(const std::string& path)
{
    std::ifstream stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, "Unable to open ZELM .osc file.");
    }
    CEngineLineReader lines(stream, LastLineRule::UsedWithoutLineBreak);
    LineTokens tokens;
    auto nextTokens = [&](std::size_t count) {
        if (!lines.Next()) {
            return false;
        }
        TokenizeLine(lines.Line(), tokens);
        return tokens.size() == count;
    };

    long modeCount = 0;
    bool found = false;
    while (!found && lines.Next()) {
        TokenizeLine(lines.Line(), tokens);
        found = tokens.size() == 6 && tokens[0] == "oscillator" && tokens[1] == "strengths" && tokens[2] == "and" &&
                tokens[3] == "phonon" && tokens[4] == "frequencies";
        if (found) {
            modeCount = ParseLeadingInteger(tokens[5]);
        }
    }
    if (!found) {
        return;
    }

    // A block that breaks the format leaves no ".osc" results.
    auto broken = [&] {
        m_modeFrequencies.clear();
        m_oscillatorStrengths.clear();
    };
    for (long mode = 1; mode <= modeCount; ++mode) {
        if (!nextTokens(2) || ParseLeadingInteger(tokens[0]) != mode) {
            return broken();
        }
        m_modeFrequencies.push_back(ParseLeadingDecimal(tokens[1]));
        xxMatrix3x3 tensor;
        for (int k = 0; k < 9; ++k) {
            if (!nextTokens(3)) {
                return broken();
            }
            const long row = ParseLeadingInteger(tokens[0]);
            const long column = ParseLeadingInteger(tokens[1]);
            if (row < 1 || row > 3 || column < 1 || column > 3) {
                return broken();
            }
            tensor(static_cast<int>(row), static_cast<int>(column)) = ParseLeadingDecimal(tokens[2]);
        }
        m_oscillatorStrengths.push_back(tensor);
    }
    if (!nextTokens(5) || tokens[0] != "high" || tokens[1] != "frequency" || tokens[2] != "dielectric" ||
        tokens[3] != "constant" || tokens[4] != "tensor") {
        return broken();
    }
    xxMatrix3x3 dielectric;
    for (int row = 1; row <= 3; ++row) {
        if (!nextTokens(3)) {
            return broken();
        }
        for (int column = 1; column <= 3; ++column) {
            dielectric(row, column) = ParseLeadingDecimal(tokens[static_cast<std::size_t>(column - 1)]);
        }
    }
    m_dielectricTensor = dielectric;
}

void COutputFileReader::ReadDensFile(const std::string& path)
{
    std::ifstream stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, "Unable to open ZELM .dens file.");
    }
    // A point a line.
    const std::size_t points = CountLines(stream);
    m_dosFrequencies.reserve(m_dosFrequencies.size() + points);
    m_dosValues.reserve(m_dosValues.size() + points);
    CEngineLineReader lines(stream, LastLineRule::UsedWithoutLineBreak);
    LineTokens tokens;
    while (lines.Next()) {
        if (Contains(lines.Line(), "#")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() == 2) {
            ParseNumberToken(tokens[0], m_dosFrequencies);
            ParseNumberToken(tokens[1], m_dosValues);
        }
    }
    ReleaseSpareRoom(m_dosFrequencies);
    ReleaseSpareRoom(m_dosValues);
}

bool COutputFileReader::CheckOscillatorStrengths(const std::string& seedName, std::string& message) const
{
    message.clear();
    if (m_oscillatorStrengths.empty()) {
        message = "There is no information about oscillator strengths in the " + seedName + ".osc file";
        return false;
    }
    for (const xxMatrix3x3& tensor : m_oscillatorStrengths) {
        for (int row = 1; row <= 3; ++row) {
            for (int column = 1; column <= 3; ++column) {
                if (tensor(row, column) > 1.0e-8) {
                    return true;
                }
            }
        }
    }
    message = "All oscillator strengths in the " + seedName + ".osc file are zero. \n"
              "Please make sure to use charges when requesting optical properties.";
    return false;
}
