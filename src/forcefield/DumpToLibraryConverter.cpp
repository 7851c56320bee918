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
#include <memory>
#include <new>
#include <string_view>
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
bool IsRunKeywordFragment(std::string_view token)
{
    // No piece of a keyword is longer than the longest keyword.
    if (token.size() > std::strlen("nodensity_out"))
        return false;
    const std::string lower = Lower(std::string(token));
    for (const char* keyword : kRunKeywords) {
        if (Lower(keyword).find(lower) != std::string::npos)
            return true;
    }
    return false;
}

// Earlier conversions read the converted text back through a working copy
// beside the library ("<library>.converting-<pid>-<attempt>", the attempt
// below 100); a converter killed half-way left it behind.
bool IsAttemptNumber(const std::string&, const std::string& suffix)
{
    if (suffix.empty() || suffix.size() > 2 || (suffix.size() > 1 && suffix[0] == '0'))
        return false;
    return std::all_of(suffix.begin(), suffix.end(), [](char c) { return c >= '0' && c <= '9'; });
}

const char* const kNoSpecies = "Invalid dump file format - species block absent";

// The line that ends the forcefield lines of a dump.
bool EndsForcefieldLines(std::string_view line)
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
    double value = 0.0;
    return ZelmParseUtilities::ReadDecimal(word, value);
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
        // A charge written as no decimal number ("0x10", "nan") is not
        // taken for none.
        if (chargeAt < tokens.size() && !IsNumber(tokens[chargeAt]) &&
            (BeginsWithNumber(tokens[chargeAt]) || Lower(tokens[chargeAt]).rfind("nan", 0) == 0 ||
             Lower(tokens[chargeAt]).rfind("inf", 0) == 0))
            throw KelvResult(E_UNEXPECTED, "Invalid dump file format - the charge \"" +
                                               MessageText::Excerpt(tokens[chargeAt]) + "\" of the species \"" +
                                               tokens[0] + " " + half + "\" in its atom lines is no decimal number");
        if (chargeAt < tokens.size() && IsNumber(tokens[chargeAt])) {
            const std::string& text = tokens[chargeAt];
            double charge = 0.0;
            ZelmParseUtilities::ReadDecimal(text, charge);
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

// A line of the dump as the library holds it: cut to the engine's line
// length. A potential (any line but a comment) that would lose a word so is
// refused, naming the dump: the library would hold it cut.
std::string LibraryLine(std::string_view whole, const std::string& dumpPath)
{
    const std::string_view cut = ZelmParseUtilities::CutWord(whole);
    if (!cut.empty() && !ZelmParseUtilities::IsCommentLine(std::string(whole.substr(0, 2 * 1024)))) {
        throw KelvResult(E_UNEXPECTED,
                         "The dump file \"" + MessageText::Excerpt(dumpPath) + "\" has a line longer than the " +
                             std::to_string(ZelmParseUtilities::ZelmLineLength()) +
                             " columns the engine reads, which a library would hold cut before the word \"" +
                             MessageText::Excerpt(std::string(cut.substr(0, MessageText::ExcerptLength + 1)),
                                                  MessageText::ExcerptLength, cut.size()) +
                             "\". No library is made from it.");
    }
    // Its first columns and one more (which tells a cut at a word's end
    // from one inside it) decide the cut.
    return ZelmParseUtilities::ChopToZelmLength(std::string(whole.substr(0, ZelmParseUtilities::ZelmLineLength() + 1)));
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
std::string ConvertWithoutSpeciesBlock(const std::vector<std::string_view>& lines, const std::string& dumpPath)
{
    CDumpSpecies species;
    std::size_t forcefieldStart = 0;
    bool inCoordinates = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string line(lines[i]);
        if (ZelmParseUtilities::IsCommentLine(line))
            continue;
        const std::vector<std::string> tokens = Tokens(line);
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
        const std::string line(lines[i]);
        if (ZelmParseUtilities::IsBlankLine(line))
            continue;
        if (ZelmParseUtilities::IsCommentLine(line)) {
            if (potentials)
                forcefield += LibraryLine(line, dumpPath) + "\n";
            continue;
        }
        const std::vector<std::string> tokens = Tokens(line);
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
        forcefield += LibraryLine(line, dumpPath) + "\n";
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
std::string KeywordLine(std::string_view line)
{
    // The words, split at blanks. What is kept is cut to the engine's line
    // length, so no more than one column beyond it is gathered (a line of
    // megabytes stays where it is).
    const std::size_t enough = ZelmParseUtilities::ZelmLineLength() + 1;
    std::string kept;
    std::size_t position = 0;
    while (kept.size() < enough && (position = line.find_first_not_of(' ', position)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find(' ', position), line.size());
        const std::string_view token = line.substr(position, end - position);
        position = end;
        if (IsRunKeywordFragment(token))
            continue;
        kept.append(token.substr(0, enough - kept.size()));
        if (kept.size() < enough)
            kept += ' ';
    }
    return "keyword " + ZelmParseUtilities::ChopToZelmLength(kept) + "\n";
}

// Whether the line's first character that is not a blank or a tab is '#'.
bool IsComment(std::string_view line)
{
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && line[first] == '#';
}

// Throws, naming the dump, when the engine's writing of it was cut short:
// its last line ends without a line break before the line that ends its
// forcefield lines was reached.
void RequireWholeLastLine(std::string_view text, const std::string& dumpPath)
{
    if (text.empty() || text.back() == '\n')
        return;
    const std::size_t lineBreak = text.rfind('\n');
    const std::string_view last = text.substr(lineBreak == std::string_view::npos ? 0 : lineBreak + 1);
    if (EndsForcefieldLines(last))
        return;
    throw KelvResult(E_UNEXPECTED, "The dump file \"" + MessageText::Excerpt(dumpPath) +
                                       "\" is cut short: its last line \"" +
                                       MessageText::Excerpt(std::string(last.substr(0, MessageText::ExcerptLength + 1))) +
                                       "\" ends without a line break. No library is made from it.");
}

// The lines of a text held once: views into it, without their line breaks
// and the carriage returns that end them.
class CTextLines {
public:
    explicit CTextLines(std::string_view text) : m_text(text) {}

    bool Next(std::string_view& line)
    {
        if (m_position >= m_text.size())
            return false;
        const std::size_t lineBreak = m_text.find('\n', m_position);
        const std::size_t end = lineBreak == std::string_view::npos ? m_text.size() : lineBreak;
        line = m_text.substr(m_position, end - m_position);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        m_position = end == m_text.size() ? end : end + 1;
        return true;
    }

    // The next line that holds anything but blanks, tabs and carriage returns.
    bool NextNonEmpty(std::string_view& line)
    {
        while (Next(line)) {
            if (line.find_first_not_of(" \t\r") != std::string_view::npos)
                return true;
        }
        return false;
    }

    std::string_view Rest() const { return m_text.substr(m_position); }

private:
    std::string_view m_text;
    std::size_t m_position = 0;
};

// Whether one of the line's words (blanks and tabs between them) is `word`,
// without regard to ASCII case.
bool HoldsWord(std::string_view line, const std::string& word)
{
    std::size_t position = 0;
    while ((position = line.find_first_not_of(" \t", position)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t", position), line.size());
        if (end - position == word.size() && Lower(std::string(line.substr(position, end - position))) == word)
            return true;
        position = end;
    }
    return false;
}

// The library text of a dump (see the class comment).
std::string ConvertDump(std::string_view text, const std::string& dumpPath)
{
    using namespace ZelmParseUtilities;
    RequireWholeLastLine(text, dumpPath);
    CTextLines dump(text);

    // The run's keywords: the first line that is neither empty nor a
    // comment (dumps may open with comment lines).
    std::string_view line;
    bool found = false;
    while ((found = dump.NextNonEmpty(line)) && IsComment(line)) {
    }
    std::string library = KeywordLine(found ? line : std::string_view());
    const CTextLines afterKeywords = dump;

    bool species = false;
    while (!species && dump.Next(line))
        species = !IsComment(line) && HoldsWord(line, "species");
    if (!species) {
        // A dump of a run whose input had no species block has none either.
        std::vector<std::string_view> rest;
        CTextLines remaining(afterKeywords.Rest());
        while (remaining.Next(line))
            rest.push_back(line);
        // Its library holds the species and the potentials only: not even
        // the keyword line, which is the run's.
        return ConvertWithoutSpeciesBlock(rest, dumpPath);
    }
    library += LibraryLine(line, dumpPath) + "\n";

    while (dump.NextNonEmpty(line)) {
        if (EndsForcefieldLines(line))
            break;
        library += LibraryLine(line, dumpPath) + "\n";
    }
    return library;
}

// The dump's text, read once, within the bound of a dump.
std::string ReadDump(const std::string& dumpPath)
{
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(dumpPath, text, why, RegularFile::Bound::Dump))
        throw KelvResult(E_UNEXPECTED, RegularFile::Failure("Cannot open the dump file " + dumpPath, dumpPath, why));
    return text;
}

// Everything the conversion does but writing the library: the dump read and
// converted, the converted text read as a library (in memory: nothing is
// written) and checked. A library that gives no potential, read or kept as
// text, or a value that is no number, is refused naming the dump.
std::unique_ptr<CZelmForcefield> PrepareConversion(const std::string& dumpPath, const CServerDescription& server)
{
    const std::string converted = ConvertDump(ReadDump(dumpPath), dumpPath);
    auto forcefield = std::make_unique<CZelmForcefield>(server, converted, CZelmLibUtils::FromText{});
    for (const CZelmForcefield::Warning& warning : forcefield->GetWarnings()) {
        if (!warning.notANumber.empty())
            throw KelvResult(E_UNEXPECTED, "The dump file \"" + MessageText::Excerpt(dumpPath) + "\" gives \"" +
                                               MessageText::Excerpt(warning.notANumber) +
                                               "\", which is no number, for a value of its potential \"" +
                                               MessageText::Excerpt(warning.line) +
                                               "\". No library is made from it.");
    }
    // A dump that the engine's writing left without its potentials would
    // give a library of species alone.
    if (forcefield->GetInteractionEntries().empty() && forcefield->GetKeptFormCount() == 0)
        throw KelvResult(E_UNEXPECTED, "The dump file \"" + MessageText::Excerpt(dumpPath) +
                                           "\" holds no interaction: it may be cut short. No library is made "
                                           "from it.");
    return forcefield;
}

}  // namespace

class CDumpToLibraryConverter::Prepared {
public:
    explicit Prepared(const std::string& dumpPath) : forcefield(PrepareConversion(dumpPath, server))
    {
        forcefield->MarkAllParametersNoFit();
        std::ostringstream stream;
        forcefield->WriteLibrary(stream);
        text = stream.str();
    }

    const CZelmServerDescription server;
    const std::unique_ptr<CZelmForcefield> forcefield;
    std::string text;
};

std::shared_ptr<const CDumpToLibraryConverter::Prepared> CDumpToLibraryConverter::Prepare(
    const std::string& dumpPath, const std::string& /*libraryPath*/)
{
    return std::make_shared<const Prepared>(dumpPath);
}

const std::string& CDumpToLibraryConverter::LibraryText(const Prepared& prepared)
{
    return prepared.text;
}

void CDumpToLibraryConverter::Write(const Prepared& prepared, const std::string& libraryPath,
                                    const std::string& project)
{
    // Written in the module's layout over the library (replaced only when
    // saving succeeds).
    RemoveStaleTemporaries(libraryPath, ".converting-", IsAttemptNumber);
    CForcefieldEditor::WriteForcefieldFile(*prepared.forcefield, libraryPath, project);
}

CDumpToLibraryConverter::CDumpToLibraryConverter(const std::string& dumpPath, const std::string& libraryPath,
                                                 const std::string& project)
{
    Write(*Prepare(dumpPath, libraryPath), libraryPath, project);
}

CDumpToLibraryConverter::~CDumpToLibraryConverter() = default;

void CDumpToLibraryConverter::CheckConvertible(const std::string& dumpPath, const std::string& libraryPath)
{
    Prepare(dumpPath, libraryPath);
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
