#include "setup/RunInfoFromDeck.h"

#include "kelv/kelv.h"
#include "qorqm/MessageText.h"
#include "qorqm/ParseUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmParseUtilities.h"

#include <limits>
#include <vector>

namespace ZelmDeck {

namespace {

// The next line of the deck without its line break and a carriage return
// before it, lower-cased, as the engine reads it: its first
// ZelmLineLength() characters (the rest is passed over unread into memory,
// so that a line of a gigabyte costs no more than a short one); the empty
// line at the end of the input.
std::string DeckLine(std::istream& stream)
{
    std::string line;
    const std::size_t keep = ZelmParseUtilities::ZelmLineLength() + 1; // and a carriage return
    std::istream::sentry ready(stream, true);
    if (!ready)
        return line;
    std::streambuf& buffer = *stream.rdbuf();
    for (;;) {
        const int c = buffer.sbumpc();
        if (c == std::char_traits<char>::eof()) {
            stream.setstate(line.empty() ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
            break;
        }
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
        if (line.size() == keep) {
            stream.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            break;
        }
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > keep - 1)
        line.resize(keep - 1);
    return ZelmParseUtilities::MakeStringLowerCase(line);
}

std::vector<std::string> LowerCaseWords(std::istream& stream)
{
    std::vector<std::string> words;
    ParseUtilities::Tokenize(DeckLine(stream), words, " ");
    return words;
}

// A deck begins with its keyword line; a first word that is no keyword (a
// file of zeros or of binary data put in a deck's place) is refused before
// anything more of the file is read.
void RequireKeywordLine(const std::vector<std::string>& firstWords, const std::string& path)
{
    if (firstWords.empty())
        return;
    const unsigned char first = static_cast<unsigned char>(firstWords.front()[0]);
    if ((first >= 'a' && first <= 'z') || first == '#')
        return;
    const std::string deck = path.empty() ? std::string("The input deck")
                                          : "The ZELM input file '" + MessageText::Excerpt(path) + "'";
    throw KelvResult(E_UNEXPECTED, deck + " is not a deck: it does not begin with a line of keywords (its first word "
                                          "is '" + MessageText::Excerpt(firstWords.front()) + "').");
}

bool Contains(const std::string& word, const char* keyword)
{
    return word.find(keyword) != std::string::npos;
}

// One raw line without its line break and one trailing carriage return;
// false when the input has no more lines.
bool ReadNoteLine(std::istream& stream, std::string& line)
{
    if (!std::getline(stream, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

DeckSettings ReadDeckSettings(std::istream& deck, const std::string& path)
{
    DeckSettings settings;
    static const struct {
        const char* word;
        long task;
    } taskWords[] = {{"md", 3}, {"opti", 2}, {"grad", 1}, {"fit", 4}};
    bool found = false;
    const std::vector<std::string> firstWords = LowerCaseWords(deck);
    RequireKeywordLine(firstWords, path);
    for (const std::string& word : firstWords) {
        for (const auto& candidate : taskWords) {
            if (Contains(word, candidate.word)) {
                settings.task = candidate.task;
                found = true;
                break;
            }
        }
        if (found)
            break;
    }

    while (deck.good() && deck.peek() != std::char_traits<char>::eof()) {
        std::vector<std::string> words = LowerCaseWords(deck);
        for (const std::string& word : words) {
            settings.region = settings.region || Contains(word, "region");
            settings.scell = settings.scell || Contains(word, "scell");
            settings.svector = settings.svector || Contains(word, "svector");
        }
        if (!words.empty() && words.front().compare(0, 3, "lib") == 0) {
            settings.hasLibraryLine = true;
            std::string name;
            if (words.size() > 1) {
                name = words[1];
            } else {
                const std::vector<std::string> next = LowerCaseWords(deck);
                if (!next.empty())
                    name = next.front();
            }
            if (!name.empty())
                settings.libraryName = PathUtilities::ExtensionRemoved(name);
            break;
        }
    }
    if (deck.bad())
        throw KelvResult(E_UNEXPECTED, "The input deck could not be read to its end.");

    if (settings.region && (settings.scell || settings.svector))
        settings.task = 5;
    return settings;
}

LibraryNote ReadLibraryNote(std::istream& note, const std::string& path)
{
    LibraryNote result;
    std::string marker;
    const bool hasName = ReadNoteLine(note, result.name);
    const bool hasMarker = hasName && ReadNoteLine(note, marker);
    if (hasMarker && marker == "StandardLibrary") {
        result.standard = true;
        return result;
    }
    if (!hasMarker || !ReadNoteLine(note, result.relativePath) || result.relativePath.empty())
        throw KelvResult(E_UNEXPECTED,
                         "The library note '" + path + "' is incomplete: it does not name the library file.");
    return result;
}

std::string StandardLibraryNoteText(const std::string& libraryName)
{
    return libraryName + "\n" + "StandardLibrary" + "\n";
}

} // namespace ZelmDeck
