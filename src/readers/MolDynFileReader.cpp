#include "readers/MolDynFileReader.h"

#include "kelv/kelv.h"

#include <fstream>

CMolDynFileReader::CMolDynFileReader(const std::string& path)
{
    CMolDynFileReader::Read(path);
}

CMolDynFileReader::~CMolDynFileReader() = default;

std::vector<double>* CMolDynFileReader::SeriesOfTag(std::string_view tag)
{
    if (tag == "t") {
        return &m_time;
    }
    if (tag == "T") {
        return &m_temperature;
    }
    if (tag == "P") {
        return &m_pressure;
    }
    if (tag == "Ek") {
        return &m_kinetic;
    }
    if (tag == "Ep") {
        return &m_potential;
    }
    if (tag == "Et") {
        return &m_series1;
    }
    if (tag == "H") {
        return &m_h;
    }
    return nullptr;
}

void CMolDynFileReader::StoreFrame(std::vector<PendingValue>& frame)
{
    for (const PendingValue& pending : frame) {
        std::vector<double>& series = *pending.series;
        if (pending.notANumber) {
            series.push_back(series.empty() ? 0.0 : series.back());
        } else {
            series.push_back(pending.value);
        }
        if (&series == &m_pressure) {
            m_hasPressure = true;
        }
    }
    frame.clear();
}

void CMolDynFileReader::Read(const std::string& path)
{
    RegularFile::InputFile stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Unable to open ZELM dynamics file."));
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
    std::vector<PendingValue> pending;
    while (lines.Next()) {
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() != 3) {
            return;
        }
        if (tokens[0] == "Frame") {
            StoreFrame(pending);
        } else {
            // A tag that names no series is ignored when the frame is stored.
            if (std::vector<double>* series = SeriesOfTag(tokens[0])) {
                const bool notANumber = tokens[2] == "NaN";
                pending.push_back({series, notANumber, notANumber ? 0.0 : ParseLeadingDecimal(tokens[2])});
            }
        }
    }
}
