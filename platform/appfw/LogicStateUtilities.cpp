#include "appfw/LogicStateUtilities.h"

#include "appfw/HostCall.h"

using namespace AppFrameworkDetail;

namespace LogicStateUtilities
{
KelvComPtr<ISBLogic> GetNamedLogicItem(ISBExtension* extension, const std::string& name)
{
    Kelv::CheckNullDereference(extension);
    KelvVariant index(name);
    KelvComPtr<ISBLogic> logic;
    const HRESULT hr = extension->Item(index.Get(), logic.Receive());
    if (hr == E_INVALIDARG || (SUCCEEDED(hr) && !logic)) {
        DiscardErrorInfo();
        throw KelvResult(E_INVALIDARG, "The extension has no logic named '" + name + "'.");
    }
    Call(hr);
    return logic;
}

KelvComPtr<ISBState> GetState(ISBLogic* logic)
{
    Kelv::CheckNullDereference(logic);
    KelvComPtr<ISBState> state;
    Call(logic->get_State(state.Receive()));
    return Required(std::move(state), "The logic has no state.");
}

KelvVariant GetPropertyValue(ISBState* state, const std::string& name)
{
    Kelv::CheckNullDereference(state);
    KelvVariant value;
    Call(state->GetPropertyValue(KelvBSTR(name).Get(), value.Receive()));
    return value;
}

KelvComPtr<IUnknown> GetPropertyValueCoClass(ISBState* state, const std::string& name)
{
    const KelvVariant value = GetPropertyValue(state, name);
    switch (value.Type()) {
    case VT_EMPTY:
    case VT_NULL:
        return nullptr;
    case VT_UNKNOWN:
        return KelvComPtr<IUnknown>(value.Get().punkVal);
    case VT_DISPATCH:
        return KelvComPtr<IUnknown>(value.Get().pdispVal);
    default:
        throw KelvResult(DISP_E_TYPEMISMATCH, "The state property '" + name + "' holds no object.");
    }
}

std::string GetPropertyValueEnum(ISBState* state, const std::string& name)
{
    Kelv::CheckNullDereference(state);
    KelvBSTR text;
    Call(state->GetPropertyEnumText(KelvBSTR(name).Get(), text.Receive()));
    return text.ToTString();
}
} // namespace LogicStateUtilities
