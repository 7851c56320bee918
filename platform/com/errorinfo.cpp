#include "com/errorinfo.h"

#include <atomic>
#include <new>
#include <string>

#include "com/bstr.h"

namespace
{
std::u16string CopyWide(const OLECHAR* text)
{
    return text ? std::u16string(text) : std::u16string();
}

HRESULT HandOut(const std::u16string& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The error object: filled through ICreateErrorInfo, read through
// IErrorInfo.
class ErrorObject final : public IErrorInfo, public ICreateErrorInfo
{
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else
        {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }

    HRESULT GetGUID(GUID* pGUID) override
    {
        if (!pGUID)
            return E_POINTER;
        *pGUID = m_guid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* p) override { return HandOut(m_source, p); }
    HRESULT GetDescription(BSTR* p) override { return HandOut(m_description, p); }
    HRESULT GetHelpFile(BSTR* p) override { return HandOut(m_helpFile, p); }
    HRESULT GetHelpContext(DWORD* p) override
    {
        if (!p)
            return E_POINTER;
        *p = m_helpContext;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID rguid) override
    {
        m_guid = rguid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR s) override
    {
        m_source = CopyWide(s);
        return S_OK;
    }
    HRESULT SetDescription(LPOLESTR s) override
    {
        m_description = CopyWide(s);
        return S_OK;
    }
    HRESULT SetHelpFile(LPOLESTR s) override
    {
        m_helpFile = CopyWide(s);
        return S_OK;
    }
    HRESULT SetHelpContext(DWORD c) override
    {
        m_helpContext = c;
        return S_OK;
    }

private:
    std::atomic<ULONG> m_refs{1};
    GUID m_guid{};
    std::u16string m_source;
    std::u16string m_description;
    std::u16string m_helpFile;
    DWORD m_helpContext = 0;
};

// The calling thread's error object; released when the thread ends.
struct ThreadSlot
{
    IErrorInfo* info = nullptr;
    ~ThreadSlot()
    {
        if (info)
            info->Release();
    }
};
thread_local ThreadSlot t_slot;

std::string ReadText(IErrorInfo* info, HRESULT (IErrorInfo::*getter)(BSTR*))
{
    if (!info)
        return std::string();
    BSTR text = nullptr;
    if (FAILED((info->*getter)(&text)))
        return std::string();
    std::string out = NarrowFromBSTR(text);
    SysFreeString(text);
    return out;
}
} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo)
{
    if (!pperrinfo)
        return E_INVALIDARG;
    auto* object = new (std::nothrow) ErrorObject();
    *pperrinfo = object;
    return object ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo)
{
    if (dwReserved != 0)
        return E_INVALIDARG;
    if (perrinfo)
        perrinfo->AddRef();
    IErrorInfo* old = t_slot.info;
    t_slot.info = perrinfo;
    if (old)
        old->Release();
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo)
{
    if (!pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = nullptr;
    if (dwReserved != 0)
        return E_INVALIDARG;
    *pperrinfo = t_slot.info;
    t_slot.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

_com_error::_com_error(HRESULT hr, IErrorInfo* errorInfo, bool addRef)
    : m_hr(hr), m_errorInfo(errorInfo)
{
    if (m_errorInfo && addRef)
        m_errorInfo->AddRef();
}

_com_error::_com_error(const _com_error& other) : m_hr(other.m_hr), m_errorInfo(other.m_errorInfo)
{
    if (m_errorInfo)
        m_errorInfo->AddRef();
}

_com_error& _com_error::operator=(const _com_error& other)
{
    if (this != &other)
    {
        if (other.m_errorInfo)
            other.m_errorInfo->AddRef();
        if (m_errorInfo)
            m_errorInfo->Release();
        m_hr = other.m_hr;
        m_errorInfo = other.m_errorInfo;
    }
    return *this;
}

_com_error::~_com_error()
{
    if (m_errorInfo)
        m_errorInfo->Release();
}

IErrorInfo* _com_error::ErrorInfo() const
{
    if (m_errorInfo)
        m_errorInfo->AddRef();
    return m_errorInfo;
}

std::string _com_error::Description() const { return ReadText(m_errorInfo, &IErrorInfo::GetDescription); }

std::string _com_error::Source() const { return ReadText(m_errorInfo, &IErrorInfo::GetSource); }

std::string _com_error::ErrorMessage() const { return HResultDescription(m_hr); }
