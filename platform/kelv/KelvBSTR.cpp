#include "kelv/KelvBSTR.h"
#include "kelv/KelvInternal.h"

#include <atomic>
#include <new>
#include <utility>

struct KelvBSTR::Data
{
    std::atomic<long> references{1};
    BSTR text = nullptr;
    ~Data() { SysFreeString(text); }
};

namespace
{
BSTR Allocate(const OLECHAR* text, UINT length)
{
    BSTR result = SysAllocStringLen(text, length);
    if (!result)
        KelvInternal::ThrowBadAllocation();
    return result;
}
} // namespace

KelvBSTR::Data* KelvBSTR::Adopt(BSTR bstr)
{
    if (!bstr)
        return nullptr;
    Data* data = new (std::nothrow) Data;
    if (!data) {
        SysFreeString(bstr);
        KelvInternal::ThrowBadAllocation();
    }
    data->text = bstr;
    return data;
}

KelvBSTR::KelvBSTR(const std::string& text)
{
    if (text.empty())
        return;
    BSTR bstr = SysAllocStringFromNarrow(text);
    if (!bstr)
        KelvInternal::ThrowBadAllocation();
    m_data = Adopt(bstr);
}

KelvBSTR::KelvBSTR(const char* text) : KelvBSTR(text ? std::string(text) : std::string()) {}

KelvBSTR::KelvBSTR(const OLECHAR* text)
{
    if (!text || !*text)
        return;
    UINT length = 0;
    while (text[length] != 0)
        ++length;
    m_data = Adopt(Allocate(text, length));
}

KelvBSTR::KelvBSTR(const std::u16string& text)
{
    if (text.empty())
        return;
    m_data = Adopt(Allocate(text.data(), static_cast<UINT>(text.size())));
}

KelvBSTR::KelvBSTR(const KelvBSTR& other) noexcept : m_data(other.m_data)
{
    if (m_data)
        m_data->references.fetch_add(1, std::memory_order_relaxed);
}

KelvBSTR::KelvBSTR(KelvBSTR&& other) noexcept : m_data(std::exchange(other.m_data, nullptr)) {}

KelvBSTR& KelvBSTR::operator=(const KelvBSTR& other) noexcept
{
    if (m_data != other.m_data) {
        KelvBSTR copy(other);
        std::swap(m_data, copy.m_data);
    }
    return *this;
}

KelvBSTR& KelvBSTR::operator=(KelvBSTR&& other) noexcept
{
    if (this != &other) {
        Drop();
        m_data = std::exchange(other.m_data, nullptr);
    }
    return *this;
}

KelvBSTR::~KelvBSTR()
{
    Drop();
}

void KelvBSTR::Drop() noexcept
{
    Data* data = std::exchange(m_data, nullptr);
    if (data && data->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete data;
}

KelvBSTR KelvBSTR::Attach(BSTR bstr)
{
    return KelvBSTR(Adopt(bstr));
}

BSTR KelvBSTR::Detach() const
{
    const BSTR text = Get();
    return Allocate(text, SysStringLen(text));
}

BSTR KelvBSTR::Get() const noexcept
{
    return m_data ? m_data->text : nullptr;
}

std::string KelvBSTR::ToTString() const
{
    return NarrowFromBSTR(Get());
}

std::u16string KelvBSTR::ToWString() const
{
    const BSTR text = Get();
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

UINT KelvBSTR::Length() const noexcept
{
    return SysStringLen(Get());
}

BSTR* KelvBSTR::Receive()
{
    Drop();
    m_data = new (std::nothrow) Data;
    if (!m_data)
        KelvInternal::ThrowBadAllocation();
    return &m_data->text;
}

bool KelvBSTR::operator==(const KelvBSTR& other) const noexcept
{
    const BSTR a = Get();
    const BSTR b = other.Get();
    const UINT length = SysStringLen(a);
    if (length != SysStringLen(b))
        return false;
    for (UINT i = 0; i < length; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}
