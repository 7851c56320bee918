#include "host/model/XyzImport.h"

#include <gemmi/elem.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace HostModel {

namespace {

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; in >> field;)
        fields.push_back(field);
    return fields;
}

[[noreturn]] void Refuse(std::size_t line, const std::string& reason)
{
    throw FileError("Line " + std::to_string(line) + ": " + reason);
}

std::size_t AtomCount(const std::string& line)
{
    const std::vector<std::string> fields = Fields(line);
    if (fields.empty())
        Refuse(1, "the atom count is missing.");
    const std::string& text = fields.front();
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || fields.size() != 1)
        Refuse(1, "the first line must hold the atom count alone, as a whole number, not '" + line + "'.");
    if (count == 0)
        Refuse(1, "the file holds no atoms (the atom count is 0).");
    return count;
}

std::string ElementOf(const std::string& symbol, std::size_t line)
{
    auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    const bool letters = !symbol.empty() && symbol.size() <= 2 && std::all_of(symbol.begin(), symbol.end(), letter);
    const gemmi::Element element(letters ? symbol : std::string());
    if (element == gemmi::El::X)
        Refuse(line, "'" + symbol + "' is not an element symbol.");
    return element.name();
}

double Coordinate(const std::string& text, char axis, std::size_t line)
{
    double value = 0.0;
    const char* first = text.data();
    if (!text.empty() && text.front() == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        Refuse(line, std::string("the ") + axis + " coordinate must be a finite number, not '" + text + "'.");
    return value;
}

} // namespace

std::shared_ptr<Document> ImportXyzText(const std::string& text)
{
    std::istringstream in(text);
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
    if (!next())
        throw FileError("The file is empty.");
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
        line.erase(0, 3); // a byte-order mark
    const std::size_t count = AtomCount(line);
    if (!next())
        Refuse(2, "the comment line is missing: the file ends after its atom count.");

    auto document = std::make_shared<Document>();
    for (std::size_t i = 0; i < count; ++i) {
        if (!next())
            throw FileError("The file ends after " + std::to_string(i) + " of its " + std::to_string(count) +
                            " atoms.");
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() < 4)
            Refuse(number, "an atom line needs an element symbol and three coordinates.");
        Atom atom;
        atom.element = ElementOf(fields[0], number);
        atom.position = {Coordinate(fields[1], 'x', number), Coordinate(fields[2], 'y', number),
                         Coordinate(fields[3], 'z', number)};
        atom.id = static_cast<std::int32_t>(i + 1);
        document->RestoreParent(atom);
    }
    while (next())
        if (!Fields(line).empty())
            Refuse(number, "the file holds more atom lines than the " + std::to_string(count) +
                               " its first line announces.");
    return document;
}

std::shared_ptr<Document> ImportXyz(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw FileError("The file cannot be opened.");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw FileError("The file cannot be read.");
    std::shared_ptr<Document> document = ImportXyzText(text.str());
    document->SetName(std::filesystem::path(path).stem().string());
    return document;
}

} // namespace HostModel
