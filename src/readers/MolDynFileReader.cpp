#include "readers/MolDynFileReader.h"

#include "kelv/kelv.h"

#include <fstream>

CMolDynFileReader::CMolDynFileReader(const std::string& path)
{
    CMolDynFileReader::Read(path);
}

CMolDynFileReader::~CMolDynFileReader() = default;

void CMolDynFileReader::StoreFrame(std::vector<std::pair<std::string, std::string>>& frame)
{
    for (const auto& [tag, value] : frame) {
        if (tag == "t") {
            ParseNumberToken(value, m_time);
        } else if (tag == "T") {
            ParseNumberToken(value, m_temperature);
        } else if (tag == "P") {
            ParseNumberToken(value, m_pressure);
            m_hasPressure = true;
        } else if (tag == "Ek") {
            ParseNumberToken(value, m_kinetic);
        } else if (tag == "Ep") {
            ParseNumberToken(value, m_potential);
        } else if (tag == "Et") {
            ParseNumberToken(value, m_series1);
        } else if (tag == "H") {
            ParseNumberToken(value, m_h);
        }
    }
    frame.clear();
}

void CMolDynFileReader::Read(const std::string& path)
{
    std::ifstream stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, "Unable to open ZELM dynamics file.");
    }
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    if (!lines.Next()) {
        return;
    }
    TokenizeLine(lines.Line(), tokens);
    if (tokens.size() != 3 || (tokens[0] != "Frame" && tokens[1] != "number:")) {
        return;
    }
    std::vector<std::pair<std::string, std::string>> pending;
    while (lines.Next()) {
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() != 3) {
            return;
        }
        if (tokens[0] == "Frame") {
            StoreFrame(pending);
        } else {
            pending.emplace_back(std::string(tokens[0]), std::string(tokens[2]));
        }
    }
}
