#include "kelv/KelvResult.h"

#include <utility>

#include "com/com.h"

namespace
{
struct LastErrorSlot
{
    bool recorded = false;
    KelvResult error;
};

LastErrorSlot& ThreadSlot()
{
    thread_local LastErrorSlot slot;
    return slot;
}

// Takes the calling thread's pending error information and returns its
// description ("" when there is none).
std::string TakePendingErrorText()
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return std::string();
    BSTR description = nullptr;
    std::string text;
    if (SUCCEEDED(info->GetDescription(&description)))
        text = NarrowFromBSTR(description);
    SysFreeString(description);
    info->Release();
    return text;
}
} // namespace

KelvResult::KelvResult(HRESULT hr) : m_hr(hr), m_descriptionAction(0) {}

KelvResult::KelvResult(HRESULT hr, const std::string& message, int descriptionAction)
    : m_hr(hr), m_message(message), m_descriptionAction(descriptionAction)
{
}

void KelvResult::Check() const
{
    if (Failed())
        throw *this;
}

void KelvResult::SetLastError(HRESULT hr)
{
    std::string text = TakePendingErrorText();
    if (!FAILED(hr) || text.empty())
        text = HResultDescription(hr);
    SetLastError(KelvResult(hr, text));
}

void KelvResult::SetLastError(const KelvResult& error)
{
    LastErrorSlot& slot = ThreadSlot();
    slot.error = error;
    slot.recorded = true;
}

KelvResult KelvResult::LastError()
{
    return ThreadSlot().error;
}

KelvResult KelvResult::LastErrorCheckNotS_OK()
{
    const LastErrorSlot& slot = ThreadSlot();
    if (!slot.recorded)
        return KelvResult(E_UNEXPECTED, "The operation failed, but no error was recorded.");
    if (!slot.error.Failed()) {
        std::string text = "The operation failed, but the last recorded result was the success code ";
        text += std::to_string(slot.error.GetHRESULT());
        text += ".";
        return KelvResult(E_UNEXPECTED, text);
    }
    return slot.error;
}

void KelvResult::Check(HRESULT hr)
{
    if (hr == S_OK)
        return;
    SetLastError(hr);
    if (FAILED(hr))
        throw LastErrorCheckNotS_OK();
}

void KelvResult::Check(bool ok)
{
    if (!ok)
        throw LastErrorCheckNotS_OK();
}

void KelvResult::Check(const KelvResult& result)
{
    result.Check();
}
