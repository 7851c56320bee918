#include "host/model/XyzImport.h"

#include "com/regularfile.h"
#include "qorqm/MessageText.h"

#include <gemmi/elem.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>
#include <vector>

namespace HostModel {

namespace {

// The first `most` blank-separated fields of a line (views into it).
std::vector<std::string_view> Fields(const std::string& line, std::size_t most)
{
    std::vector<std::string_view> fields;
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::size_t at = 0;
    while (fields.size() < most) {
        while (at < line.size() && blank(line[at]))
            ++at;
        if (at == line.size())
            break;
        const std::size_t begin = at;
        while (at < line.size() && !blank(line[at]))
            ++at;
        fields.push_back(std::string_view(line).substr(begin, at - begin));
    }
    return fields;
}

// The first line holds the atom count alone: a few characters. At most this
// many are read before a first line without its end is refused, so that a
// file that is no XYZ file (a gigabyte of zeros) is not read into memory.
constexpr std::size_t CountLineLimit = 4096;

[[noreturn]] void Refuse(std::size_t line, const std::string& reason)
{
    throw FileError("Line " + std::to_string(line) + ": " + reason);
}

std::size_t AtomCount(const std::string& line)
{
    const std::vector<std::string_view> fields = Fields(line, 2);
    if (fields.empty())
        Refuse(1, "the atom count is missing.");
    const std::string_view text = fields.front();
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || fields.size() != 1)
        Refuse(1, "the first line must hold the atom count alone, as a whole number, not '" + MessageText::Excerpt(line) + "'.");
    if (count == 0)
        Refuse(1, "the file holds no atoms (the atom count is 0).");
    return count;
}

std::string ElementOf(std::string_view symbol, std::size_t line)
{
    auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    const bool letters = !symbol.empty() && symbol.size() <= 2 && std::all_of(symbol.begin(), symbol.end(), letter);
    const gemmi::Element element(letters ? std::string(symbol) : std::string());
    if (element == gemmi::El::X)
        Refuse(line, "'" + MessageText::Excerpt(std::string(symbol)) + "' is not an element symbol.");
    return element.name();
}

double Coordinate(std::string_view text, char axis, std::size_t line)
{
    double value = 0.0;
    const char* first = text.data();
    if (!text.empty() && text.front() == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        Refuse(line, std::string("the ") + axis + " coordinate must be a finite number, not '" +
                         MessageText::Excerpt(std::string(text)) + "'.");
    return value;
}

} // namespace

namespace {

// Reads the frames from `in`, one line at a time: what is held is the line
// being read and the documents, never the whole text.
XyzFrame ImportXyzFrames(std::istream& in, std::size_t wanted)
{
    if (wanted < 1)
        throw FileError("Frames are numbered from 1; there is no frame 0.");
    std::string line;
    std::size_t number = 0;
    auto next = [&] {
        if (!std::getline(in, line))
            return false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++number;
        return true;
    };
    // The comment line is passed over unread.
    auto skip = [&] {
        if (in.peek() == std::char_traits<char>::eof())
            return false;
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        ++number;
        return true;
    };
    // The first line, read at most CountLineLimit bytes far.
    line.clear();
    for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
        line.push_back(static_cast<char>(c));
        if (line.size() > CountLineLimit)
            Refuse(1, "the first line must hold the atom count alone, as a whole number, not '" +
                          MessageText::Excerpt(line) + "'.");
    }
    if (line.empty() && in.eof())
        throw FileError("The file is empty.");
    in.clear(in.rdstate() & ~std::ios::failbit);
    number = 1;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
        line.erase(0, 3); // a byte-order mark

    // Frame after frame, each an atom count, a comment and its atoms; blank
    // lines may stand between frames. Every frame is read, so that a damaged
    // one is refused whichever is taken.
    XyzFrame result;
    std::size_t frames = 0;
    bool haveLine = true;
    while (haveLine) {
        const std::size_t countLine = number;
        std::size_t count = 0;
        if (frames == 0) {
            count = AtomCount(line);
        } else {
            const std::vector<std::string_view> fields = Fields(line, 2);
            std::size_t announced = 0;
            const auto [end, error] =
                std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), announced);
            if (fields.size() != 1 || error != std::errc() || end != fields[0].data() + fields[0].size())
                Refuse(number, "the file holds more atom lines than the " + std::to_string(result.atomsOfFirst) +
                                   " its first line announces.");
            if (announced == 0)
                Refuse(number, "frame " + std::to_string(frames + 1) + " holds no atoms (the atom count is 0).");
            count = announced;
        }
        ++frames;
        if (!skip())
            Refuse(countLine + 1, "the comment line is missing: the file ends after its atom count.");

        auto document = std::make_shared<Document>();
        for (std::size_t i = 0; i < count; ++i) {
            if (!next()) {
                throw FileError((frames == 1 ? std::string("The file") : "Frame " + std::to_string(frames)) +
                                " ends after " + std::to_string(i) + " of its " + std::to_string(count) + " atoms.");
            }
            const std::vector<std::string_view> fields = Fields(line, 4);
            if (fields.size() < 4)
                Refuse(number, "an atom line needs an element symbol and three coordinates.");
            Atom atom;
            atom.element = ElementOf(fields[0], number);
            atom.position = {Coordinate(fields[1], 'x', number), Coordinate(fields[2], 'y', number),
                             Coordinate(fields[3], 'z', number)};
            atom.id = static_cast<std::int32_t>(i + 1);
            document->RestoreParent(atom);
        }
        if (frames == 1)
            result.atomsOfFirst = count;
        if (frames == wanted)
            result.document = document;
        // The next frame's count line, past blank lines.
        haveLine = false;
        while (next()) {
            if (!Fields(line, 1).empty()) {
                haveLine = true;
                break;
            }
        }
    }
    result.frames = frames;
    result.frame = wanted;
    if (!result.document)
        throw FileError("The file holds " + std::to_string(frames) + (frames == 1 ? " frame" : " frames") +
                        "; there is no frame " + std::to_string(wanted) + ".");
    return result;
}

} // namespace

XyzFrame ImportXyzFrameText(const std::string& text, std::size_t wanted)
{
    std::istringstream in(text);
    return ImportXyzFrames(in, wanted);
}

std::shared_ptr<Document> ImportXyzText(const std::string& text)
{
    return ImportXyzFrameText(text, 1).document;
}

XyzFrame ImportXyzFrame(const std::string& path, std::size_t frame)
{
    RegularFile::InputFile in(path, RegularFile::Bound::Document);
    if (!in.IsOpen()) {
        const std::string& why = in.Why();
        throw FileError("The file " + (why == RegularFile::NotThere ? std::string("cannot be opened") : why) + ".");
    }
    XyzFrame result = ImportXyzFrames(in, frame);
    if (in.bad())
        throw FileError("The file cannot be read to its end.");
    result.document->SetName(std::filesystem::path(path).stem().string());
    return result;
}

std::shared_ptr<Document> ImportXyz(const std::string& path)
{
    return ImportXyzFrame(path, 1).document;
}

} // namespace HostModel
