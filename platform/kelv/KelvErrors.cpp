#include "kelv/KelvErrors.h"
#include "kelv/KelvInternal.h"

#include <string>

#include "kelv/KelvBSTR.h"

namespace
{
// Publishes error information on the calling thread; failures to do so are
// swallowed (the HRESULT still reaches the caller).
void PublishErrorInfo(const std::string& description, REFCLSID clsid, REFIID iid) noexcept
{
    try {
        ICreateErrorInfo* create = nullptr;
        if (FAILED(CreateErrorInfo(&create)) || !create)
            return;
        std::u16string text = WideFromNarrow(description);
        std::u16string source = IsEqualGUID(clsid, GUID_NULL) ? std::u16string()
                                                               : WideFromNarrow(GuidToString(clsid));
        create->SetDescription(text.data());
        create->SetSource(source.data());
        create->SetGUID(iid);
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) && info) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    } catch (...) {
        // No memory for the texts: the caller still gets the HRESULT.
    }
}

// A thrown object always reports a failure.
HRESULT FailureCode(HRESULT hr) noexcept
{
    return FAILED(hr) ? hr : E_FAIL;
}

HRESULT Report(HRESULT hr, const std::string& text, REFCLSID clsid, REFIID iid) noexcept
{
    const HRESULT code = FailureCode(hr);
    try {
        PublishErrorInfo(text.empty() ? std::string(HResultDescription(code)) : text, clsid, iid);
    } catch (...) {
    }
    return code;
}
} // namespace

namespace Kelv
{
HRESULT CaughtCOMError(const _com_error& error, REFCLSID clsid, REFIID iid) noexcept
{
    try {
        std::string text = error.Description();
        if (text.empty())
            text = error.ErrorMessage();
        return Report(error.Error(), text, clsid, iid);
    } catch (...) {
        return FailureCode(error.Error());
    }
}

HRESULT CaughtKelvResult(const KelvResult& error, REFCLSID clsid, REFIID iid) noexcept
{
    return Report(error.GetHRESULT(), error.GetMessage(), clsid, iid);
}

HRESULT CaughtHRESULT(HRESULT hr, REFCLSID clsid, REFIID iid) noexcept
{
    return Report(hr, std::string(), clsid, iid);
}

HRESULT CaughtStdBadAlloc(const std::bad_alloc& error, REFCLSID clsid, REFIID iid) noexcept
{
    try {
        return Report(E_OUTOFMEMORY, error.what(), clsid, iid);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CaughtStdException(const std::exception& error, REFCLSID clsid, REFIID iid) noexcept
{
    try {
        return Report(E_FAIL, error.what(), clsid, iid);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CaughtAnything(REFCLSID clsid, REFIID iid) noexcept
{
    try {
        return Report(E_UNEXPECTED, "An unexpected exception occurred.", clsid, iid);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

BSTR bstrdup(const std::string& text)
{
    BSTR result = SysAllocStringFromNarrow(text);
    if (!result)
        KelvInternal::ThrowBadAllocation();
    return result;
}

BSTR bstrdup(const OLECHAR* text)
{
    UINT length = 0;
    if (text)
        while (text[length] != 0)
            ++length;
    BSTR result = SysAllocStringLen(text, length);
    if (!result)
        KelvInternal::ThrowBadAllocation();
    return result;
}

std::string BSTRToTString(const OLECHAR* bstr)
{
    return NarrowFromBSTR(bstr);
}

void CheckNullDereference(const void* p)
{
    if (!p)
        throw KelvResult(E_POINTER, "Attempt to use a null interface pointer.");
}

KelvResult QueryInterfaceFailure(HRESULT hr, REFIID iid)
{
    const HRESULT code = FAILED(hr) ? hr : E_NOINTERFACE;
    std::string text = "The object does not support the interface ";
    text += GuidToString(iid);
    text += " (";
    text += HResultDescription(code);
    text += ").";
    return KelvResult(code, text);
}

namespace
{
KelvResult CreationFailure(HRESULT hr, const std::string& className)
{
    std::string text;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR description = nullptr;
        if (SUCCEEDED(info->GetDescription(&description)))
            text = NarrowFromBSTR(description);
        SysFreeString(description);
        info->Release();
    }
    if (text.empty())
        text = "Unable to create an object of class '" + className + "': " + HResultDescription(hr);
    return KelvResult(hr, text);
}

KelvResult Finish(const KelvResult& result, bool throwOnFailure)
{
    if (throwOnFailure)
        result.Check();
    return result;
}
} // namespace

KelvResult KelvCreateImpl(const std::string& progIdOrClsidText, IUnknown* outer, DWORD context,
                          REFIID iid, void** out, bool throwOnFailure)
{
    if (!out)
        return Finish(KelvResult(E_POINTER, "No pointer supplied for output argument."), throwOnFailure);
    *out = nullptr;
    SetErrorInfo(0, nullptr); // what is pending now belongs to an earlier call
    CLSID clsid{};
    HRESULT hr = S_OK;
    if (progIdOrClsidText.empty() || progIdOrClsidText.front() != '{' || !GuidFromString(progIdOrClsidText, clsid)) {
        const std::u16string name = WideFromNarrow(progIdOrClsidText);
        hr = CLSIDFromProgID(name.c_str(), &clsid);
        if (FAILED(hr))
            return Finish(CreationFailure(hr, progIdOrClsidText), throwOnFailure);
    }
    hr = CoCreateInstance(clsid, outer, context, iid, out);
    if (FAILED(hr) || !*out) {
        *out = nullptr;
        return Finish(CreationFailure(FAILED(hr) ? hr : E_NOINTERFACE, progIdOrClsidText), throwOnFailure);
    }
    return KelvResult(hr);
}

KelvResult KelvCreateImpl(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out,
                          bool throwOnFailure)
{
    if (!out)
        return Finish(KelvResult(E_POINTER, "No pointer supplied for output argument."), throwOnFailure);
    *out = nullptr;
    SetErrorInfo(0, nullptr);
    const HRESULT hr = CoCreateInstance(clsid, outer, context, iid, out);
    if (FAILED(hr) || !*out) {
        *out = nullptr;
        return Finish(CreationFailure(FAILED(hr) ? hr : E_NOINTERFACE, GuidToString(clsid)), throwOnFailure);
    }
    return KelvResult(hr);
}
} // namespace Kelv
