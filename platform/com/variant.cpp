#include "com/variant.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>

#include "com/bstr.h"
#include "com/safearray.h"

namespace
{
bool IsPlainScalar(VARTYPE vt)
{
    switch (vt)
    {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_DATE:
    case VT_ERROR: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

bool IsKnownType(VARTYPE vt)
{
    if (vt & VT_BYREF)
        return (vt & ~(VT_BYREF | VT_ARRAY)) != VT_EMPTY;
    if (vt & VT_ARRAY)
        return true;
    return IsPlainScalar(vt) || vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH;
}

void MakeEmpty(VARIANT* v)
{
    v->vt = VT_EMPTY;
    v->byref = nullptr;
}

// Deep copy of src into the uninitialised *out.
HRESULT CopyInto(VARIANT* out, const VARIANT& src)
{
    if (!IsKnownType(src.vt))
        return DISP_E_BADVARTYPE;
    *out = src;
    if (src.vt & VT_BYREF)
        return S_OK;
    if (src.vt & VT_ARRAY)
    {
        out->parray = nullptr;
        if (src.parray)
        {
            HRESULT hr = SafeArrayCopy(src.parray, &out->parray);
            if (FAILED(hr))
            {
                MakeEmpty(out);
                return hr;
            }
        }
        return S_OK;
    }
    switch (src.vt)
    {
    case VT_BSTR:
        if (src.bstrVal)
        {
            out->bstrVal = SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
            if (!out->bstrVal)
            {
                MakeEmpty(out);
                return E_OUTOFMEMORY;
            }
        }
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (src.punkVal)
            src.punkVal->AddRef();
        break;
    default:
        break;
    }
    return S_OK;
}

// The value a by-reference variant refers to, as a non-owning view.
HRESULT Dereference(const VARIANT& src, VARIANT& view)
{
    VariantInit(&view);
    if (!(src.vt & VT_BYREF))
    {
        view = src;
        return S_OK;
    }
    if (!src.byref)
        return E_INVALIDARG;
    const VARTYPE base = static_cast<VARTYPE>(src.vt & ~VT_BYREF);
    if (base == VT_VARIANT)
        return Dereference(*src.pvarVal, view);
    if (base & VT_ARRAY)
    {
        view.vt = base;
        view.parray = *src.pparray;
        return S_OK;
    }
    view.vt = base;
    switch (base)
    {
    case VT_I1: view.cVal = *static_cast<CHAR*>(src.byref); break;
    case VT_UI1: view.bVal = *src.pbVal; break;
    case VT_I2: view.iVal = *src.piVal; break;
    case VT_UI2: view.uiVal = *static_cast<USHORT*>(src.byref); break;
    case VT_I4: case VT_INT: case VT_ERROR: view.lVal = *src.plVal; break;
    case VT_UI4: case VT_UINT: view.ulVal = *static_cast<ULONG*>(src.byref); break;
    case VT_R4: view.fltVal = *src.pfltVal; break;
    case VT_R8: view.dblVal = *src.pdblVal; break;
    case VT_DATE: view.date = *src.pdate; break;
    case VT_BOOL: view.boolVal = *src.pboolVal; break;
    case VT_BSTR: view.bstrVal = *src.pbstrVal; break;
    case VT_UNKNOWN: view.punkVal = *src.ppunkVal; break;
    case VT_DISPATCH: view.pdispVal = *src.ppdispVal; break;
    default:
        return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool ParseNumber(const std::string& text, double& value)
{
    const std::string t = Trim(text);
    if (t.empty())
        return false;
    std::istringstream in(t);
    in.imbue(std::locale::classic());
    double d = 0.0;
    in >> d;
    if (in.fail())
        return false;
    in.peek();
    if (!in.eof())
        return false;
    value = d;
    return true;
}

bool EqualsNoCase(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

// Numeric value of a scalar or text source. DISP_E_TYPEMISMATCH when it has
// none. Every integer source is exact in a double.
HRESULT NumberOf(const VARIANT& v, VARTYPE target, double& d)
{
    switch (v.vt)
    {
    case VT_EMPTY: d = 0.0; return S_OK;
    case VT_I1: d = v.cVal; return S_OK;
    case VT_UI1: d = v.bVal; return S_OK;
    case VT_I2: d = v.iVal; return S_OK;
    case VT_UI2: d = v.uiVal; return S_OK;
    case VT_I4: case VT_INT: d = v.lVal; return S_OK;
    case VT_UI4: case VT_UINT: d = v.ulVal; return S_OK;
    case VT_R4: d = v.fltVal; return S_OK;
    case VT_R8: d = v.dblVal; return S_OK;
    case VT_DATE: d = v.date; return S_OK;
    case VT_BOOL: d = v.boolVal ? -1.0 : 0.0; return S_OK;
    case VT_BSTR:
    {
        const std::string text = NarrowFromBSTR(v.bstrVal);
        if (target == VT_BOOL)
        {
            const std::string t = Trim(text);
            if (EqualsNoCase(t, "true")) { d = -1.0; return S_OK; }
            if (EqualsNoCase(t, "false")) { d = 0.0; return S_OK; }
        }
        return ParseNumber(text, d) ? S_OK : DISP_E_TYPEMISMATCH;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

bool IntegerRange(VARTYPE vt, double& lo, double& hi)
{
    switch (vt)
    {
    case VT_I1: lo = -128.0; hi = 127.0; return true;
    case VT_UI1: lo = 0.0; hi = 255.0; return true;
    case VT_I2: lo = -32768.0; hi = 32767.0; return true;
    case VT_UI2: lo = 0.0; hi = 65535.0; return true;
    case VT_I4: case VT_INT: lo = -2147483648.0; hi = 2147483647.0; return true;
    case VT_UI4: case VT_UINT: lo = 0.0; hi = 4294967295.0; return true;
    default: return false;
    }
}

void StoreInteger(VARIANT* out, VARTYPE vt, double r)
{
    out->vt = vt;
    switch (vt)
    {
    case VT_I1: out->cVal = static_cast<CHAR>(r); break;
    case VT_UI1: out->bVal = static_cast<BYTE>(r); break;
    case VT_I2: out->iVal = static_cast<SHORT>(r); break;
    case VT_UI2: out->uiVal = static_cast<USHORT>(r); break;
    case VT_I4: case VT_INT: out->lVal = static_cast<LONG>(r); break;
    default: out->ulVal = static_cast<ULONG>(r); break;
    }
}

std::string FormatDouble(double d, int precision)
{
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os.precision(precision);
    os << d;
    return os.str();
}

HRESULT ToText(const VARIANT& v, std::string& text)
{
    switch (v.vt)
    {
    case VT_EMPTY: text.clear(); return S_OK;
    case VT_I1: text = std::to_string(static_cast<int>(v.cVal)); return S_OK;
    case VT_UI1: text = std::to_string(static_cast<unsigned>(v.bVal)); return S_OK;
    case VT_I2: text = std::to_string(v.iVal); return S_OK;
    case VT_UI2: text = std::to_string(v.uiVal); return S_OK;
    case VT_I4: case VT_INT: text = std::to_string(v.lVal); return S_OK;
    case VT_UI4: case VT_UINT: text = std::to_string(v.ulVal); return S_OK;
    case VT_R4: text = FormatDouble(v.fltVal, 7); return S_OK;
    case VT_R8: text = FormatDouble(v.dblVal, 15); return S_OK;
    case VT_BOOL: text = v.boolVal ? "True" : "False"; return S_OK;
    default: return DISP_E_TYPEMISMATCH;
    }
}

// Converts the non-owning view src into the uninitialised *out.
HRESULT Convert(VARIANT* out, const VARIANT& src, VARTYPE vt)
{
    VariantInit(out);
    if (vt == src.vt)
        return CopyInto(out, src);
    if (vt & VT_ARRAY)
        return (vt & VT_BYREF) ? DISP_E_BADVARTYPE : DISP_E_TYPEMISMATCH;
    if (src.vt & VT_ARRAY)
        return DISP_E_TYPEMISMATCH;

    double lo = 0.0, hi = 0.0;
    if (IntegerRange(vt, lo, hi))
    {
        double d = 0.0;
        HRESULT hr = NumberOf(src, vt, d);
        if (FAILED(hr))
            return hr;
        double r = std::nearbyint(d); // halves go to the even neighbour
        if (src.vt == VT_BOOL && d != 0.0 && lo == 0.0)
            r = hi; // true is all bits set
        if (!(r >= lo && r <= hi))
            return DISP_E_OVERFLOW;
        StoreInteger(out, vt, r);
        return S_OK;
    }
    switch (vt)
    {
    case VT_EMPTY:
        return S_OK;
    case VT_R8:
    case VT_R4:
    {
        double d = 0.0;
        HRESULT hr = NumberOf(src, vt, d);
        if (FAILED(hr))
            return hr;
        if (vt == VT_R4)
        {
            if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
                return DISP_E_OVERFLOW;
            out->fltVal = static_cast<float>(d);
        }
        else
        {
            out->dblVal = d;
        }
        out->vt = vt;
        return S_OK;
    }
    case VT_BOOL:
    {
        double d = 0.0;
        HRESULT hr = NumberOf(src, vt, d);
        if (FAILED(hr))
            return hr;
        out->vt = VT_BOOL;
        out->boolVal = d != 0.0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    case VT_BSTR:
    {
        std::string text;
        HRESULT hr = ToText(src, text);
        if (FAILED(hr))
            return hr;
        BSTR b = SysAllocStringFromNarrow(text);
        if (!b)
            return E_OUTOFMEMORY;
        out->vt = VT_BSTR;
        out->bstrVal = b;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH:
    {
        if (src.vt == VT_EMPTY)
        {
            out->vt = vt;
            out->punkVal = nullptr;
            return S_OK;
        }
        if (src.vt != VT_UNKNOWN && src.vt != VT_DISPATCH)
            return DISP_E_TYPEMISMATCH;
        void* p = nullptr;
        if (src.punkVal)
        {
            if (FAILED(src.punkVal->QueryInterface(vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch, &p)))
                return DISP_E_TYPEMISMATCH;
        }
        out->vt = vt;
        out->punkVal = static_cast<IUnknown*>(p);
        if (vt == VT_DISPATCH)
            out->pdispVal = static_cast<IDispatch*>(p);
        return S_OK;
    }
    default:
        return IsKnownType(vt) ? DISP_E_TYPEMISMATCH : DISP_E_BADVARTYPE;
    }
}
} // namespace

void VariantInit(VARIANTARG* pvarg)
{
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->byref = nullptr;
}

HRESULT VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!IsKnownType(vt))
        return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF))
    {
        if (vt & VT_ARRAY)
        {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr))
                return hr;
        }
        else if (vt == VT_BSTR)
        {
            SysFreeString(pvarg->bstrVal);
        }
        else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvarg->punkVal)
        {
            pvarg->punkVal->Release();
        }
    }
    MakeEmpty(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    VARIANT copy;
    HRESULT hr = CopyInto(&copy, *pvargSrc);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr))
    {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT /*wFlags*/,
                          VARTYPE vt)
{
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (vt & VT_BYREF)
        return DISP_E_BADVARTYPE;
    VARIANT view;
    HRESULT hr = Dereference(*pvarSrc, view);
    if (FAILED(hr))
        return hr;
    if (!IsKnownType(view.vt))
        return DISP_E_BADVARTYPE;
    VARIANT result;
    hr = Convert(&result, view, vt);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr))
    {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}
