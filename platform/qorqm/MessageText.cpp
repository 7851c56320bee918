#include "qorqm/MessageText.h"

namespace MessageText {

namespace {

// The length of the well-formed UTF-8 character that starts at `i` (1 to 4),
// or 0 when the byte there does not start one: a stray continuation byte,
// an overlong form, a surrogate, a code point beyond U+10FFFF, or a
// sequence cut short by the end of `text`. `truncated` is set when the
// bytes there are a well-formed start that the end of `text` cuts short.
std::size_t CharacterLength(const std::string& text, std::size_t i, bool& truncated)
{
    truncated = false;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;  // below: overlong
        else if (c == 0xED)
            high = 0x9F;  // above: surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;  // below: overlong
        else if (c == 0xF4)
            high = 0x8F;  // above: beyond U+10FFFF
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= text.size()) {
            truncated = true;
            return 0;
        }
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

void AppendEscaped(std::string& out, unsigned char c)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0x0f];
}

}  // namespace

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
        const unsigned char c = static_cast<unsigned char>(text[i]);
        bool truncated = false;
        const std::size_t length = CharacterLength(text, i, truncated);
        // A character that the end of a text's head cuts in two belongs to
        // the part left out.
        if (truncated && head)
            break;
        std::size_t taken = 1;  // bytes of `text` this step shows
        std::size_t written;    // bytes of message it writes
        const bool escape = length == 0 || c < 0x20 || c == 0x7f ||
                            (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
        if (escape) {
            // A control character (C0, DEL, C1) or a byte that is no part of
            // a well-formed character: each byte as "\xNN".
            taken = length == 0 ? 1 : length;
            written = 4 * taken;
        } else if (c == '\\') {
            written = 2;
        } else {
            taken = length;
            written = length;
        }
        if (result.size() + written > limit)
            break;
        if (escape) {
            for (std::size_t k = 0; k < taken; ++k)
                AppendEscaped(result, static_cast<unsigned char>(text[i + k]));
        } else if (c == '\\') {
            result += "\\\\";
        } else {
            result.append(text, i, taken);
        }
        i += taken;
    }
    if (i < wholeLength)
        result += "... (" + std::to_string(wholeLength - i) + " more characters)";
    return result;
}

}  // namespace MessageText
