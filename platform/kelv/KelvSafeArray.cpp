#include "kelv/KelvSafeArray.h"

#include <new>
#include <utility>

#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"

namespace
{
void CheckElementCall(HRESULT hr, const char* what, LONG index)
{
    if (FAILED(hr))
        throw KelvResult(hr, std::string("Unable to ") + what + " safe array element " +
                                 std::to_string(index) + ": " + HResultDescription(hr));
}
} // namespace

KelvSafeArray::KelvSafeArray(VARTYPE vt, ULONG count, LONG lbound)
    : m_array(SafeArrayCreateVector(vt, lbound, count))
{
    if (!m_array)
        throw KelvResult(E_OUTOFMEMORY, "Unable to create SafeArray");
}

KelvSafeArray::KelvSafeArray(KelvSafeArray&& other) noexcept : m_array(std::exchange(other.m_array, nullptr)) {}

KelvSafeArray& KelvSafeArray::operator=(KelvSafeArray&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_array = std::exchange(other.m_array, nullptr);
    }
    return *this;
}

KelvSafeArray::~KelvSafeArray()
{
    Reset();
}

void KelvSafeArray::Reset() noexcept
{
    if (SAFEARRAY* array = std::exchange(m_array, nullptr))
        SafeArrayDestroy(array);
}

KelvSafeArray KelvSafeArray::FromStrings(const std::vector<std::string>& texts)
{
    KelvSafeArray array(VT_BSTR, static_cast<ULONG>(texts.size()), 0);
    for (size_t i = 0; i < texts.size(); ++i)
        array.PutString(static_cast<LONG>(i), texts[i]);
    return array;
}

void KelvSafeArray::StoreIn(SAFEARRAY** out)
{
    if (!out)
        throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
    SAFEARRAY* previous = *out;
    *out = Detach();
    if (previous && previous != *out)
        SafeArrayDestroy(previous);
}

SAFEARRAY* KelvSafeArray::Detach() noexcept
{
    return std::exchange(m_array, nullptr);
}

VARTYPE KelvSafeArray::ElementType() const
{
    VARTYPE vt = VT_EMPTY;
    if (m_array && FAILED(SafeArrayGetVartype(m_array, &vt)))
        vt = VT_EMPTY;
    return vt;
}

ULONG KelvSafeArray::Count() const noexcept
{
    if (!m_array)
        return 0;
    ULONG count = 1;
    for (USHORT d = 0; d < m_array->cDims; ++d)
        count *= m_array->rgsabound[d].cElements;
    return count;
}

void KelvSafeArray::RequireType(VARTYPE vt) const
{
    Kelv::CheckNullDereference(m_array);
    if (ElementType() != vt)
        throw KelvResult(DISP_E_TYPEMISMATCH, "The safe array does not hold elements of the type asked for.");
}

std::string KelvSafeArray::GetString(LONG index) const
{
    RequireType(VT_BSTR);
    BSTR text = nullptr;
    CheckElementCall(SafeArrayGetElement(m_array, &index, &text), "read", index);
    std::string result = NarrowFromBSTR(text);
    SysFreeString(text);
    return result;
}

void KelvSafeArray::PutString(LONG index, const std::string& text)
{
    RequireType(VT_BSTR);
    BSTR bstr = Kelv::bstrdup(text);
    const HRESULT hr = SafeArrayPutElement(m_array, &index, bstr);
    SysFreeString(bstr);
    CheckElementCall(hr, "write", index);
}

LONG KelvSafeArray::GetLong(LONG index) const
{
    RequireType(VT_I4);
    LONG value = 0;
    CheckElementCall(SafeArrayGetElement(m_array, &index, &value), "read", index);
    return value;
}

void KelvSafeArray::PutLong(LONG index, LONG value)
{
    RequireType(VT_I4);
    CheckElementCall(SafeArrayPutElement(m_array, &index, &value), "write", index);
}

double KelvSafeArray::GetDouble(LONG index) const
{
    RequireType(VT_R8);
    double value = 0.0;
    CheckElementCall(SafeArrayGetElement(m_array, &index, &value), "read", index);
    return value;
}

void KelvSafeArray::PutDouble(LONG index, double value)
{
    RequireType(VT_R8);
    CheckElementCall(SafeArrayPutElement(m_array, &index, &value), "write", index);
}

KelvVariant KelvSafeArray::GetVariant(LONG index) const
{
    RequireType(VT_VARIANT);
    KelvVariant value;
    CheckElementCall(SafeArrayGetElement(m_array, &index, value.Receive()), "read", index);
    return value;
}

void KelvSafeArray::PutVariant(LONG index, const KelvVariant& value)
{
    RequireType(VT_VARIANT);
    VARIANT copy = value.Get();
    CheckElementCall(SafeArrayPutElement(m_array, &index, &copy), "write", index);
}
