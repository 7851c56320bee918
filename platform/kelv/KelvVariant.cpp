#include "kelv/KelvVariant.h"
#include "kelv/KelvInternal.h"

#include <new>
#include <utility>

#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"

namespace
{
void SetText(VARIANT& v, BSTR text)
{
    if (!text)
        KelvInternal::ThrowBadAllocation();
    v.vt = VT_BSTR;
    v.bstrVal = text;
}

const char* TypeName(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY: return "empty";
    case VT_NULL: return "null";
    case VT_I2: case VT_I4: case VT_INT: case VT_UI1: return "integer";
    case VT_R4: case VT_R8: return "real";
    case VT_BSTR: return "text";
    case VT_BOOL: return "boolean";
    case VT_UNKNOWN: case VT_DISPATCH: return "object";
    default: return (vt & VT_ARRAY) ? "array" : "other";
    }
}

// Converts into a fresh variant; failures throw KelvResult.
KelvVariant Converted(const VARIANT& source, VARTYPE vt, const char* target)
{
    KelvVariant result;
    const HRESULT hr = VariantChangeType(result.Ptr(), &source, 0, vt);
    if (FAILED(hr)) {
        std::string text = "Unable to convert a value of type ";
        text += TypeName(source.vt);
        text += " to ";
        text += target;
        text += ": ";
        text += HResultDescription(hr);
        throw KelvResult(hr, text);
    }
    return result;
}
} // namespace

KelvVariant::KelvVariant() noexcept
{
    VariantInit(&m_value);
}

KelvVariant::KelvVariant(bool value) noexcept : KelvVariant()
{
    m_value.vt = VT_BOOL;
    m_value.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

KelvVariant::KelvVariant(int32_t value) noexcept : KelvVariant()
{
    m_value.vt = VT_I4;
    m_value.lVal = value;
}

KelvVariant::KelvVariant(double value) noexcept : KelvVariant()
{
    m_value.vt = VT_R8;
    m_value.dblVal = value;
}

KelvVariant::KelvVariant(const char* text) : KelvVariant(std::string(text ? text : ""))
{
}

KelvVariant::KelvVariant(const std::string& text) : KelvVariant()
{
    SetText(m_value, SysAllocStringFromNarrow(text));
}

KelvVariant::KelvVariant(const KelvBSTR& text) : KelvVariant()
{
    SetText(m_value, text.Detach());
}

KelvVariant::KelvVariant(IUnknown* object) noexcept : KelvVariant()
{
    m_value.vt = VT_UNKNOWN;
    m_value.punkVal = object;
    if (object)
        object->AddRef();
}

KelvVariant::KelvVariant(IDispatch* object) noexcept : KelvVariant()
{
    m_value.vt = VT_DISPATCH;
    m_value.pdispVal = object;
    if (object)
        object->AddRef();
}

KelvVariant::KelvVariant(const VARIANT& value) : KelvVariant()
{
    const HRESULT hr = VariantCopy(&m_value, &value);
    if (FAILED(hr))
        throw KelvResult(hr, std::string("Unable to copy a variant: ") + HResultDescription(hr));
}

KelvVariant::KelvVariant(const KelvVariant& other) : KelvVariant(other.m_value) {}

KelvVariant::KelvVariant(KelvVariant&& other) noexcept : m_value(other.m_value)
{
    VariantInit(&other.m_value);
}

KelvVariant& KelvVariant::operator=(const KelvVariant& other)
{
    if (this != &other) {
        KelvVariant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

KelvVariant& KelvVariant::operator=(KelvVariant&& other) noexcept
{
    if (this != &other) {
        VariantClear(&m_value);
        m_value = other.m_value;
        VariantInit(&other.m_value);
    }
    return *this;
}

KelvVariant::~KelvVariant() noexcept
{
    VariantClear(&m_value);
}

VARIANT* KelvVariant::Receive() noexcept
{
    if (FAILED(VariantClear(&m_value)))
        VariantInit(&m_value); // abandon what cannot be cleared rather than overwrite it in use
    return &m_value;
}

void KelvVariant::Clear()
{
    const HRESULT hr = VariantClear(&m_value);
    if (FAILED(hr))
        throw KelvResult(hr, std::string("Unable to clear a variant: ") + HResultDescription(hr));
}

bool KelvVariant::Bool() const
{
    return Converted(m_value, VT_BOOL, "boolean").Get().boolVal != VARIANT_FALSE;
}

LONG KelvVariant::Long() const
{
    return Converted(m_value, VT_I4, "integer").Get().lVal;
}

double KelvVariant::Double() const
{
    return Converted(m_value, VT_R8, "real").Get().dblVal;
}

std::string KelvVariant::String() const
{
    return NarrowFromBSTR(Converted(m_value, VT_BSTR, "text").Get().bstrVal);
}

KelvBSTR KelvVariant::Bstr() const
{
    KelvVariant text = Converted(m_value, VT_BSTR, "text");
    VARIANT raw = text.Detach();
    return KelvBSTR::Attach(raw.bstrVal);
}

KelvComPtr<IUnknown> KelvVariant::ExtractUnknown() const
{
    IUnknown* object = nullptr;
    if (m_value.vt == VT_UNKNOWN)
        object = m_value.punkVal;
    else if (m_value.vt == VT_DISPATCH)
        object = m_value.pdispVal;
    if (!object)
        throw KelvResult(E_POINTER, std::string("The value holds no object (its type is ") +
                                        TypeName(m_value.vt) + ").");
    return KelvComPtr<IUnknown>(object);
}

VARIANT KelvVariant::Detach() noexcept
{
    VARIANT result = m_value;
    VariantInit(&m_value);
    return result;
}
