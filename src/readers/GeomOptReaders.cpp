#include "readers/GeomOptReaders.h"

#include "kelv/kelv.h"

#include <fstream>
#include <limits>

namespace {

// "label:value" gives the value; a token without ":" is read whole.
double LabelledValue(std::string_view token)
{
    const std::size_t colon = token.find(':');
    return ParseLeadingDecimal(colon == std::string_view::npos ? token : token.substr(colon + 1));
}

// A value too wide for its field: the engine prints a run of "*".
bool IsStarField(std::string_view value)
{
    return !value.empty() && value.find_first_not_of('*') == std::string_view::npos;
}

} // namespace

CGeomOptFileReader::CGeomOptFileReader(const std::string& path)
{
    CGeomOptFileReader::Read(path);
}

CGeomOptFileReader::~CGeomOptFileReader() = default;

void CGeomOptFileReader::Read(const std::string& path)
{
    RegularFile::InputFile stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Failed to open ZELM .geomopt file."));
    }
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    // A header still being written (no line break yet) means no data yet.
    if (!lines.Next()) {
        return;
    }
    TokenizeLine(lines.Line(), tokens);
    if (tokens.size() < 3) {
        throw KelvResult(E_UNEXPECTED, "The header of the ZELM .geomopt file holds fewer than 3 fields.");
    }
    m_energyTolerance = LabelledValue(tokens[1]);
    m_gradientTolerance = LabelledValue(tokens[2]);

    // A step a line.
    const std::size_t steps = CountLines(stream);
    m_series1.reserve(m_series1.size() + steps);
    m_gradients.reserve(m_gradients.size() + steps);
    m_energyChanges.reserve(m_energyChanges.size() + steps);
    while (lines.Next()) {
        TokenizeLine(lines.Line(), tokens);
        switch (tokens.size()) {
        case 3:
            ParseNumberToken(tokens[2], m_energyChanges);
            [[fallthrough]];
        case 2:
            ParseNumberToken(tokens[1], m_gradients);
            [[fallthrough]];
        case 1:
            ParseNumberToken(tokens[0], m_series1);
            break;
        default:
            break;
        }
    }
    ReleaseSpareRoom(m_series1);
    ReleaseSpareRoom(m_gradients);
    ReleaseSpareRoom(m_energyChanges);
}

CGeomOptOutputFileReader::CGeomOptOutputFileReader(const std::string& path) : COutputFileReader(path)
{
    CGeomOptOutputFileReader::Read(path);
}

CGeomOptOutputFileReader::~CGeomOptOutputFileReader() = default;

void CGeomOptOutputFileReader::Read(const std::string& path)
{
    CKeptEngineFile stream;  // read once for the questions asked of the run
    if (!stream.Open(path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Failed to open ZELM .gout file."));
    }
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    bool inSection = false;
    // Two readings of the section run side by side until its first cycle
    // line: an output with cycle lines takes its steps from them alone (the
    // engine's notes between them are no steps); one without any takes the
    // older layout's steps, every other line of 8 words up to the first
    // "****" line.
    bool cycleSeen = false;
    bool olderEnded = false;
    std::vector<double> olderEnergies;
    std::vector<double> olderGradients;
    while (lines.Next()) {
        const std::string& line = lines.Line();
        // Before the section only tolerance lines count.
        if (!inSection && !Contains(line, "tolerance") && !Contains(line, "Start of")) {
            continue;
        }
        TokenizeLine(line, tokens);
        if (tokens.size() == 5 && tokens[0] == "Maximum" && tokens[2] == "tolerance") {
            if (tokens[1] == "function") {
                m_functionTolerance = ParseLeadingDecimal(tokens[4]);
            } else if (tokens[1] == "gradient") {
                m_gradientTolerance = ParseLeadingDecimal(tokens[4]);
            }
        }
        if (!inSection) {
            inSection = Contains(line, "Start of") && Contains(line, "optimisation");
            if (!inSection) {
                continue;
            }
        }
        if (IsSectionEnd(line, tokens)) {
            // The final energy follows the closing notes.
            if (!Contains(line, "Final energy")) {
                while (lines.Next() && !Contains(lines.Line(), "Final energy")) {
                }
            }
            if (Contains(lines.Line(), "Final energy")) {
                ReadFinalEnergy(lines.Line());
            }
            break;
        }
        std::string_view energy;
        std::string_view gradient;
        if (CycleValues(tokens, energy, gradient)) {
            cycleSeen = true;
            AddCycleValue(energy, m_energies);
            AddCycleValue(gradient, m_gradients);
            continue;
        }
        if (cycleSeen || olderEnded) {
            continue;
        }
        if (Contains(line, "****")) {
            olderEnded = true;
        } else if (tokens.size() == 8 && !Contains(line, "Hessian") && tokens[0].substr(0, 2) != "**") {
            AddStep(tokens[3], tokens[5], olderEnergies, olderGradients);
        }
    }
    if (!cycleSeen) {
        m_energies = std::move(olderEnergies);
        m_gradients = std::move(olderGradients);
    }
    // The change of energy from each step to the next.
    m_energyChanges.clear();
    for (std::size_t i = 1; i < m_energies.size(); ++i) {
        m_energyChanges.push_back(m_energies[i] - m_energies[i - 1]);
    }
}

void CGeomOptOutputFileReader::AddStep(std::string_view energy, std::string_view gradient,
                                       std::vector<double>& energies, std::vector<double>& gradients)
{
    ParseNumberToken(energy, energies);
    ParseNumberToken(gradient, gradients);
}

bool CGeomOptOutputFileReader::CycleValues(const LineTokens& tokens, std::string_view& energy,
                                           std::string_view& gradient)
{
    // "Cycle: n Energy: e Gnorm: g CPU: t", the defect form "Cycle: n Defect
    // Energy: e ...", and either with values that touch their labels
    // ("Cycle:1000000", "Energy:-139221447.613820"). A word that ends in ":"
    // takes the next word as its value.
    if (tokens.empty() || tokens[0].substr(0, 6) != "Cycle:") {
        return false;
    }
    // Most cycle lines keep their values apart from their labels.
    if (tokens[0].size() == 6 && tokens.size() >= 6) {
        const std::size_t at = tokens[2] == "Defect" ? 3 : 2;
        if (tokens.size() >= at + 4 && tokens[at] == "Energy:" && tokens[at + 2] == "Gnorm:") {
            energy = tokens[at + 1];
            gradient = tokens[at + 3];
            return true;
        }
    }
    bool haveEnergy = false;
    bool haveGradient = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string_view word = tokens[i];
        const std::size_t colon = word.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view label = word.substr(0, colon);
        std::string_view value = word.substr(colon + 1);
        if (value.empty() && i + 1 < tokens.size()) {
            value = tokens[++i];
        }
        if (label == "Energy") {
            energy = value;
            haveEnergy = !value.empty();
        } else if (label == "Gnorm") {
            gradient = value;
            haveGradient = !value.empty();
        }
    }
    return haveEnergy && haveGradient;
}

void CGeomOptOutputFileReader::AddCycleValue(std::string_view value, std::vector<double>& series)
{
    if (IsStarField(value)) {
        series.push_back(std::numeric_limits<double>::quiet_NaN());
        ++m_unreadableValues;
        return;
    }
    ParseNumberToken(value, series);
}

void CGeomOptOutputFileReader::ReadFinalEnergy(std::string_view line)
{
    // "Final energy = <value> eV"; the value may touch the "=".
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return;
    }
    std::string_view rest = line.substr(equals + 1);
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return;
    }
    rest = rest.substr(start);
    const std::string_view value = rest.substr(0, rest.find(' '));
    if (IsStarField(value)) {
        m_finalEnergyUnreadable = true;
        return;
    }
    double energy = 0.0;
    if (ParseWholeDecimal(value, energy)) {
        m_finalEnergy = energy;
        m_hasFinalEnergy = true;
    }
}

bool CGeomOptOutputFileReader::IsSectionEnd(std::string_view line, const LineTokens& tokens)
{
    if (tokens.size() >= 2 && tokens[0] == "Final" && tokens[1] == "energy") {
        return true;
    }
    if (!Contains(line, "****")) {
        return false;
    }
    // The engine's closing notes of an optimisation; its other framed notes
    // (a criterion "satisfied in optimiser") may stand between two cycles.
    static const char* const Endings[] = {
        "Optimisation achieved",
        "Too many failed attempts to optimise",
        "Maximum number of function calls has been reached",
        "Conditions for a minimum have not been satisfied",
        "no lower point can be found",
    };
    for (const char* ending : Endings) {
        if (Contains(line, ending)) {
            return true;
        }
    }
    return false;
}
