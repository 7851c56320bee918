#include "com/guid.h"

#include <cstdio>

namespace
{
int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on any non-hex character.
bool ReadHex(const std::string& text, size_t pos, int digits, uint64_t& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i)
    {
        int v = HexValue(text[pos + static_cast<size_t>(i)]);
        if (v < 0)
            return false;
        value = (value << 4) | static_cast<uint64_t>(v);
    }
    return true;
}
} // namespace

bool GuidFromString(const std::string& input, GUID& out)
{
    std::string text = input;
    if (text.size() == 38)
    {
        if (text.front() != '{' || text.back() != '}')
            return false;
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return false;

    GUID g{};
    uint64_t v = 0;
    if (!ReadHex(text, 0, 8, v)) return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!ReadHex(text, 9, 4, v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 14, 4, v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    const size_t bytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i)
    {
        if (!ReadHex(text, bytePos[i], 2, v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    out = g;
    return true;
}

std::string GuidToString(const GUID& g)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2),
                  static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}
