#include "com/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace
{
constexpr size_t kPrefix = sizeof(uint32_t);

// Largest length whose byte count still fits the 32-bit prefix.
constexpr UINT kMaxLength = (std::numeric_limits<uint32_t>::max() - 2u) / 2u;

unsigned char* Base(BSTR bstr) { return reinterpret_cast<unsigned char*>(bstr) - kPrefix; }

size_t WideLength(const OLECHAR* psz)
{
    size_t n = 0;
    while (psz[n] != 0)
        ++n;
    return n;
}
} // namespace

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT len)
{
    if (len > kMaxLength)
        return nullptr;
    const uint32_t bytes = len * 2u;
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    std::memcpy(block, &bytes, kPrefix);
    auto* text = reinterpret_cast<OLECHAR*>(block + kPrefix);
    if (strIn)
        std::memcpy(text, strIn, bytes);
    else
        std::memset(text, 0, bytes);
    text[len] = 0;
    return text;
}

BSTR SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    size_t len = WideLength(psz);
    if (len > kMaxLength)
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(len));
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz)
{
    if (!pbstr)
        return FALSE;
    BSTR copy = nullptr;
    if (psz)
    {
        copy = SysAllocString(psz);
        if (!copy)
            return FALSE;
    }
    // The source may live inside the old string: free only after copying.
    SysFreeString(*pbstr);
    *pbstr = copy;
    return TRUE;
}

void SysFreeString(BSTR bstr)
{
    if (bstr)
        std::free(Base(bstr));
}

UINT SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    uint32_t bytes = 0;
    std::memcpy(&bytes, Base(bstr), kPrefix);
    return bytes;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / 2u; }

BSTR SysAllocStringFromNarrow(const std::string& text)
{
    if (text.size() > kMaxLength)
        return nullptr;
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (!out)
        return nullptr;
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<OLECHAR>(static_cast<unsigned char>(text[i]));
    return out;
}

std::string NarrowFromBSTR(const OLECHAR* bstr)
{
    if (!bstr)
        return std::string();
    const UINT len = SysStringLen(const_cast<BSTR>(bstr));
    std::string out(len, '\0');
    for (UINT i = 0; i < len; ++i)
        out[i] = bstr[i] <= 0xFF ? static_cast<char>(static_cast<unsigned char>(bstr[i])) : '?';
    return out;
}

std::u16string WideFromNarrow(const std::string& text)
{
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    return out;
}

std::string NarrowFromWide(const std::u16string& text)
{
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = text[i] <= 0xFF ? static_cast<char>(static_cast<unsigned char>(text[i])) : '?';
    return out;
}
