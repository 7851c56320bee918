// Automation strings. A BSTR points at the first of its OLECHARs; the length
// in bytes sits in the four bytes before it and a terminating NUL follows the
// text, so a BSTR can be passed where a NUL-terminated wide string is
// expected. A null BSTR is the empty string for every reader.
//
// Narrow text converts byte for byte (Latin-1): byte 0xC5 is code unit
// U+00C5 and back, so narrow texts survive a round trip unchanged.
#pragma once

#include <string>

#include "com/types.h"

// Copies a NUL-terminated string; null in gives null out.
BSTR SysAllocString(const OLECHAR* psz);
// Copies `len` code units (embedded NULs kept); a null source gives a
// zero-filled string of that length. Null on allocation failure.
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT len);
// Replaces *pbstr by a copy of psz. Returns TRUE, or FALSE (and leaves
// *pbstr alone) when pbstr is null or allocation fails.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
// Frees a BSTR; null is allowed.
void SysFreeString(BSTR bstr);
// Number of code units (0 for null).
UINT SysStringLen(BSTR bstr);
// Number of bytes (0 for null).
UINT SysStringByteLen(BSTR bstr);

// Latin-1 conversions. SysAllocStringFromNarrow returns a new BSTR the
// caller frees (an empty text gives an empty, non-null BSTR).
// NarrowFromBSTR reads exactly SysStringLen units (NULs inside included);
// code units above 0xFF become '?'. It must only be given a real BSTR (or
// null).
BSTR SysAllocStringFromNarrow(const std::string& text);
std::string NarrowFromBSTR(const OLECHAR* bstr);
std::u16string WideFromNarrow(const std::string& text);
std::string NarrowFromWide(const std::u16string& text);
