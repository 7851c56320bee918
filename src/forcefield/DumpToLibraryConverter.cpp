#include "forcefield/DumpToLibraryConverter.h"
#include "com/regularfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <list>
#include <new>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmForcefieldEditor.h"
#include "forcefield/ZelmServerDescription.h"
#include "kelv/kelv.h"
#include "qorqm/ClaimName.h"
#include "qorqm/MessageText.h"
#include "qorqm/ParseUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/ZelmParseUtilities.h"

namespace {

// Keywords of a fitting run that a library must not carry.
const char* const kRunKeywords[] = {
    "optimise", "conp",      "conv",       "md",       "fit",        "gradient", "qok",      "property",
    "phonon",   "nodensity_out", "pot",    "efg",      "nomodcoord", "libff",    "relax",    "intensity",
    "simultaneous", "libdump", "conserved", "preserve_Q", "spatial", "noautobond", "nofreq",
};

std::string Lower(std::string text)
{
    return ZelmParseUtilities::MakeStringLowerCase(text);
}

// A token that is a run keyword or any piece of one (as the engine accepts
// abbreviations); compared without regard to letter case.
bool IsRunKeywordFragment(const std::string& token)
{
    const std::string lower = Lower(token);
    for (const char* keyword : kRunKeywords) {
        if (Lower(keyword).find(lower) != std::string::npos)
            return true;
    }
    return false;
}

// The converted text lives in a file of its own beside the library while it
// is read back ("<library>.tmp-<pid>-<six letters>"); it is removed
// whatever happens.
class CTemporaryFile {
    static constexpr unsigned kAttempts = 100;

    // An attempt's number as the name holds it: decimal, below kAttempts.
    static bool IsAttemptNumber(const std::string&, const std::string& suffix)
    {
        if (suffix.empty() || suffix.size() > 2 || (suffix.size() > 1 && suffix[0] == '0'))
            return false;
        for (const char c : suffix)
            if (c < '0' || c > '9')
                return false;
        return std::stoul(suffix) < kAttempts;
    }

public:
    explicit CTemporaryFile(const std::string& beside)
    {
        // What a converter that was killed left of its own.
        // (Its temporary files are the whole-file writer's now, which any
        // write in the folder sweeps; ".converting-" ones are of earlier
        // converters.)
        RemoveStaleTemporaries(beside, ".converting-", IsAttemptNumber);
        m_path = DiskUtilities::MakeTemporaryFile(beside);
        if (m_path.empty())
            throw KelvResult(E_UNEXPECTED, "Cannot open the library file " + beside);
    }
    ~CTemporaryFile() { std::remove(m_path.c_str()); }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

const char* const kNoSpecies = "Invalid dump file format - species block absent";

// The line that ends the forcefield lines of a dump.
bool EndsForcefieldLines(const std::string& line)
{
    return line.find("observables") != std::string::npos || line.find("dump") != std::string::npos;
}

std::vector<std::string> Tokens(const std::string& line)
{
    std::vector<std::string> tokens;
    ParseUtilities::Tokenize(line, tokens, " \t");
    return tokens;
}

// A word that begins with a number, as the engine reads coordinates ("0.5",
// "-1", "1/3"); names such as "In" or "Na" are none.
bool BeginsWithNumber(const std::string& word, const char** end = nullptr)
{
    if (word.empty() || !(std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '+' || word[0] == '-' ||
                          word[0] == '.'))
        return false;
    char* after = nullptr;
    std::strtod(word.c_str(), &after);
    if (end)
        *end = after;
    return after != word.c_str();
}

// A word that is a finite number and nothing else ("1e999" is none: read,
// it would be infinite).
bool IsNumber(const std::string& word)
{
    const char* end = nullptr;
    return BeginsWithNumber(word, &end) && *end == '\0' && std::isfinite(std::strtod(word.c_str(), nullptr));
}

// One half of a species as an atom or an interaction line names it: the
// species name and "core" or "shel".
struct SpeciesHalf {
    std::string name;
    std::string half;
    bool operator==(const SpeciesHalf& other) const { return name == other.name && half == other.half; }
};

// The half that the word after a species name stands for ("core", "shel",
// "shell" and the engine's one-letter forms); empty for any other word.
std::string HalfOf(std::string word)
{
    ZelmParseUtilities::MakeStringLowerCase(word);
    if (word == "core" || word == "c" || word == "bcor")
        return "core";
    if (word.find("shel") != std::string::npos || word == "s" || word == "bshe")
        return "shel";
    return std::string();
}

// The species of a dump that has no species block: every species half of
// its atom lines and of its interaction lines, in the order met, with the
// charge its atom lines give it (as written there).
class CDumpSpecies {
public:
    // An atom line: name, optionally its half, three coordinates, then the
    // charge (occupancy, radius and flags may follow). Other lines answer
    // false.
    bool ReadAtomLine(const std::vector<std::string>& tokens)
    {
        if (tokens.size() < 4 || BeginsWithNumber(tokens[0]))
            return false;
        std::string half = HalfOf(tokens[1]);
        std::size_t coordinates = 2;
        if (half.empty()) {
            if (!BeginsWithNumber(tokens[1]))
                return false;
            half = "core";
            coordinates = 1;
        }
        if (tokens.size() < coordinates + 3)
            return false;
        for (std::size_t i = coordinates; i < coordinates + 3; ++i) {
            if (!BeginsWithNumber(tokens[i]))
                return false;
        }
        Entry& entry = Find({tokens[0], half});
        const std::size_t chargeAt = coordinates + 3;
        if (chargeAt < tokens.size() && IsNumber(tokens[chargeAt])) {
            const std::string& text = tokens[chargeAt];
            const double charge = std::strtod(text.c_str(), nullptr);
            if (entry.chargeText.empty()) {
                entry.chargeText = text;
                entry.charge = charge;
            } else if (charge != entry.charge) {
                throw KelvResult(E_UNEXPECTED, "Invalid dump file format - the atom lines give the species \"" +
                                                   entry.species.name + " " + entry.species.half +
                                                   "\" two charges, " + entry.chargeText + " and " + text);
            }
        }
        return true;
    }

    // The atom types that open an interaction line of a form of `atoms`
    // atoms, read as a library reads them: a name, then "core" or a word
    // holding "shel", or neither (the core). A line that opens with a word
    // that is no species known so far and is not followed by "core" or
    // "shel" is no interaction line (the form line of a form unknown here,
    // say): false, and nothing is taken from it.
    bool ReadInteractionLine(const std::vector<std::string>& tokens, int atoms)
    {
        std::vector<SpeciesHalf> named;
        std::size_t position = 0;
        for (int atom = 0; atom < atoms && position < tokens.size(); ++atom) {
            const std::string& name = tokens[position++];
            if (BeginsWithNumber(name) || name == "&")
                break;
            std::string qualifier = position < tokens.size() ? tokens[position] : std::string();
            ZelmParseUtilities::MakeStringLowerCase(qualifier);
            std::string half = "core";
            if (qualifier == "core") {
                ++position;
            } else if (qualifier.find("shel") != std::string::npos) {
                half = "shel";
                ++position;
            } else if (!HasName(name)) {
                return false;
            }
            named.push_back({name, half});
        }
        for (const SpeciesHalf& species : named)
            Find(species);
        return true;
    }

    bool HasName(const std::string& name) const
    {
        return std::any_of(m_entries.begin(), m_entries.end(),
                           [&](const Entry& entry) { return entry.species.name == name; });
    }
    bool Empty() const { return m_entries.empty(); }

    // The species block of a library. A half that no atom line gives a
    // charge has the charge 0.
    std::string Block() const
    {
        std::string block = "species\n";
        for (const Entry& entry : m_entries) {
            block += entry.species.name + " " + entry.species.half + " " +
                     (entry.chargeText.empty() ? std::string("0") : entry.chargeText) + "\n";
        }
        return block;
    }

private:
    struct Entry {
        SpeciesHalf species;
        std::string chargeText;
        double charge = 0.0;
    };

    Entry& Find(const SpeciesHalf& species)
    {
        for (Entry& entry : m_entries) {
            if (entry.species == species)
                return entry;
        }
        m_entries.push_back(Entry{species, std::string(), 0.0});
        return m_entries.back();
    }

    std::vector<Entry> m_entries;
};

// A word that opens the coordinate lines of a structure.
bool OpensCoordinates(const std::vector<std::string>& tokens)
{
    if (tokens.empty())
        return false;
    std::string word = tokens.front();
    ZelmParseUtilities::MakeStringLowerCase(word);
    for (const char* opening : {"frac", "cart", "sfrac", "pfrac"}) {
        if (word.compare(0, std::strlen(opening), opening) == 0)
            return true;
    }
    return false;
}

bool IsEndLine(const std::vector<std::string>& tokens)
{
    if (tokens.empty())
        return false;
    std::string word = tokens.front();
    return ZelmParseUtilities::MakeStringLowerCase(word) == "end";
}

// Words that open the lines of a dump that belong to its structures or to
// the run, never to a forcefield: the engine takes them, as it takes its
// options, by their first four letters or more ("frac", "spac", "outp").
const char* const kRunLineWords[] = {
    "name",   "cell",       "scell",     "pcell", "fractional", "cartesian", "sfractional", "pfractional",
    "spacegroup", "origin", "totalenergy", "observables", "variables", "end", "accuracy", "xtol",
    "gtol",   "ftol",       "print",     "switch_minimiser", "output", "dump", "title",
};

bool IsRunLine(const std::vector<std::string>& tokens)
{
    std::string word = tokens.front();
    ZelmParseUtilities::MakeStringLowerCase(word);
    for (const char* option : kRunLineWords) {
        const std::string full = option;
        if (word == full || (word.size() >= 4 && full.compare(0, word.size(), word) == 0))
            return true;
    }
    return false;
}

// The line after a lone "space" gives the space group, by number or by
// symbol ("225", "F M 3 M").
bool TakesNextLine(const std::vector<std::string>& tokens)
{
    std::string word = tokens.front();
    ZelmParseUtilities::MakeStringLowerCase(word);
    return tokens.size() == 1 && word.size() >= 4 && std::string("spacegroup").compare(0, word.size(), word) == 0;
}

bool AllNumbers(const std::vector<std::string>& tokens)
{
    return std::all_of(tokens.begin(), tokens.end(), [](const std::string& token) { return IsNumber(token); });
}

// The library text of a dump that has no species block: the species come
// from the atom lines of its structures and from its interaction lines; the
// forcefield lines are its potentials: from the first line after the
// structures and the "variables" block (the last "end" or atom line) that is
// neither a run line nor the numbers of one, up to "dump" or "observables".
// Run and structure lines among them ("accuracy", "xtol opt", "print",
// "output movie", a late "space" and its group) and the numbers that follow
// such a line are left out; every other line keeps its text, lines of forms
// this build does not read included.
std::string ConvertWithoutSpeciesBlock(const std::vector<std::string>& lines)
{
    CDumpSpecies species;
    std::size_t forcefieldStart = 0;
    bool inCoordinates = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (ZelmParseUtilities::IsCommentLine(lines[i]))
            continue;
        const std::vector<std::string> tokens = Tokens(lines[i]);
        if (!tokens.empty() && tokens.front().find("dump") != std::string::npos)
            break;
        if (OpensCoordinates(tokens)) {
            inCoordinates = true;
            forcefieldStart = i + 1;
            continue;
        }
        if (inCoordinates && species.ReadAtomLine(tokens)) {
            forcefieldStart = i + 1;
            continue;
        }
        inCoordinates = false;
        if (IsEndLine(tokens))
            forcefieldStart = i + 1;
    }

    const CZelmServerDescription server;
    std::string forcefield;
    int atoms = 0;
    bool potentials = false;   // the first potential line has been met
    bool afterRunLine = false; // numbers that follow belong to the run line
    for (std::size_t i = forcefieldStart; i < lines.size() && !EndsForcefieldLines(lines[i]); ++i) {
        if (ZelmParseUtilities::IsBlankLine(lines[i]))
            continue;
        if (ZelmParseUtilities::IsCommentLine(lines[i])) {
            if (potentials)
                forcefield += ZelmParseUtilities::ChopToZelmLength(lines[i]) + "\n";
            continue;
        }
        const std::vector<std::string> tokens = Tokens(lines[i]);
        if (!species.HasName(tokens.front()) && IsRunLine(tokens)) {
            afterRunLine = true;
            atoms = 0;
            if (TakesNextLine(tokens))
                ++i;
            continue;
        }
        if ((afterRunLine || !potentials) && AllNumbers(tokens))
            continue;
        afterRunLine = false;
        potentials = true;
        forcefield += ZelmParseUtilities::ChopToZelmLength(lines[i]) + "\n";
        std::string word = tokens.front();
        ZelmParseUtilities::MakeStringLowerCase(word);
        if (!species.HasName(tokens.front()) && server.HasFunctionalForm(word)) {
            const std::string& type = server.GetTypeOfFunctionalForm(word);
            atoms = server.GetInteractionType(type)->GetNumberOfAtoms();
        } else if (!species.ReadInteractionLine(tokens, atoms)) {
            atoms = 0;  // lines of a form the library cannot read name no species
        }
    }
    if (species.Empty())
        throw KelvResult(E_UNEXPECTED, kNoSpecies);
    return species.Block() + "\n" + forcefield;
}

// The run's keywords without the run-control ones, as the library's
// "keyword" line.
std::string KeywordLine(const std::string& line)
{
    std::vector<std::string> tokens;
    ParseUtilities::Tokenize(line, tokens, " ");
    std::string kept;
    for (const std::string& token : tokens) {
        if (!IsRunKeywordFragment(token))
            kept += token + " ";
    }
    return "keyword " + ZelmParseUtilities::ChopToZelmLength(kept) + "\n";
}

// Throws, naming the dump, when the engine's writing of it was cut short:
// its last line ends without a line break before the line that ends its
// forcefield lines was reached.
void RequireWholeLastLine(const std::string& text, const std::string& dumpPath)
{
    if (text.empty() || text.back() == '\n')
        return;
    const std::size_t lineBreak = text.rfind('\n');
    const std::string last = text.substr(lineBreak == std::string::npos ? 0 : lineBreak + 1);
    if (EndsForcefieldLines(last))
        return;
    throw KelvResult(E_UNEXPECTED, "The dump file \"" + MessageText::Excerpt(dumpPath) +
                                       "\" is cut short: its last line \"" + MessageText::Excerpt(last) +
                                       "\" ends without a line break. No library is made from it.");
}

// The library text of a dump (see the class comment).
std::string ConvertDump(std::istream& file, const std::string& dumpPath)
{
    using namespace ZelmParseUtilities;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        throw KelvResult(E_UNEXPECTED, "Problem reading file");
    RequireWholeLastLine(text, dumpPath);
    std::istringstream dump(text);

    // The run's keywords: the first line that is neither empty nor a
    // comment (dumps may open with comment lines).
    std::string line;
    while (GetNonEmptyLine(dump, line) && IsCommentLine(line)) {
    }
    std::string library = KeywordLine(line);
    const std::streampos afterKeywords = dump.tellg();

    std::list<std::string> passedOver;
    if (!FindNonCommentLineContainingToken(dump, "species", line, passedOver)) {
        // A dump of a run whose input had no species block has none either.
        std::vector<std::string> rest;
        std::istringstream remaining(afterKeywords == std::streampos(-1) ? std::string()
                                                                          : text.substr(afterKeywords));
        while (std::getline(remaining, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            rest.push_back(line);
        }
        // Its library holds the species and the potentials only: not even
        // the keyword line, which is the run's.
        return ConvertWithoutSpeciesBlock(rest);
    }
    library += ChopToZelmLength(line) + "\n";

    while (GetNonEmptyLine(dump, line)) {
        if (EndsForcefieldLines(line))
            break;
        library += ChopToZelmLength(line) + "\n";
    }
    return library;
}

// The dump converted and read back as a library into `editor`; the
// temporary file that held the converted text is gone on return.
void LoadConverted(const std::string& dumpPath, const std::string& libraryPath, CZelmForcefieldEditor& editor)
{
    RegularFile::InputFile dump(dumpPath);
    if (!dump.IsOpen())
        throw KelvResult(E_UNEXPECTED, dump.Failure("Cannot open the dump file " + dumpPath));
    const std::string converted = ConvertDump(dump, dumpPath);

    CTemporaryFile temporary(libraryPath);
    {
        RegularFile::OutputFile stream(temporary.Path());
        if (!stream.IsOpen())
            throw KelvResult(E_UNEXPECTED, stream.Failure("Cannot write the library file " + libraryPath));
        errno = 0;
        stream << converted;
        if (!stream.Close())
            throw KelvResult(E_UNEXPECTED, "Cannot write the library file " + libraryPath + " (" +
                                               std::strerror(errno != 0 ? errno : EIO) + ")");
    }
    const CForcefield& forcefield = editor.Load(temporary.Path());
    // A dump that the engine's writing left without its potentials would
    // give a library of species alone.
    const auto* zelm = dynamic_cast<const CZelmForcefield*>(&forcefield);
    if (forcefield.GetInteractionEntries().empty() && (zelm == nullptr || !zelm->HasKeptFormBlocks()))
        throw KelvResult(E_UNEXPECTED, "The dump file \"" + MessageText::Excerpt(dumpPath) +
                                           "\" holds no interaction: it may be cut short. No library is made "
                                           "from it.");
}

}  // namespace

CDumpToLibraryConverter::CDumpToLibraryConverter(const std::string& dumpPath, const std::string& libraryPath,
                                                 const std::string& project)
{
    // Read back as a library, clear the fit marks and write it in the
    // module's layout over the library (replaced only when saving succeeds).
    CZelmForcefieldEditor editor;
    LoadConverted(dumpPath, libraryPath, editor);
    editor.MarkAllParametersNoFit();
    CForcefieldEditor::WriteForcefieldFile(editor.GetForcefield(), libraryPath, project);
}

CDumpToLibraryConverter::~CDumpToLibraryConverter() = default;

void CDumpToLibraryConverter::CheckConvertible(const std::string& dumpPath, const std::string& libraryPath)
{
    CZelmForcefieldEditor editor;
    LoadConverted(dumpPath, libraryPath, editor);
}

bool CDumpToLibraryConverter::CanConvert(const std::string& dumpPath, const std::string& libraryPath)
{
    try {
        CheckConvertible(dumpPath, libraryPath);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        return false;
    }
    return true;
}
