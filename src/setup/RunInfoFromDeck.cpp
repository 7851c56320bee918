#include "setup/RunInfoFromDeck.h"

#include "kelv/kelv.h"
#include "qorqm/ParseUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmParseUtilities.h"

#include <vector>

namespace ZelmDeck {

namespace {

std::vector<std::string> LowerCaseWords(std::istream& stream)
{
    std::vector<std::string> words;
    ParseUtilities::Tokenize(ZelmParseUtilities::GetLowerCaseLine(stream), words, " ");
    return words;
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

DeckSettings ReadDeckSettings(std::istream& deck)
{
    DeckSettings settings;
    static const struct {
        const char* word;
        long task;
    } taskWords[] = {{"md", 3}, {"opti", 2}, {"grad", 1}, {"fit", 4}};
    bool found = false;
    for (const std::string& word : LowerCaseWords(deck)) {
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
