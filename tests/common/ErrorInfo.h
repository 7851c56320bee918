// The calling thread's error information, as host objects leave it behind
// when a call fails.
#pragma once

#include "com/com.h"

#include <string>

namespace QzTest {

// Publishes error information with the text, as a failing host call does.
inline void SetHostError(const std::string& text)
{
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || !create)
        return;
    std::u16string wide = WideFromNarrow(text);
    create->SetDescription(wide.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) && info) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

// Fails as a host does: publishes the text and returns the code.
inline HRESULT HostError(HRESULT hr, const std::string& text)
{
    SetHostError(text);
    return hr;
}

struct ErrorInfoText {
    bool present = false;
    std::string description;
    std::string source;
    GUID guid{};
};

// Takes (and so clears) the calling thread's error information.
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

// The description the last failing call left on this thread ("" when none).
inline std::string LastErrorText()
{
    return TakeErrorInfo().description;
}

} // namespace QzTest
