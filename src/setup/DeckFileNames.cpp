#include "setup/DeckFileNames.h"

#include "com/regularfile.h"
#include "kelv/KelvResult.h"
#include "qorqm/MessageText.h"

#include <sstream>
#include <vector>

namespace ZelmDeckFiles {

namespace {

// The longest keyword line looked at whole; a longer one naming a file is
// no plain name of any file system.
const std::size_t LongestLine = 64 * 1024;

std::vector<std::string> Tokens(const std::string& line)
{
    std::vector<std::string> tokens;
    std::istringstream in(line);
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.size() <= 255;
}

bool OpensTextBlock(const std::string& keyword)
{
    return keyword == "title" || keyword == "observables" || keyword == "observable";
}

// One line; `inBlock` carries a text block across lines.
Named FirstNotPlainIn(const std::string& line, bool& inBlock)
{
    const std::vector<std::string> t = Tokens(line);
    if (t.empty())
        return {};
    if (inBlock) {
        inBlock = t.front() != "end";
        return {};
    }
    if (OpensTextBlock(t.front())) {
        inBlock = true;
        return {};
    }
    const bool names = (t.front() == "output" && t.size() >= 3) || (t.front() == "dump" && t.size() >= 2) ||
                       (t.front() == "library" && t.size() >= 2);
    if (!names)
        return {};
    // Every word after the keyword: the engine takes the file from where
    // its kind of line puts it, and a comment is no shield.
    if (t.front() == "library" && t.size() > 2)
        return {t.front(), line.substr(line.find("library") + 8)};
    for (std::size_t i = 1; i < t.size(); ++i)
        if (!IsPlainName(t[i]))
            return {t.front(), t[i]};
    return {};
}

} // namespace

Named FirstNotPlain(const std::string& text)
{
    bool inBlock = false;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const Named named = FirstNotPlainIn(line, inBlock);
        if (!named.Plain())
            return named;
    }
    return {};
}

void RequirePlainFileNames(const std::string& deckPath)
{
    RegularFile::InputFile in(deckPath, RegularFile::Bound::Deck);
    if (!in.IsOpen())
        return;
    bool inBlock = false;
    std::string line;
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        line.clear();
        bool longer = false;
        int c;
        while ((c = buffer->sbumpc()) != std::char_traits<char>::eof() && c != '\n') {
            if (line.size() < LongestLine)
                line.push_back(static_cast<char>(c));
            else
                longer = true;
        }
        if (c == std::char_traits<char>::eof() && line.empty())
            break;
        Named named = FirstNotPlainIn(line, inBlock);
        if (named.Plain() && longer && !inBlock) {
            const std::vector<std::string> t = Tokens(line);
            if (!t.empty() && (t.front() == "output" || t.front() == "dump" || t.front() == "library"))
                named = {t.front(), t.back()};
        }
        if (!named.Plain())
            throw KelvResult(E_ACCESSDENIED,
                             "The deck \"" + MessageText::Excerpt(deckPath) + "\" cannot be started: its \"" +
                                 named.keyword + "\" line names the file \"" + MessageText::Excerpt(named.name) +
                                 "\", which is not a plain name in the deck's folder; the engine reads and writes "
                                 "a job's files in its own folder only.");
        if (c == std::char_traits<char>::eof())
            break;
    }
}

} // namespace ZelmDeckFiles
