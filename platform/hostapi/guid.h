// Compile-time interface identifiers written in their registry text form.
#pragma once

#include "com/com.h"

#include <cstddef>

namespace HostApi {
namespace detail {

constexpr int HexDigit(char c)
{
    return (c >= '0' && c <= '9')   ? c - '0'
           : (c >= 'a' && c <= 'f') ? c - 'a' + 10
           : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                    : -1;
}

// Reads `count` hex digits starting at `pos`; a bad digit is a compile error
// when used in a constant expression (the throw is not a constant).
constexpr unsigned long long HexField(const char* text, std::size_t pos, std::size_t count)
{
    unsigned long long value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = HexDigit(text[pos + i]);
        if (digit < 0)
            throw "malformed identifier text";
        value = value * 16 + static_cast<unsigned long long>(digit);
    }
    return value;
}

} // namespace detail

// "8-4-4-4-12" identifier text, without braces, any case.
constexpr GUID MakeGuid(const char (&text)[37])
{
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        throw "malformed identifier text";
    GUID guid{};
    guid.Data1 = static_cast<uint32_t>(detail::HexField(text, 0, 8));
    guid.Data2 = static_cast<uint16_t>(detail::HexField(text, 9, 4));
    guid.Data3 = static_cast<uint16_t>(detail::HexField(text, 14, 4));
    guid.Data4[0] = static_cast<uint8_t>(detail::HexField(text, 19, 2));
    guid.Data4[1] = static_cast<uint8_t>(detail::HexField(text, 21, 2));
    for (std::size_t i = 0; i < 6; ++i)
        guid.Data4[2 + i] = static_cast<uint8_t>(detail::HexField(text, 24 + 2 * i, 2));
    return guid;
}

} // namespace HostApi
