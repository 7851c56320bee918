#include "readers/GeomOptReaders.h"

#include "kelv/kelv.h"

#include <fstream>

namespace {

// "label:value" gives the value; a token without ":" is read whole.
double LabelledValue(std::string_view token)
{
    const std::size_t colon = token.find(':');
    return ParseLeadingDecimal(colon == std::string_view::npos ? token : token.substr(colon + 1));
}

} // namespace

CGeomOptFileReader::CGeomOptFileReader(const std::string& path)
{
    CGeomOptFileReader::Read(path);
}

CGeomOptFileReader::~CGeomOptFileReader() = default;

void CGeomOptFileReader::Read(const std::string& path)
{
    std::ifstream stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, "Failed to open ZELM .geomopt file.");
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
}

CGeomOptOutputFileReader::CGeomOptOutputFileReader(const std::string& path) : COutputFileReader(path)
{
    CGeomOptOutputFileReader::Read(path);
}

CGeomOptOutputFileReader::~CGeomOptOutputFileReader() = default;

void CGeomOptOutputFileReader::Read(const std::string& path)
{
    std::ifstream stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, "Failed to open ZELM .gout file.");
    }
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    bool inSection = false;
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
        if (Contains(line, "****")) {
            return;
        }
        if (Contains(line, "Hessian")) {
            continue;
        }
        if (tokens.size() == 8) {
            ParseNumberToken(tokens[3], m_energies);
            ParseNumberToken(tokens[5], m_gradients);
            if (m_energies.size() >= 2) {
                m_energyChanges.push_back(m_energies[m_energies.size() - 1] - m_energies[m_energies.size() - 2]);
            }
        }
    }
}
