#include "qorvira/ZelmParseUtilities.h"

#include <charconv>
#include <cmath>

namespace ZelmParseUtilities {

namespace {

void StripCarriageReturn(std::string& line)
{
    while (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
}

bool IsBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Cuts one line (no line break in it) to the engine's line length.
std::string ChopLine(const std::string& line)
{
    const std::size_t limit = ZelmLineLength();
    if (line.size() <= limit) {
        return line;
    }
    // A cut right before a blank keeps the whole word that ends at the limit.
    std::size_t cut = limit;
    if (!IsBlankOrTab(line[limit])) {
        std::size_t blank = line.find_last_of(" \t", limit - 1);
        if (blank != std::string::npos) {
            cut = blank;
        } else {
            // No blank to cut at: never inside a UTF-8 character (its
            // continuation bytes are 10xxxxxx).
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
                --cut;
            }
        }
    }
    std::string result = line.substr(0, cut);
    while (!result.empty() && IsBlankOrTab(result.back())) {
        result.pop_back();
    }
    return result;
}

bool HasWord(const std::string& line, const std::string& word)
{
    std::string lowerWord = word;
    MakeStringLowerCase(lowerWord);
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && IsBlankOrTab(line[pos])) {
            ++pos;
        }
        std::size_t end = pos;
        while (end < line.size() && !IsBlankOrTab(line[end])) {
            ++end;
        }
        if (end > pos) {
            std::string candidate = line.substr(pos, end - pos);
            StripCarriageReturn(candidate);
            if (MakeStringLowerCase(candidate) == lowerWord) {
                return true;
            }
        }
        pos = end;
    }
    return false;
}

}  // namespace

std::size_t ZelmLineLength()
{
    return 1023;
}

bool IsBlankLine(const std::string& line)
{
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

bool IsCommentLine(const std::string& line)
{
    std::size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && line[first] == '#';
}

bool GetNonEmptyLine(std::istream& stream, std::string& line)
{
    std::string candidate;
    while (std::getline(stream, candidate)) {
        StripCarriageReturn(candidate);
        if (!IsBlankLine(candidate)) {
            line = candidate;
            return true;
        }
    }
    line.clear();
    return false;
}

std::string GetLine(std::istream& stream)
{
    std::string line;
    if (!std::getline(stream, line)) {
        return std::string();
    }
    StripCarriageReturn(line);
    return line;
}

std::string GetLowerCaseLine(std::istream& stream)
{
    std::string line = GetLine(stream);
    return MakeStringLowerCase(line);
}

std::string& MakeStringLowerCase(std::string& text)
{
    for (char& c : text) {
        c = LowerAscii(c);
    }
    return text;
}

std::string ChopToZelmLength(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t newline = text.find('\n', start);
        std::size_t end = (newline == std::string::npos) ? text.size() : newline;
        std::size_t contentEnd = end;
        bool carriageReturn = contentEnd > start && text[contentEnd - 1] == '\r';
        if (carriageReturn) {
            --contentEnd;
        }
        result += ChopLine(text.substr(start, contentEnd - start));
        if (carriageReturn) {
            result += '\r';
        }
        if (newline == std::string::npos) {
            break;
        }
        result += '\n';
        start = newline + 1;
    }
    return result;
}

std::string_view CutWord(std::string_view line)
{
    // Plain loops: a search for one of two characters asks the C library
    // once a character, and a long line may be one word of megabytes.
    const std::size_t limit = ZelmLineLength();
    const std::size_t n = line.size();
    std::size_t start = limit;
    while (start < n && IsBlankOrTab(line[start])) {
        ++start;
    }
    if (n <= limit || start == n) {
        return std::string_view();
    }
    if (start == limit) {
        // A word stands across the limit: from the blank before it.
        while (start > 0 && !IsBlankOrTab(line[start - 1])) {
            --start;
        }
    }
    std::size_t end = start;
    while (end < n && !IsBlankOrTab(line[end])) {
        ++end;
    }
    return line.substr(start, end - start);
}

bool ReadDecimal(const std::string& word, double& value)
{
    const std::size_t n = word.size();
    std::size_t i = 0;
    if (i < n && (word[i] == '+' || word[i] == '-')) {
        ++i;
    }
    const std::size_t mantissa = i;
    std::size_t digits = 0;
    while (i < n && word[i] >= '0' && word[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < n && word[i] == '.') {
        ++i;
        while (i < n && word[i] >= '0' && word[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < n && (word[i] == 'e' || word[i] == 'E')) {
        ++i;
        if (i < n && (word[i] == '+' || word[i] == '-')) {
            ++i;
        }
        const std::size_t exponent = i;
        while (i < n && word[i] >= '0' && word[i] <= '9') {
            ++i;
        }
        if (i == exponent) {
            return false;
        }
    }
    if (i != n) {
        return false;
    }
    double read = 0.0;
    const std::from_chars_result result =
        std::from_chars(word.data() + mantissa, word.data() + n, read, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != word.data() + n || !std::isfinite(read)) {
        return false;
    }
    value = word[0] == '-' ? -read : read;
    return true;
}

std::string& AsLibraryLine(std::string& line)
{
    StripCarriageReturn(line);
    if (line.size() > ZelmLineLength()) {
        line = ChopLine(line);
    }
    return line;
}

bool FindNonCommentLineContainingToken(std::istream& stream, const std::string& token,
                                       std::string& line, std::list<std::string>& passedOver)
{
    std::string candidate;
    while (std::getline(stream, candidate)) {
        StripCarriageReturn(candidate);
        if (!IsCommentLine(candidate) && HasWord(candidate, token)) {
            line = candidate;
            return true;
        }
        passedOver.push_back(candidate);
    }
    return false;
}

}  // namespace ZelmParseUtilities
