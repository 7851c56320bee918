#include "com/messagetext.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace MessageText {

namespace {

// The code points of two bytes and more that are not printable: the C1
// controls, the format characters and the two separators, as ranges in
// ascending order.
struct Range {
    unsigned long first;
    unsigned long last;
};
constexpr Range NotPrintable[] = {
    {0x0080, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},
    {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},
    {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
    {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

bool IsPrintable(unsigned long code)
{
    const Range* end = std::end(NotPrintable);
    const Range* range =
        std::lower_bound(std::begin(NotPrintable), end, code, [](const Range& r, unsigned long c) { return r.last < c; });
    return range == end || code < range->first;
}

void AppendEscaped(std::string& out, unsigned char c)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0x0f];
}

}  // namespace

Character CharacterAt(const char* text, std::size_t size, std::size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
        return {1, c >= 0x20 && c != 0x7f, false};
    const Character malformed{1, false, false};
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    unsigned long code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        if (c == 0xE0)
            low = 0xA0;  // below: overlong
        else if (c == 0xED)
            high = 0x9F;  // above: surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        if (c == 0xF0)
            low = 0x90;  // below: overlong
        else if (c == 0xF4)
            high = 0x8F;  // above: beyond U+10FFFF
    } else {
        return malformed;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= size)
            return {1, false, true};
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80)
            return malformed;
        code = (code << 6) | (next & 0x3F);
    }
    return {length, IsPrintable(code), false};
}

std::size_t AppendPrintable(std::string& out, const char* text, std::size_t size, bool whole)
{
    std::size_t i = 0;
    while (i < size) {
        // Plain text goes in runs.
        std::size_t run = i;
        while (run < size) {
            const unsigned char c = static_cast<unsigned char>(text[run]);
            if ((c < 0x20 && c != '\n' && c != '\t') || c >= 0x7f)
                break;
            ++run;
        }
        out.append(text + i, run - i);
        i = run;
        if (i == size)
            break;
        const Character character = CharacterAt(text, size, i);
        if (character.cut && !whole)
            break;
        if (character.printable)
            out.append(text + i, character.length);
        else
            for (std::size_t k = 0; k < character.length; ++k)
                AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
        i += character.length;
    }
    return i;
}

std::string Excerpt(const std::string& text, std::size_t limit)
{
    return Excerpt(text, limit, text.size());
}

std::string Excerpt(const std::string& text, std::size_t limit, std::size_t wholeLength)
{
    if (wholeLength < text.size())
        wholeLength = text.size();
    const bool head = wholeLength > text.size();
    std::string result;
    result.reserve((text.size() < limit ? text.size() : limit) + 40);
    std::size_t i = 0;
    while (i < text.size()) {
        const Character character = CharacterAt(text.data(), text.size(), i);
        // A character that the end of a text's head cuts in two belongs to
        // the part left out.
        if (character.cut && head)
            break;
        const bool backslash = text[i] == '\\';
        // What this step writes: a printable character as it stands, a
        // backslash doubled, any other byte by byte as "\xNN".
        const std::size_t written = backslash ? 2 : character.printable ? character.length : 4 * character.length;
        if (result.size() + written > limit)
            break;
        if (backslash) {
            result += "\\\\";
        } else if (character.printable) {
            result.append(text, i, character.length);
        } else {
            for (std::size_t k = 0; k < character.length; ++k)
                AppendEscaped(result, static_cast<unsigned char>(text[i + k]));
        }
        i += character.length;
    }
    if (i < wholeLength)
        result += "... (" + std::to_string(wholeLength - i) + " more characters)";
    return result;
}

std::string ShellQuoted(const std::string& word)
{
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            return true;
        return c != '\0' && std::strchr("_-./+,:@%=", c) != nullptr;
    });
    if (plain)
        return word;
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

}  // namespace MessageText
