#include "host/model/ComSupport.h"

#include <iomanip>
#include <sstream>

namespace HostModel {

void Fail(HRESULT hr, const std::string& message) { throw KelvResult(hr, message); }

void RequireOut(const void* out)
{
    if (!out)
        Fail(E_POINTER, "No pointer supplied for output argument.");
}

std::string DescribeVariant(const VARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
        return "empty";
    case VT_NULL:
        return "null";
    case VT_BSTR:
        return "\"" + NarrowFromBSTR(value.bstrVal) + "\"";
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return value.punkVal ? "object" : "null object";
    case VT_BOOL:
        return value.boolVal ? "True" : "False";
    case VT_R8:
        return LogNumber(value.dblVal);
    case VT_R4:
        return LogNumber(value.fltVal);
    default:
        break;
    }
    if (value.vt & VT_ARRAY)
        return "array";
    try {
        return KelvVariant(value).String();
    } catch (...) {
        return "value of type " + std::to_string(value.vt);
    }
}

namespace {

class CClassFactory final : public CKelvUnknown, public IClassFactory {
public:
    explicit CClassFactory(std::function<HRESULT(void**)> create) : m_create(std::move(create)) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IClassFactory)
            return FinishQI(static_cast<IClassFactory*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return Kelv::ComMethod(GUID_NULL, IID_IClassFactory, [&]() -> HRESULT {
            void* created = nullptr;
            const HRESULT hr = m_create(&created);
            if (FAILED(hr))
                return hr;
            if (!created)
                return E_OUTOFMEMORY;
            IUnknown* object = static_cast<IUnknown*>(created);
            const HRESULT qi = object->QueryInterface(iid, out);
            object->Release();
            return qi;
        });
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    std::function<HRESULT(void**)> m_create;
};

} // namespace

KelvComPtr<IClassFactory> MakeClassFactory(std::function<HRESULT(void**)> create)
{
    return KelvComPtr<IClassFactory>::Adopt(new CClassFactory(std::move(create)));
}

} // namespace HostModel
