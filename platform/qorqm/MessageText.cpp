#include "qorqm/MessageText.h"

namespace MessageText {

std::string Excerpt(const std::string& text, std::size_t limit)
{
    return Excerpt(text, limit, text.size());
}

std::string Excerpt(const std::string& text, std::size_t limit, std::size_t wholeLength)
{
    if (wholeLength < text.size())
        wholeLength = text.size();
    std::size_t cut = text.size() > limit ? limit : text.size();
    // Back up to the start of a UTF-8 character cut in two.
    if (cut < text.size()) {
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
    }
    static const char digits[] = "0123456789abcdef";
    std::string result;
    result.reserve(cut + 32);
    for (std::size_t i = 0; i < cut; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            result += "\\x";
            result += digits[c >> 4];
            result += digits[c & 0x0f];
        } else if (c == '\\') {
            result += "\\\\";
        } else {
            result += static_cast<char>(c);
        }
    }
    if (cut < wholeLength)
        result += "... (" + std::to_string(wholeLength - cut) + " more characters)";
    return result;
}

}  // namespace MessageText
