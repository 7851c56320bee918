// What the six COM objects of the forcefield editor share: identity (their
// host interface and ISupportErrorInfo over the framework's counted base),
// creation with one reference for the receiver, and the frame that every
// interface method runs in.
#pragma once

#include "forcefield/com/ComConversions.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"
#include "qorvira/ComDataTypeUtilities.h"

#include <list>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace ForcefieldCom {

inline const char* const kNoOutput = "No pointer supplied for output argument.";

// A result of the model as the type of an output argument: a text becomes a
// new BSTR, a bool a VARIANT_BOOL, a list of texts a BSTR array, an object
// holder hands over its reference, a number is converted.
template <class Out, class Result>
void Deliver(Out* out, Result&& result)
{
    if constexpr (std::is_same_v<Out, BSTR>) {
        *out = Kelv::bstrdup(static_cast<const std::string&>(result));
    } else if constexpr (std::is_same_v<Out, VARIANT_BOOL>) {
        *out = ComDataTypeUtilities::ToVariantBool(static_cast<bool>(result));
    } else if constexpr (std::is_same_v<Out, SAFEARRAY*>) {
        *out = ZelmArrays::StringListToBstrArray(result).Detach();
    } else if constexpr (std::is_pointer_v<Out>) {
        *out = result.Detach();
    } else {
        *out = static_cast<Out>(result);
    }
}

// The base of a wrapper class `Derived` that shows its model through the
// host interface `Interface`. The class names its coclass identifier for
// error information in `static const CLSID& Clsid()`.
template <class Derived, class Interface>
class CWrapper : public CKelvUnknown, public Interface, public ISupportErrorInfo
{
public:
    KELV_DELEGATE_IUNKNOWN

    // The host interface and ISupportErrorInfo; IUnknown and the refusal of
    // everything else are the framework's.
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualGUID(iid, uuidof<Interface>()))
            return FinishQI(static_cast<Interface*>(this), out);
        if (IsEqualGUID(iid, IID_ISupportErrorInfo))
            return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override
    {
        return IsEqualGUID(iid, uuidof<Interface>()) || IsEqualGUID(iid, IID_ISupportErrorInfo) ? S_OK : S_FALSE;
    }

protected:
    CWrapper() = default;

    // A new object of the class over what it is given, handed out with the
    // one reference a new object has. Allocation failure: std::bad_alloc.
    template <class... Args>
    static KelvComPtr<Interface> Make(Args&&... args)
    {
        Derived* object = new Derived(std::forward<Args>(args)...);
        return KelvComPtr<Interface>::Adopt(static_cast<Interface*>(object));
    }

    // A method without an output: the body under the six catch clauses.
    template <class F>
    static HRESULT Call(F&& body)
    {
        return Kelv::ComMethod(Derived::Clsid(), uuidof<Interface>(), std::forward<F>(body));
    }

    // A method with an output: a null output fails with E_POINTER, the output
    // is cleared before anything else, then the body's result is delivered.
    template <class Out, class F>
    static HRESULT Get(Out* out, F&& body)
    {
        return Call([&] {
            if (!out)
                throw KelvResult(E_POINTER, kNoOutput);
            *out = Out{};
            Deliver(out, body());
        });
    }
};

}  // namespace ForcefieldCom
