// Small hand-made COM objects for the framework tests. They count their
// references and never delete themselves: the test owns them and checks that
// every reference taken was given back.
#pragma once

#include <string>

#include "com/com.h"
#include "hostapi/hostapi.h"

template <class I>
class FakeBase : public I
{
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == uuidof<I>() || Answers(iid)) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }

    ULONG references = 1;

protected:
    virtual bool Answers(REFIID) { return false; }
};

template <class I>
class FakeDispatchBase : public FakeBase<I>
{
public:
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

protected:
    bool Answers(REFIID iid) override { return iid == IID_IDispatch; }
};

// Publishes error information with the given text, as a failing host call does.
inline void SetHostError(const std::string& text)
{
    ICreateErrorInfo* create = nullptr;
    CreateErrorInfo(&create);
    std::u16string wide = WideFromNarrow(text);
    create->SetDescription(wide.data());
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    info->Release();
    create->Release();
}

struct ErrorInfoText
{
    bool present = false;
    std::string description;
    std::string source;
    GUID guid{};
};

// Takes the calling thread's error information.
inline ErrorInfoText TakeErrorInfo()
{
    ErrorInfoText result;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return result;
    result.present = true;
    BSTR text = nullptr;
    info->GetDescription(&text);
    result.description = NarrowFromBSTR(text);
    SysFreeString(text);
    text = nullptr;
    info->GetSource(&text);
    result.source = NarrowFromBSTR(text);
    SysFreeString(text);
    info->GetGUID(&result.guid);
    info->Release();
    return result;
}

class FakeUnknown : public FakeBase<IUnknown>
{
};
