// Automation variants.
#pragma once

#include "com/interfaces.h"
#include "com/types.h"

struct SAFEARRAY;

enum VARENUM : VARTYPE
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF
};

struct VARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union
    {
        // First so that VARIANT v{} zeroes the whole value, pointers included.
        int64_t llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        int32_t intVal;
        uint32_t uintVal;
        // VT_BYREF forms: the variant refers to storage it does not own.
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
    };
};

// Flags of VariantChangeType. Conversions ignore them: bool always becomes
// "True"/"False" as text.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;

// Sets vt to VT_EMPTY (the previous content is not released).
void VariantInit(VARIANTARG* pvarg);

// Releases what the variant owns (string, interface reference, array) and
// leaves it VT_EMPTY. By-reference variants own nothing. Fails with
// DISP_E_ARRAYISLOCKED (variant untouched) when its array is locked and with
// DISP_E_BADVARTYPE for a type tag this runtime does not know.
HRESULT VariantClear(VARIANTARG* pvarg);

// Makes dest a deep copy of src (strings and arrays copied, interfaces
// AddRef'd, by-reference variants copied as the reference), clearing what
// dest held before. dest == src does nothing. On failure dest is unchanged.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// Converts src to type vt into dest (dest == src converts in place). Numeric
// targets: VT_I4, VT_I2, VT_UI1, VT_INT, VT_R8, VT_R4, VT_BOOL; plus VT_BSTR,
// VT_EMPTY, VT_UNKNOWN, VT_DISPATCH (by QueryInterface) and VT_ARRAY|x (a copy
// of an array of exactly that type). Text parsing and formatting use the
// classic locale; bool becomes "True"/"False"; text becomes bool from
// "true"/"false" (any case) or a number. Values out of the target's range
// give DISP_E_OVERFLOW, impossible conversions DISP_E_TYPEMISMATCH; dest is
// then unchanged.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);
