#include "readers/OutputFileReader.h"

#include "kelv/kelv.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/ParseUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/QMFileUtilities.h"
#include "common/ParseField.h"
#include "setup/ZelmRunInfo.h"

#include <sys/stat.h>

#include <fstream>
#include <mutex>
#include <utility>

namespace {

// The last answer of one scan of a main output, kept for the same file (the
// same place, size and time of change): the answers and the command of one
// run, each checking the run first, read its output for that once.
template <class T>
struct KeptScan {
    std::mutex guard;
    bool kept = false;
    std::string path;
    struct stat file {};
    T value{};
};

template <class T, class Scan>
T ScanOnce(KeptScan<T>& kept, const std::string& path, Scan scan)
{
    struct stat file {};
    const std::string native = PathUtilities::ToNative(path);
    if (::stat(native.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return scan();
    const auto same = [&](const struct stat& a) {
        return a.st_dev == file.st_dev && a.st_ino == file.st_ino && a.st_size == file.st_size &&
               a.st_mtim.tv_sec == file.st_mtim.tv_sec && a.st_mtim.tv_nsec == file.st_mtim.tv_nsec;
    };
    {
        const std::lock_guard<std::mutex> lock(kept.guard);
        if (kept.kept && kept.path == native && same(kept.file))
            return kept.value;
    }
    T value = scan();
    const std::lock_guard<std::mutex> lock(kept.guard);
    kept.kept = true;
    kept.path = native;
    kept.file = file;
    kept.value = value;
    return value;
}


const char* const GoutOpenFailure = "Unable to open ZELM .gout file.";

// The questions asked of one run read its main output once (CKeptEngineFile).
void OpenGout(CKeptEngineFile& stream, const std::string& path)
{
    if (!stream.Open(path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure(GoutOpenFailure));
    }
}

bool IsDashRule(std::string_view token)
{
    return token.size() == 80 && token.find_first_not_of('-') == std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view start)
{
    return text.compare(0, start.size(), start) == 0;
}

// The line without the blanks around it.
std::string_view Trimmed(std::string_view line)
{
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

// The words of a text joined by single blanks.
std::string Words(std::string_view text)
{
    std::string words;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t", i);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = text.find_first_of(" \t", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (!words.empty()) {
            words += ' ';
        }
        words.append(text.substr(start, end - start));
        i = end;
    }
    return words;
}

// The text of a framed note "**** text ****" (a trimmed line); empty for any
// other line, and for the banner's rules of stars.
std::string_view FramedNoteText(std::string_view line)
{
    if (line.size() <= 8 || !StartsWith(line, "****") || line.compare(line.size() - 4, 4, "****") != 0) {
        return {};
    }
    const std::string_view text = Trimmed(line.substr(4, line.size() - 8));
    return text.find_first_not_of('*') == std::string_view::npos ? std::string_view() : text;
}

// How far (in lines that are not blank) the framed notes that give the
// reason may stand before a "Program terminated" line: the engine writes
// its current cell or a few lines of state between them.
constexpr int TerminationNoteReach = 20;

// What a whole output says about how its run ended.
struct RunEnding {
    bool failed = false;
    std::string reason;
    // The output opened with the engine's "Job Started" line.
    bool started = false;
    // It holds one of the engine's closing lines.
    bool closed = false;
};

// One pass over the output; it stops at the first engine failure, which
// decides whatever follows.
RunEnding ScanRunEnding(const std::string& path)
{
    CKeptEngineFile stream;
    OpenGout(stream, path);
    CEngineLineReader lines(stream, LastLineRule::UsedWithoutLineBreak);
    static constexpr std::string_view ErrorMarker = "!! ERROR";
    RunEnding ending;
    std::vector<std::string> notes;  // the last group of framed notes
    bool inNotes = false;
    int sinceNotes = TerminationNoteReach + 1;
    while (lines.Next()) {
        const std::string_view line = Trimmed(lines.Line());
        if (line.empty()) {
            inNotes = false;
            continue;
        }
        if (StartsWith(line, ErrorMarker)) {
            std::string_view rest = line.substr(ErrorMarker.size());
            const std::size_t start = rest.find_first_not_of(" \t:");
            ending.reason = start == std::string_view::npos ? std::string() : std::string(rest.substr(start));
            if (ending.reason.empty()) {
                ending.reason = "no reason given";
            }
            ending.failed = true;
            return ending;
        }
        if (StartsWith(line, "Program terminated")) {
            if (!notes.empty() && sinceNotes <= TerminationNoteReach) {
                for (const std::string& note : notes) {
                    ending.reason += (ending.reason.empty() ? "" : "; ") + note;
                }
            } else {
                ending.reason = Words(line);
            }
            ending.failed = true;
            return ending;
        }
        if (!ending.started) {
            ending.started = StartsWith(line, "Job Started");
        } else if (!ending.closed) {
            ending.closed = StartsWith(line, "Job Finished") || Contains(line, "Total CPU time") ||
                            (Contains(line, "completed with") && Contains(line, "warning"));
        }
        const std::string_view note = FramedNoteText(line);
        if (note.empty()) {
            inNotes = false;
            ++sinceNotes;
            continue;
        }
        if (!inNotes) {
            notes.clear();
        }
        notes.push_back(Words(note));
        inNotes = true;
        sinceNotes = 0;
    }
    return ending;
}

const char* const UnfinishedRun = "The ZELM run did not finish: its output ends without the engine's closing lines "
                                  "(the run was stopped or is still being written).";

// The value of a "Dimensionality" line's word after the word (and after
// "=" when it stands there); nothing when the line has none.
const std::string* DimensionalityValue(const std::vector<std::string>& tokens, bool& equals)
{
    // A line whose word is glued to other text reads its second word, as it
    // always did.
    std::size_t value = 1;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == "Dimensionality") {
            value = i + 1;
            break;
        }
    }
    equals = value < tokens.size() && tokens[value] == "=";
    if (equals) {
        ++value;
    }
    return value < tokens.size() ? &tokens[value] : nullptr;
}

// True for a line whose first word is a lone "*", as in the engine's framed
// headings ("*  Input for Configuration =   2   *"), and not a note ("**"):
// a test cheaper than a search of the whole line.
bool StartsFramed(const std::string& line)
{
    const char* c = line.c_str();
    while (*c == ' ' || *c == '\t') {
        ++c;
    }
    return c[0] == '*' && c[1] != '*' && c[1] != '\0';
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
    ReadAtomTable(path, m_coreCount, m_shellCount, m_irreducibleCount, m_totalCount);
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
    static KeptScan<int> kept;
    return ScanOnce(kept, path, [&] { return ReadRunType(path); });
}

int COutputFileReader::ReadRunType(const std::string& path)
{
    CKeptEngineFile stream;
    OpenGout(stream, path);
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    while (lines.Next()) {
        const std::string& line = lines.Line();
        if (Contains(line, "perform optimisation run")) {
            // The engine prints the configurations, each with its
            // dimensionality and its atom table (split into regions for a
            // slab of several), before the general input information: a
            // slab is told there, also when its table has no regions. The
            // first configuration decides, as its dimensionality does for
            // the reader: the lines of the configurations after it (a fit
            // or a run of several structures) tell nothing of the run.
            bool dimensionalitySeen = false;
            while (lines.Next()) {
                if (Contains(lines.Line(), "Region 1 :")) {
                    return RunSurface;
                }
                if (Contains(lines.Line(), "General input information")) {
                    return RunGeomOpt;
                }
                if (!dimensionalitySeen) {
                    if (Contains(lines.Line(), "Dimensionality")) {
                        dimensionalitySeen = true;
                        bool equals = false;
                        const std::vector<std::string> tokens = QMFileUtilities::ExtractTokens(lines.Line());
                        const std::string* value = DimensionalityValue(tokens, equals);
                        if (value != nullptr && *value == "2") {
                            return RunSurface;
                        }
                    }
                } else if (StartsFramed(lines.Line()) && Contains(lines.Line(), "Input for Configuration")) {
                    // The next configuration's framed heading: the first
                    // was no slab.
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
    RunEnding ending = ScanRunEnding(path);
    reason = ending.failed ? std::move(ending.reason) : std::string();
    return ending.failed;
}

bool COutputFileReader::ScanRunProblem(const std::string& path, std::string& message)
{
    message.clear();
    const RunEnding ending = ScanRunEnding(path);
    if (ending.failed) {
        message = "The ZELM run failed: " + MessageText::Excerpt(ending.reason);
    } else if (ending.started && !ending.closed) {
        message = UnfinishedRun;
    }
    return !message.empty();
}

COutputFileReader::RunCheck COutputFileReader::ScanRun(const std::string& path)
{
    RunCheck check;
    RunEnding ending = ScanRunEnding(path);
    if (ending.failed) {
        check.engineError = true;
        check.problem = "The ZELM run failed: " + MessageText::Excerpt(ending.reason);
        check.reason = std::move(ending.reason);
    } else if (ending.started && !ending.closed) {
        check.problem = UnfinishedRun;
    }
    return check;
}

void COutputFileReader::CheckRunSucceeded(const std::string& path)
{
    if (!DiskUtilities::FileExists(path))
        return;
    static KeptScan<std::pair<bool, std::string>> kept;
    const std::pair<bool, std::string> problem = ScanOnce(kept, path, [&] {
        std::string message;
        const bool found = ScanRunProblem(path, message);
        return std::make_pair(found, message);
    });
    if (problem.first) {
        throw KelvResult(E_FAIL, problem.second);
    }
}

void COutputFileReader::ReadDimensionality(const std::string& path)
{
    CKeptEngineFile stream;
    OpenGout(stream, path);
    std::string line;
    if (!ParseUtilities::FindLineContainingToken(stream, "Dimensionality", line)) {
        return;
    }
    const std::vector<std::string> tokens = QMFileUtilities::ExtractTokens(line);
    // The number follows the word, with or without "=" between them:
    // "Dimensionality 3 : Bulk" and "Dimensionality = 3 : Bulk". An "="
    // with no number after it is no dimensionality: it fails on the "=".
    bool equals = false;
    const std::string* value = DimensionalityValue(tokens, equals);
    if (value == nullptr && !equals) {
        return;
    }
    m_dimensionality = ParseField<int>(value != nullptr ? *value : std::string("="), 0);
}

bool COutputFileReader::IsRegionLine(const LineTokens& tokens)
{
    return tokens.size() >= 3 && tokens[0] == "Region" && tokens[2] == ":";
}

void COutputFileReader::ReadAtomTable(const std::string& path, int& coreCount, int& shellCount)
{
    int irreducibleCount = 0;
    int totalCount = 0;
    ReadAtomTable(path, coreCount, shellCount, irreducibleCount, totalCount);
}

void COutputFileReader::ReadAtomTable(const std::string& path, int& coreCount, int& shellCount,
                                      int& irreducibleCount, int& totalCount)
{
    coreCount = 0;
    shellCount = 0;
    irreducibleCount = 0;
    totalCount = 0;
    CKeptEngineFile stream;
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
                irreducibleCount = static_cast<int>(ParseLeadingInteger(tokens[5]));
            } else if (n == 5 && tokens[0] == "Total" && tokens[1] == "number" && tokens[2] == "atoms/shells" &&
                       tokens[3] == "=") {
                totalSeen = true;
                totalCount = static_cast<int>(ParseLeadingInteger(tokens[4]));
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
    RegularFile::InputFile stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Unable to open ZELM .osc file."));
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

    // A block that breaks the format leaves no ".osc" results; so does a
    // value that is no number ("nan", "inf"), never read as 0.
    bool number = true;
    auto value = [&number](std::string_view token) {
        double read = 0.0;
        number = number && ParseWholeDecimal(token, read);
        return read;
    };
    auto broken = [&] {
        m_modeFrequencies.clear();
        m_oscillatorStrengths.clear();
    };
    for (long mode = 1; mode <= modeCount; ++mode) {
        if (!nextTokens(2) || ParseLeadingInteger(tokens[0]) != mode) {
            return broken();
        }
        m_modeFrequencies.push_back(value(tokens[1]));
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
            tensor(static_cast<int>(row), static_cast<int>(column)) = value(tokens[2]);
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
            dielectric(row, column) = value(tokens[static_cast<std::size_t>(column - 1)]);
        }
    }
    if (!number) {
        return broken();
    }
    m_dielectricTensor = dielectric;
}

void COutputFileReader::ReadDensFile(const std::string& path)
{
    RegularFile::InputFile stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Unable to open ZELM .dens file."));
    }
    // A point a line.
    const std::size_t points = CountLines(stream);
    m_dosFrequencies.reserve(m_dosFrequencies.size() + points);
    m_dosValues.reserve(m_dosValues.size() + points);
    CEngineLineReader lines(stream, LastLineRule::UsedWithoutLineBreak);
    LineTokens tokens;
    // A point is two numbers. A line of two words that are no values (a
    // heading) is passed over; a value that is no number is never read as
    // 0: the file gives no density of states, and the chart says why.
    const auto meantAsValue = [](std::string_view word) {
        const char first = word.empty() ? ' ' : word[0];
        std::string lower(word.substr(0, 3));
        for (char& c : lower) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        return (first >= '0' && first <= '9') || first == '+' || first == '-' || first == '.' || lower == "nan" ||
               lower == "inf";
    };
    std::size_t number = 0;
    while (lines.Next()) {
        ++number;
        if (Contains(lines.Line(), "#")) {
            continue;
        }
        TokenizeLine(lines.Line(), tokens);
        if (tokens.size() != 2) {
            continue;
        }
        double frequency = 0.0;
        double density = 0.0;
        const bool frequencyRead = ParseWholeDecimal(tokens[0], frequency);
        const bool densityRead = ParseWholeDecimal(tokens[1], density);
        if (frequencyRead && densityRead) {
            m_dosFrequencies.push_back(frequency);
            m_dosValues.push_back(density);
        } else if (m_dosFailure.empty() && (meantAsValue(tokens[0]) || meantAsValue(tokens[1]))) {
            const std::string_view word = frequencyRead ? tokens[1] : tokens[0];
            m_dosFailure = "The density-of-states file \"" + MessageText::Excerpt(path) + "\" gives \"" +
                           MessageText::Excerpt(std::string(word.substr(0, MessageText::ExcerptLength + 1))) +
                           "\" on line " + std::to_string(number) + ", which is no number: there is nothing to chart.";
        }
    }
    if (!m_dosFailure.empty()) {
        m_dosFrequencies.clear();
        m_dosValues.clear();
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
