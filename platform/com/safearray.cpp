#include "com/safearray.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "com/bstr.h"
#include "com/interfaces.h"
#include "com/variant.h"

namespace
{
// The element type is kept in a small header in front of the descriptor.
struct ArrayHeader
{
    VARTYPE vt;
};
constexpr size_t kHeaderSize = 16; // keeps the descriptor 16-byte aligned
static_assert(sizeof(ArrayHeader) <= kHeaderSize, "header must fit");

unsigned char* BlockOf(SAFEARRAY* psa) { return reinterpret_cast<unsigned char*>(psa) - kHeaderSize; }
ArrayHeader* HeaderOf(SAFEARRAY* psa) { return reinterpret_cast<ArrayHeader*>(BlockOf(psa)); }

ULONG ElementSize(VARTYPE vt)
{
    switch (vt)
    {
    case VT_BSTR: return sizeof(BSTR);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_I4: case VT_INT: return sizeof(LONG);
    case VT_I2: return sizeof(SHORT);
    case VT_UI1: return sizeof(BYTE);
    case VT_R8: return sizeof(double);
    case VT_R4: return sizeof(float);
    case VT_BOOL: return sizeof(VARIANT_BOOL);
    case VT_UNKNOWN: case VT_DISPATCH: return sizeof(IUnknown*);
    default: return 0;
    }
}

USHORT FeaturesOf(VARTYPE vt)
{
    USHORT f = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) f |= FADF_BSTR;
    if (vt == VT_VARIANT) f |= FADF_VARIANT;
    if (vt == VT_UNKNOWN) f |= FADF_UNKNOWN;
    if (vt == VT_DISPATCH) f |= FADF_DISPATCH;
    return f;
}

// Number of elements; false when it overflows.
bool CountElements(UINT cDims, const SAFEARRAYBOUND* bounds, size_t& count)
{
    size_t n = 1;
    for (UINT d = 0; d < cDims; ++d)
        if (__builtin_mul_overflow(n, static_cast<size_t>(bounds[d].cElements), &n))
            return false;
    count = n;
    return true;
}

size_t TotalElements(SAFEARRAY* psa)
{
    size_t n = 0;
    CountElements(psa->cDims, psa->rgsabound, n);
    return n;
}

// Storage offset (in elements) of an index vector; false when out of range.
bool OffsetOf(SAFEARRAY* psa, const LONG* indices, size_t& offset)
{
    size_t off = 0;
    size_t stride = 1;
    for (UINT d = 0; d < psa->cDims; ++d)
    {
        const SAFEARRAYBOUND& b = psa->rgsabound[d];
        const int64_t i = static_cast<int64_t>(indices[d]) - b.lLbound;
        if (i < 0 || i >= static_cast<int64_t>(b.cElements))
            return false;
        off += static_cast<size_t>(i) * stride;
        stride *= b.cElements;
    }
    offset = off;
    return true;
}

void* ElementAt(SAFEARRAY* psa, size_t offset)
{
    return static_cast<unsigned char*>(psa->pvData) + offset * psa->cbElements;
}

void ReleaseElements(SAFEARRAY* psa, VARTYPE vt)
{
    const size_t n = TotalElements(psa);
    for (size_t i = 0; i < n; ++i)
    {
        void* e = ElementAt(psa, i);
        if (vt == VT_BSTR)
            SysFreeString(*static_cast<BSTR*>(e));
        else if (vt == VT_VARIANT)
            VariantClear(static_cast<VARIANT*>(e));
        else if (vt == VT_UNKNOWN || vt == VT_DISPATCH)
        {
            IUnknown* p = *static_cast<IUnknown**>(e);
            if (p)
                p->Release();
        }
    }
}

void FreeArray(SAFEARRAY* psa)
{
    std::free(psa->pvData);
    psa->~SAFEARRAY();
    std::free(BlockOf(psa));
}
} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound)
{
    const ULONG elemSize = ElementSize(vt);
    if (elemSize == 0 || cDims == 0 || cDims > 0xFFFF || !rgsabound)
        return nullptr;
    size_t count = 0, bytes = 0;
    // The element count must fit a LONG, as callers count elements in LONGs.
    if (!CountElements(cDims, rgsabound, count) || count > static_cast<size_t>(INT32_MAX) ||
        __builtin_mul_overflow(count, elemSize, &bytes))
        return nullptr;
    // Every element must be reachable through a LONG index.
    for (UINT d = 0; d < cDims; ++d)
        if (static_cast<int64_t>(rgsabound[d].lLbound) + rgsabound[d].cElements - 1 > INT32_MAX)
            return nullptr;

    const size_t descriptorSize = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<unsigned char*>(std::calloc(1, kHeaderSize + descriptorSize));
    if (!block)
        return nullptr;
    void* data = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (!data)
    {
        std::free(block);
        return nullptr;
    }
    new (block) ArrayHeader{vt};
    auto* psa = new (block + kHeaderSize) SAFEARRAY{};
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesOf(vt);
    psa->cbElements = elemSize;
    psa->cLocks = 0;
    psa->pvData = data;
    for (UINT d = 0; d < cDims; ++d)
        psa->rgsabound[d] = rgsabound[d];
    // Zero bytes are VT_EMPTY variants, null strings and null interfaces.
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    if (__atomic_load_n(&psa->cLocks, __ATOMIC_SEQ_CST) != 0)
        return DISP_E_ARRAYISLOCKED;
    ReleaseElements(psa, HeaderOf(psa)->vt);
    FreeArray(psa);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return E_INVALIDARG;
    const VARTYPE vt = HeaderOf(psa)->vt;
    SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, psa->rgsabound);
    if (!copy)
        return E_OUTOFMEMORY;
    const size_t n = TotalElements(psa);
    HRESULT hr = S_OK;
    for (size_t i = 0; i < n && SUCCEEDED(hr); ++i)
    {
        void* from = ElementAt(psa, i);
        void* to = ElementAt(copy, i);
        if (vt == VT_BSTR)
        {
            BSTR s = *static_cast<BSTR*>(from);
            if (s)
            {
                BSTR c = SysAllocStringLen(s, SysStringLen(s));
                if (!c)
                    hr = E_OUTOFMEMORY;
                *static_cast<BSTR*>(to) = c;
            }
        }
        else if (vt == VT_VARIANT)
        {
            hr = VariantCopy(static_cast<VARIANT*>(to), static_cast<VARIANT*>(from));
        }
        else if (vt == VT_UNKNOWN || vt == VT_DISPATCH)
        {
            IUnknown* p = *static_cast<IUnknown**>(from);
            if (p)
                p->AddRef();
            *static_cast<IUnknown**>(to) = p;
        }
        else
        {
            std::memcpy(to, from, psa->cbElements);
        }
    }
    if (FAILED(hr))
    {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    __atomic_add_fetch(&psa->cLocks, 1u, __ATOMIC_SEQ_CST);
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    ULONG current = __atomic_load_n(&psa->cLocks, __ATOMIC_SEQ_CST);
    do
    {
        if (current == 0)
            return E_UNEXPECTED;
    } while (!__atomic_compare_exchange_n(&psa->cLocks, &current, current - 1, false,
                                          __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData)
        return E_INVALIDARG;
    SafeArrayLock(psa);
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices || !pv)
        return E_INVALIDARG;
    size_t offset = 0;
    if (!OffsetOf(psa, rgIndices, offset))
        return DISP_E_BADINDEX;
    const VARTYPE vt = HeaderOf(psa)->vt;
    void* e = ElementAt(psa, offset);
    if (vt == VT_BSTR)
    {
        BSTR s = *static_cast<BSTR*>(e);
        BSTR c = nullptr;
        if (s && !(c = SysAllocStringLen(s, SysStringLen(s))))
            return E_OUTOFMEMORY;
        *static_cast<BSTR*>(pv) = c;
    }
    else if (vt == VT_VARIANT)
    {
        auto* out = static_cast<VARIANT*>(pv);
        VariantInit(out);
        return VariantCopy(out, static_cast<VARIANT*>(e));
    }
    else if (vt == VT_UNKNOWN || vt == VT_DISPATCH)
    {
        IUnknown* p = *static_cast<IUnknown**>(e);
        if (p)
            p->AddRef();
        *static_cast<IUnknown**>(pv) = p;
    }
    else
    {
        std::memcpy(pv, e, psa->cbElements);
    }
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    const VARTYPE vt = HeaderOf(psa)->vt;
    // Only the string and interface forms may pass null (a null element).
    if (!pv && vt != VT_BSTR && vt != VT_UNKNOWN && vt != VT_DISPATCH)
        return E_INVALIDARG;
    size_t offset = 0;
    if (!OffsetOf(psa, rgIndices, offset))
        return DISP_E_BADINDEX;
    void* e = ElementAt(psa, offset);
    if (vt == VT_BSTR)
    {
        auto s = static_cast<BSTR>(pv);
        BSTR c = nullptr;
        if (s && !(c = SysAllocStringLen(s, SysStringLen(s))))
            return E_OUTOFMEMORY;
        SysFreeString(*static_cast<BSTR*>(e));
        *static_cast<BSTR*>(e) = c;
    }
    else if (vt == VT_VARIANT)
    {
        return VariantCopy(static_cast<VARIANT*>(e), static_cast<VARIANT*>(pv));
    }
    else if (vt == VT_UNKNOWN || vt == VT_DISPATCH)
    {
        auto* p = static_cast<IUnknown*>(pv);
        if (p)
            p->AddRef();
        IUnknown* old = *static_cast<IUnknown**>(e);
        *static_cast<IUnknown**>(e) = p;
        if (old)
            old->Release();
    }
    else
    {
        std::memcpy(e, pv, psa->cbElements);
    }
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (!psa || !pvt)
        return E_INVALIDARG;
    // An array that does not say it carries its element type has none to
    // give.
    if ((psa->fFeatures & FADF_HAVEVARTYPE) == 0)
        return E_INVALIDARG;
    *pvt = HeaderOf(psa)->vt;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[nDim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[nDim - 1];
    *plUbound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + static_cast<int64_t>(b.cElements) - 1);
    return S_OK;
}
