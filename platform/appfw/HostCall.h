// Small helpers shared by the framework utilities: the host-call convention
// and the checks made on what a host call hands back.
#pragma once

#include <string>

#include "com/com.h"
#include "kelv/kelv.h"

namespace AppFrameworkDetail
{
// The host-call convention: a code other than S_OK is recorded as the last
// error and a failure is thrown with the host's own error text.
inline void Call(HRESULT hr)
{
    KelvResult::Check(hr);
}

// Throws KelvResult E_UNEXPECTED with the message when the host handed back
// no object although the call succeeded.
template <class T>
KelvComPtr<T> Required(KelvComPtr<T> object, const std::string& message)
{
    if (!object)
        throw KelvResult(E_UNEXPECTED, message);
    return object;
}

// Drops the error information a failed call left on this thread, for calls
// whose failure is an answer ("not found") rather than an error.
inline void DiscardErrorInfo() noexcept
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info)
        info->Release();
}
} // namespace AppFrameworkDetail
