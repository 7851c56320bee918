// Safe arrays of strings handed out by the module's COM methods: the
// missing-element list of the logic object and the name lists of the
// forcefield wrappers are made by these same routines.
#pragma once

#include "com/com.h"
#include "kelv/KelvSafeArray.h"

#include <list>
#include <string>
#include <vector>

namespace ZelmArrays {

// A VT_BSTR safe array of the given bounds and dimensions, owned by the
// result. When the system gives no array: KelvResult E_OUTOFMEMORY "Unable
// to create SafeArray".
KelvSafeArray CreateBstrSafeArray(SAFEARRAYBOUND* bounds, UINT dimensions);
// One dimension, lower bound 0, `count` elements (all null BSTRs).
KelvSafeArray CreateBstrSafeArray(ULONG count);

// A one-dimensional array, lower bound 0, of the given strings in order; each
// BSTR passes into the array's ownership (also when creation fails, when
// they are freed).
KelvSafeArray BstrArrayFromBstrs(std::vector<BSTR>& strings);

// A BSTR array holding a new string of each text, in list order; an empty
// list gives an array of zero elements, never a null. Creation failure as for
// CreateBstrSafeArray.
KelvSafeArray StringListToBstrArray(const std::vector<std::string>& list);
KelvSafeArray StringListToBstrArray(const std::list<std::string>& list);

// The same array stored in `out`, destroying an array that stood there.
void StringListToBstrArray(const std::vector<std::string>& list, SAFEARRAY** out);

} // namespace ZelmArrays
