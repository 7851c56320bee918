#include "readers/MolDynOutputFileReader.h"

#include "kelv/kelv.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "setup/ZelmRunInfo.h"

#include <algorithm>
#include <fstream>

CMolDynOutputFileCommonInfo::~CMolDynOutputFileCommonInfo() = default;
CMolDynOutputFileInfo::~CMolDynOutputFileInfo() = default;

namespace {

// The questions asked of one run read its main output once (CKeptEngineFile).
void OpenOutput(CKeptEngineFile& stream, const std::string& path)
{
    if (!stream.Open(path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Unable to open ZELM .gout file."));
    }
}

using CommonSeries = std::vector<double>& (CMolDynOutputFileCommonInfo::*)();
using StageSeries = std::vector<double>& (CMolDynOutputFileInfo::*)();

// One row kind of a stage: the text it contains, its word count, the words
// taken (the second one, if any, is the running average).
struct RowKind {
    const char* text;
    std::size_t words;
    std::size_t first;
    int second; // -1: a single value of the stage's own series
    CommonSeries common;
    StageSeries stage;
};

const RowKind RowKinds[] = {
    {"Time", 6, 3, -1, nullptr, &CMolDynOutputFileInfo::GetTime},
    {"Kinetic energy", 6, 4, 5, &CMolDynOutputFileCommonInfo::GetKineticEnergy, nullptr},
    {"Potential energy", 6, 4, 5, &CMolDynOutputFileCommonInfo::GetPotentialEnergy, nullptr},
    {"Total energy", 6, 4, 5, &CMolDynOutputFileCommonInfo::GetTotalEnergy, nullptr},
    {"Conserved quantity(eV)", 5, 3, 4, &CMolDynOutputFileCommonInfo::GetConservedQuantity, nullptr},
    {"Thermostat KE", 5, 4, -1, nullptr, &CMolDynOutputFileInfo::GetThermostatKE},
    {"Thermostat Integrl(eV)", 4, 3, -1, nullptr, &CMolDynOutputFileInfo::GetThermostatIntegral},
    {"Barostat term", 5, 4, -1, nullptr, &CMolDynOutputFileInfo::GetBarostatTerm},
    {"Temperature", 5, 3, 4, &CMolDynOutputFileCommonInfo::GetTemperature, nullptr},
    {"Pressure", 5, 3, 4, &CMolDynOutputFileCommonInfo::GetPressure, nullptr},
    {"Cell parameter : a (A)", 8, 6, 7, &CMolDynOutputFileCommonInfo::GetCellA, nullptr},
    {"Cell parameter : b (A)", 8, 6, 7, &CMolDynOutputFileCommonInfo::GetCellB, nullptr},
    {"Cell parameter : c (A)", 8, 6, 7, &CMolDynOutputFileCommonInfo::GetCellC, nullptr},
    {"Cell angle : alpha (o)", 8, 6, 7, &CMolDynOutputFileCommonInfo::GetCellAlpha, nullptr},
    {"Cell angle : beta (o)", 8, 6, 7, &CMolDynOutputFileCommonInfo::GetCellBeta, nullptr},
    {"Cell angle : gamma (o)", 8, 6, 7, &CMolDynOutputFileCommonInfo::GetCellGamma, nullptr},
    {"Cell volume : (A**3)", 7, 5, 6, &CMolDynOutputFileCommonInfo::GetCellVolume, nullptr},
};

// A row label cut into its words once.
struct LabelWords {
    std::string_view words[8];
    std::size_t count = 0;
};

LabelWords CutLabel(std::string_view label)
{
    LabelWords cut;
    for (std::size_t at = 0; at < label.size() && cut.count < 8;) {
        const std::size_t end = std::min(label.find(' ', at), label.size());
        cut.words[cut.count++] = label.substr(at, end - at);
        at = end + 1;
    }
    return cut;
}

const std::vector<LabelWords>& RowLabels()
{
    static const std::vector<LabelWords> labels = [] {
        std::vector<LabelWords> cut;
        for (const RowKind& kind : RowKinds) {
            cut.push_back(CutLabel(kind.text));
        }
        return cut;
    }();
    return labels;
}

// True when the words of the label stand one after another among the
// line's words, as the label would stand in the line with every run of
// blanks made one: the engine pads some labels with more ("Cell angle :
// beta  (o)", "Cell volume :   (A**3)"). The label's first word may end a
// longer word and its last may begin one, as in a search of the text.
bool HasLabel(const LineTokens& tokens, const LabelWords& label)
{
    const std::size_t count = label.count;
    if (count == 0) {
        return false;
    }
    const std::string_view head = label.words[0];
    if (count == 1) {
        for (const std::string_view token : tokens) {
            if (Contains(token, head)) {
                return true;
            }
        }
        return false;
    }
    const std::string_view tail = label.words[count - 1];
    for (std::size_t i = 0; i + count <= tokens.size(); ++i) {
        const std::string_view first = tokens[i];
        if (first.size() < head.size() || first.compare(first.size() - head.size(), head.size(), head) != 0) {
            continue;
        }
        bool same = true;
        for (std::size_t k = 1; same && k + 1 < count; ++k) {
            same = tokens[i + k] == label.words[k];
        }
        if (same && tokens[i + count - 1].compare(0, tail.size(), tail) == 0) {
            return true;
        }
    }
    return false;
}

// The ensemble a line names ("Canonical ensemble (NVT) to be used"), 0 for
// a line that names none.
int EnsembleOfLine(const std::string& line, const LineTokens& tokens)
{
    if (tokens.size() != 6 || tokens[1] != "ensemble" || !Contains(line, "to be used")) {
        return 0;
    }
    if (tokens[0] == "Microcanonical" && tokens[2] == "(NVE)") {
        return CMolDynOutputFileReader::EnsembleNVE;
    }
    if (tokens[0] == "Canonical" && tokens[2] == "(NVT)") {
        return CMolDynOutputFileReader::EnsembleNVT;
    }
    if (tokens[0] == "Isothermal/baric" && tokens[2] == "(NPT)") {
        return CMolDynOutputFileReader::EnsembleNPT;
    }
    return 0;
}

// True for the "Pressure of configuration = <value> GPa" line, whose value
// goes to pressure.
bool IsConfigurationPressure(const LineTokens& tokens, double& pressure)
{
    if (tokens.size() == 6 && tokens[0] == "Pressure" && tokens[1] == "of" && tokens[2] == "configuration" &&
        tokens[3] == "=" && tokens[5] == "GPa") {
        pressure = ParseLeadingDecimal(tokens[4]);
        return true;
    }
    return false;
}

// Adds the values of a row of a stage to the record; a line that is no row
// adds nothing.
void TakeRow(const LineTokens& tokens, CMolDynOutputFileInfo& record)
{
    const std::vector<LabelWords>& labels = RowLabels();
    for (const RowKind& kind : RowKinds) {
        if (tokens.size() != kind.words || !HasLabel(tokens, labels[static_cast<std::size_t>(&kind - RowKinds)])) {
            continue;
        }
        if (&kind == &RowKinds[0] && tokens[1] != "Time") {
            continue;
        }
        if (kind.second < 0) {
            CFileReaderBase::ParseNumberToken(tokens[kind.first], (record.*kind.stage)());
        } else {
            CFileReaderBase::ParseNumberToken(tokens[kind.first], (record.GetCommonInfo().*kind.common)());
            CFileReaderBase::ParseNumberToken(tokens[static_cast<std::size_t>(kind.second)],
                                              (record.GetAveragedCommonInfo().*kind.common)());
        }
        return;
    }
}

// Calls f on every series of the record that a row fills.
template <class F>
void ForEachRowSeries(CMolDynOutputFileInfo& record, F f)
{
    for (const RowKind& kind : RowKinds) {
        if (kind.second < 0) {
            f((record.*kind.stage)());
        } else {
            f((record.GetCommonInfo().*kind.common)());
            f((record.GetAveragedCommonInfo().*kind.common)());
        }
    }
}

// The rows of one stage, line by line: those after the line containing the
// start marker up to the line containing the end marker.
class SectionScan
{
public:
    SectionScan(std::string_view start, std::string_view end, CMolDynOutputFileInfo& record)
        : m_start(start), m_end(end), m_record(record), m_timesAtFirst(record.GetTime().size())
    {
    }

    bool Done() const { return m_state == State::Done; }

    // Takes the next line; tokens holds its words once tokenised is true.
    void Take(const std::string& line, LineTokens& tokens, bool& tokenised)
    {
        if (m_state == State::Seeking) {
            if (line.find(m_start) != std::string::npos) {
                m_state = State::Rows;
            }
        } else if (m_state == State::Rows) {
            if (line.find(m_end) != std::string::npos) {
                m_state = State::Done;
                return;
            }
            if (!tokenised) {
                TokenizeLine(line, tokens);
                tokenised = true;
            }
            TakeRow(tokens, m_record);
        }
    }

    // Room for the rows still to come, told from the bytes of the stage's
    // first block of rows (from its first "Time" row to its second) and the
    // bytes left in the file (stream positions; fileSize < 0: unknown). Only
    // the series the first block filled get room.
    void Reserve(std::istream& stream, std::streamoff fileSize)
    {
        if (m_state != State::Rows || m_reserved || fileSize < 0) {
            return;
        }
        const std::size_t times = m_record.GetTime().size();
        if (times == m_timesAtFirst + 1 && m_firstAt < 0) {
            m_firstAt = stream.tellg();
        } else if (times == m_timesAtFirst + 2) {
            m_reserved = true;
            const std::streamoff at = stream.tellg();
            const std::streamoff block = at - m_firstAt;
            if (m_firstAt < 0 || at < 0 || block <= 0 || at > fileSize) {
                return;
            }
            // Blocks differ a little in length (the numbers are not all as
            // wide): an eighth more keeps a series from growing at its end.
            const std::size_t blocks = static_cast<std::size_t>((fileSize - at) / block);
            const std::size_t ahead = blocks + blocks / 8 + 16;
            ForEachRowSeries(m_record, [ahead](std::vector<double>& series) {
                if (!series.empty()) {
                    series.reserve(series.size() + ahead);
                }
            });
        }
    }

private:
    enum class State { Seeking, Rows, Done };
    std::string_view m_start;
    std::string_view m_end;
    CMolDynOutputFileInfo& m_record;
    State m_state = State::Seeking;
    std::size_t m_timesAtFirst;
    std::streamoff m_firstAt = -1;
    bool m_reserved = false;
};

// The size of the file behind the stream, which is left at its start; -1
// when it cannot be told.
std::streamoff StreamSize(std::istream& stream)
{
    std::streamoff size = -1;
    if (stream.seekg(0, std::ios::end)) {
        size = stream.tellg();
    }
    stream.clear();
    stream.seekg(0, std::ios::beg);
    stream.clear();
    return size;
}

} // namespace

CMolDynOutputFileReader::CMolDynOutputFileReader(const std::string& path) : COutputFileReader(path)
{
    CMolDynOutputFileReader::Read(path);
}

CMolDynOutputFileReader::~CMolDynOutputFileReader() = default;

void CMolDynOutputFileReader::Read(const std::string& path)
{
    // One pass does the work of ReadEnsemble, of ReadSection for either stage
    // and of ReadPressure: each keeps reading until it has what it looks for,
    // so the pass ends where the last of them would (a severe line up to
    // there fails the read, one after it does not).
    CKeptEngineFile stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    SectionScan equilibration("Molecular dynamics equilibration", "Molecular dynamics production", m_equilibration);
    SectionScan production("Molecular dynamics production", "Timing analysis for Zelm", m_production);
    const std::streamoff fileSize = StreamSize(stream);
    int ensemble = 0;  // 0 until a line decides
    bool pressureFound = false;
    double pressure = 0.0;
    while ((ensemble == 0 || !equilibration.Done() || !production.Done() || !pressureFound) && GetLine(lines)) {
        const std::string& line = lines.Line();
        bool tokenised = false;
        if (ensemble == 0 && Contains(line, "ensemble")) {
            TokenizeLine(line, tokens);
            tokenised = true;
            ensemble = EnsembleOfLine(line, tokens);
        }
        equilibration.Take(line, tokens, tokenised);
        production.Take(line, tokens, tokenised);
        equilibration.Reserve(stream, fileSize);
        production.Reserve(stream, fileSize);
        if (!pressureFound && Contains(line, "Pressure")) {
            if (!tokenised) {
                TokenizeLine(line, tokens);
                tokenised = true;
            }
            pressureFound = IsConfigurationPressure(tokens, pressure);
        }
    }
    m_ensemble = ensemble == 0 ? EnsembleNVE : ensemble;
    ForEachRowSeries(m_equilibration, ReleaseSpareRoom);
    ForEachRowSeries(m_production, ReleaseSpareRoom);
    m_equilibration.SetScalarValue(pressure);
    m_production.SetScalarValue(pressure);
    const std::string prePath = PathUtilities::ExtensionReplaced(path, CZelmRunInfo::PressureFileExtension());
    if (DiskUtilities::FileExists(prePath)) {
        ReadPressureFile(m_production, prePath);
    }
}

bool CMolDynOutputFileReader::GetLine(CEngineLineReader& lines)
{
    if (!lines.Next()) {
        return false;
    }
    if (Contains(lines.Line(), "severe")) {
        throw KelvResult(E_UNEXPECTED, "Severe error reported in ZELM .gout file.");
    }
    return true;
}

int CMolDynOutputFileReader::ReadEnsemble(const std::string& path)
{
    CKeptEngineFile stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    while (GetLine(lines)) {
        // Only a line holding the word "ensemble" can decide.
        if (!Contains(lines.Line(), "ensemble")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        if (const int ensemble = EnsembleOfLine(lines.Line(), tokens)) {
            return ensemble;
        }
    }
    return EnsembleNVE;
}

void CMolDynOutputFileReader::ReadSection(const std::string& path, const std::string& startMarker,
                                          const std::string& endMarker, CMolDynOutputFileInfo& record)
{
    CKeptEngineFile stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    SectionScan section(startMarker, endMarker, record);
    while (!section.Done() && GetLine(lines)) {
        bool tokenised = false;
        section.Take(lines.Line(), tokens, tokenised);
    }
}

double CMolDynOutputFileReader::ReadPressure(const std::string& path)
{
    CKeptEngineFile stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    while (GetLine(lines)) {
        if (!Contains(lines.Line(), "Pressure")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        double pressure = 0.0;
        if (IsConfigurationPressure(tokens, pressure)) {
            return pressure;
        }
    }
    return 0.0;
}

void CMolDynOutputFileReader::ReadPressureFile(CMolDynOutputFileInfo& record, const std::string& prePath)
{
    RegularFile::InputFile stream;
    if (!OpenEngineFile(stream, prePath)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Unable to open ZELM pressure file."));
    }
    // The engine writes a line of each kind a row of the stage.
    std::vector<double>& instant = record.GetCommonInfo().GetPressureFileSeries();
    std::vector<double>& averaged = record.GetAveragedCommonInfo().GetPressureFileSeries();
    instant.reserve(instant.size() + 6 * record.GetTime().size());
    averaged.reserve(averaged.size() + 6 * record.GetTime().size());
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    while (GetLine(lines)) {
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() != 8) {
            continue;
        }
        std::vector<double>* series = nullptr;
        if (tokens[0] == "Instant:") {
            series = &instant;
        } else if (tokens[0] == "Average:") {
            series = &averaged;
        }
        if (series != nullptr) {
            for (std::size_t k = 2; k < 8; ++k) {
                ParseNumberToken(tokens[k], *series);
            }
        }
    }
    ReleaseSpareRoom(instant);
    ReleaseSpareRoom(averaged);
}

bool CMolDynOutputFileReader::FindFirstCellLine(CEngineLineReader& lines, LineTokens& tokens)
{
    // The engine leaves one blank line under the heading, the older layout
    // two lines: the "a =" line is found across any number of blank lines;
    // a heading followed by other text takes the third line after it.
    int skipped = 0;
    while (GetLine(lines)) {
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() >= 2 && tokens[0] == "a" && tokens[1] == "=") {
            return true;
        }
        if (!tokens.empty() && skipped >= 2) {
            return true;
        }
        ++skipped;
    }
    return false;
}

void CMolDynOutputFileReader::ReadCellParameters(double& a, double& b, double& c, double& alpha, double& beta,
                                                 double& gamma, const std::string& path)
{
    CKeptEngineFile stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    bool found = false;
    while (!found && GetLine(lines)) {
        if (!Contains(lines.Line(), "parameters")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        found = tokens.size() > 2 && tokens[0] == "Cell" && tokens[1] == "parameters";
    }
    if (!found || !FindFirstCellLine(lines, tokens)) {
        return;
    }
    // Each of the three lines gives a length (word 2) and an angle (word 5);
    // a block cut short leaves the arguments as they were.
    double lengths[3] = {0.0, 0.0, 0.0};
    double angles[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (!GetLine(lines)) {
                return;
            }
            TokenizeLine(lines.Line(), tokens);
        }
        if (tokens.size() < 6) {
            return;
        }
        lengths[k] = ParseLeadingDecimal(tokens[2]);
        angles[k] = ParseLeadingDecimal(tokens[5]);
    }
    a = lengths[0];
    b = lengths[1];
    c = lengths[2];
    alpha = angles[0];
    beta = angles[1];
    gamma = angles[2];
}

void CMolDynOutputFileReader::ReadSurfaceCellParameters(double& a, double& b, double& alpha, const std::string& path)
{
    CKeptEngineFile stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    bool found = false;
    while (!found && GetLine(lines)) {
        if (!Contains(lines.Line(), "Surface")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        found = tokens.size() > 3 && tokens[0] == "Surface" && tokens[1] == "cell" && tokens[2] == "parameters";
    }
    if (!found || !FindFirstCellLine(lines, tokens)) {
        return;
    }
    if (tokens.size() < 6) {
        return;
    }
    const double newA = ParseLeadingDecimal(tokens[2]);
    const double newAlpha = ParseLeadingDecimal(tokens[5]);
    if (!GetLine(lines)) {
        return;
    }
    TokenizeLine(lines.Line(), tokens);
    if (tokens.size() < 3) {
        return;
    }
    a = newA;
    b = ParseLeadingDecimal(tokens[2]);
    alpha = newAlpha;
}
