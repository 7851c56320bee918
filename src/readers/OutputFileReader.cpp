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

void COutputFileReader::ReadDimensionality(const std::string& path)
{
    std::ifstream stream;
    OpenGout(stream, path);
    std::string line;
    if (!ParseUtilities::FindLineContainingToken(stream, "Dimensionality", line)) {
        return;
    }
    const std::vector<std::string> tokens = QMFileUtilities::ExtractTokens(line);
    if (tokens.size() < 2) {
        return;
    }
    m_dimensionality = ParseField<int>(tokens[1], 0);
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
    bool subHeaderSeen = false;
    bool secondPart = false;
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
        if (n == 3 && !subHeaderSeen) {
            subHeaderSeen = true;
            skip = 1;
            continue;
        }
        // The one-word line between the two parts of a table; once the second
        // part has begun, a one-word line is the table's closing rule.
        if (n == 1 && subHeaderSeen && !secondPart) {
            secondPart = true;
            skip = 2;
            continue;
        }
        if (n >= 8 && n <= 11) {
            if (tokens[2] == "c") {
                ++coreCount;
            } else if (tokens[2] == "s") {
                ++shellCount;
            }
        }
        if (IsDashRule(tokens[0]) && (!subHeaderSeen || secondPart)) {
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
