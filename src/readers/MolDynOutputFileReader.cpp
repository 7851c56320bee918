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

void OpenOutput(std::ifstream& stream, const std::string& path)
{
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, "Unable to open ZELM .gout file.");
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

} // namespace

CMolDynOutputFileReader::CMolDynOutputFileReader(const std::string& path) : COutputFileReader(path)
{
    CMolDynOutputFileReader::Read(path);
}

CMolDynOutputFileReader::~CMolDynOutputFileReader() = default;

void CMolDynOutputFileReader::Read(const std::string& path)
{
    m_ensemble = ReadEnsemble(path);
    ReadSection(path, "Molecular dynamics equilibration", "Molecular dynamics production", m_equilibration);
    ReadSection(path, "Molecular dynamics production", "Timing analysis for Zelm", m_production);
    const double pressure = ReadPressure(path);
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
    std::ifstream stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    while (GetLine(lines)) {
        // Only a line holding the word "ensemble" can decide.
        if (!Contains(lines.Line(), "ensemble")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() != 6 || tokens[1] != "ensemble" || !Contains(lines.Line(), "to be used")) {
            continue;
        }
        if (tokens[0] == "Microcanonical" && tokens[2] == "(NVE)") {
            return EnsembleNVE;
        }
        if (tokens[0] == "Canonical" && tokens[2] == "(NVT)") {
            return EnsembleNVT;
        }
        if (tokens[0] == "Isothermal/baric" && tokens[2] == "(NPT)") {
            return EnsembleNPT;
        }
    }
    return EnsembleNVE;
}

void CMolDynOutputFileReader::ReadSection(const std::string& path, const std::string& startMarker,
                                          const std::string& endMarker, CMolDynOutputFileInfo& record)
{
    std::ifstream stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    bool started = false;
    while (!started && GetLine(lines)) {
        started = lines.Line().find(startMarker) != std::string::npos;
    }
    LineTokens tokens;
    const std::vector<LabelWords>& labels = RowLabels();
    while (started && GetLine(lines)) {
        const std::string& line = lines.Line();
        if (line.find(endMarker) != std::string::npos) {
            return;
        }
        TokenizeLine(line, tokens);
        for (const RowKind& kind : RowKinds) {
            if (tokens.size() != kind.words || !HasLabel(tokens, labels[static_cast<std::size_t>(&kind - RowKinds)])) {
                continue;
            }
            if (&kind == &RowKinds[0] && tokens[1] != "Time") {
                continue;
            }
            if (kind.second < 0) {
                ParseNumberToken(tokens[kind.first], (record.*kind.stage)());
            } else {
                ParseNumberToken(tokens[kind.first], (record.GetCommonInfo().*kind.common)());
                ParseNumberToken(tokens[static_cast<std::size_t>(kind.second)],
                                 (record.GetAveragedCommonInfo().*kind.common)());
            }
            break;
        }
    }
}

double CMolDynOutputFileReader::ReadPressure(const std::string& path)
{
    std::ifstream stream;
    OpenOutput(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    while (GetLine(lines)) {
        if (!Contains(lines.Line(), "Pressure")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() == 6 && tokens[0] == "Pressure" && tokens[1] == "of" && tokens[2] == "configuration" &&
            tokens[3] == "=" && tokens[5] == "GPa") {
            return ParseLeadingDecimal(tokens[4]);
        }
    }
    return 0.0;
}

void CMolDynOutputFileReader::ReadPressureFile(CMolDynOutputFileInfo& record, const std::string& prePath)
{
    std::ifstream stream;
    if (!OpenEngineFile(stream, prePath)) {
        throw KelvResult(E_UNEXPECTED, "Unable to open ZELM pressure file.");
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
    std::ifstream stream;
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
    std::ifstream stream;
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
