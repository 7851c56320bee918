// Conversions of the forcefield editor's COM arguments.
#pragma once

#include "common/BstrSafeArray.h"

#include "kelv/kelv.h"

#include <list>
#include <string>

namespace ForcefieldCom {

// The texts of an atom-type argument: every element of a BSTR array of any
// number of dimensions, in storage order, whatever the bounds. The caller's
// array is read through a copy and left as it was.
// - a null array, or a null pointer in its place: KelvResult E_FAIL
//   "Null SafeArray pointer specified.";
// - an array whose element type is not BSTR, or cannot be read: KelvResult
//   E_FAIL "inconsistent SafeArray types";
// - a copy that fails: the copy's HRESULT as the framework's last error.
std::list<std::string> BstrArrayToStringList(SAFEARRAY** array);

}  // namespace ForcefieldCom
