// Automation safe arrays.
//
// Dimensions and storage order: SafeArrayCreate takes the bounds of the
// dimensions in rgsabound[0..cDims-1]; dimension number nDim (1-based, as
// used by SafeArrayGetLBound/GetUBound) is the one whose bound was
// rgsabound[nDim-1], and the array keeps its bounds in that same order in
// psa->rgsabound. An index vector (SafeArrayGetElement/PutElement) gives
// indices[k] for dimension k+1. Storage is first-index-fastest: element
// (i0, i1, ...) lies at offset (i0 - lb0) + c0 * ((i1 - lb1) + c1 * (...)),
// where c are the element counts and lb the lower bounds. A 2-D array created
// with bounds {rows, cols} is therefore stored column after column.
//
// Element types: VT_BSTR, VT_VARIANT, VT_I4, VT_INT, VT_I2, VT_UI1, VT_R8,
// VT_R4, VT_BOOL, VT_UNKNOWN, VT_DISPATCH. The array owns its BSTR, VARIANT and
// interface elements: destroying frees/clears/releases them, copying copies
// or AddRefs them.
#pragma once

#include "com/types.h"

struct SAFEARRAYBOUND
{
    ULONG cElements;
    LONG lLbound;
};

// Feature flags kept in fFeatures.
inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_UNKNOWN = 0x0200;
inline constexpr USHORT FADF_DISPATCH = 0x0400;
inline constexpr USHORT FADF_VARIANT = 0x0800;
inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

// rgsabound has cDims entries (the array is allocated to hold them all).
struct SAFEARRAY
{
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

using LPSAFEARRAY = SAFEARRAY*;

// Returns null for an unsupported element type, cDims == 0, null bounds, more
// than 2^31 - 1 elements in all, an upper bound beyond the LONG range, or
// allocation failure. Elements
// start zeroed (null strings, null interfaces, VT_EMPTY variants).
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);

// Null is accepted (S_OK). A locked array gives DISP_E_ARRAYISLOCKED.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// Deep copy (see above). *ppsaOut is null on failure.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa); // E_UNEXPECTED when not locked
// Locks the array and gives its storage.
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);

// Copies one element out to *pv, which is overwritten without being read
// or cleared first: a BSTR is copied (caller frees), a VARIANT deep-copied
// (caller clears), an interface AddRef'd (caller releases), any other type
// copied as bytes. Out-of-range index: DISP_E_BADINDEX.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Stores one element: for VT_BSTR pv is the BSTR itself (copied), for
// VT_UNKNOWN/VT_DISPATCH the interface pointer itself (AddRef'd), for
// VT_VARIANT a VARIANT* (copied), otherwise a pointer to the value. The
// previous element is released.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// E_INVALIDARG for an array without FADF_HAVEVARTYPE in fFeatures.
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
// nDim is 1-based; an out-of-range dimension gives DISP_E_BADINDEX.
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
