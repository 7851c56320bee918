// Safe arrays of automation strings, as the module hands lists of names to
// its callers: one dimension, lower bound 0.
#pragma once

#include "kelv/kelv.h"

#include <list>
#include <string>
#include <vector>

// A one-dimensional BSTR array of `count` null elements, lower bound 0. When
// it cannot be made (a negative count included): KelvResult E_OUTOFMEMORY
// "Unable to create SafeArray".
KelvSafeArray CreateBstrSafeArray(LONG count);

// A BSTR array holding a new string of each text, in list order; an empty
// list gives an array of zero elements, never a null. Creation failure as
// for CreateBstrSafeArray.
KelvSafeArray StringListToBstrArray(const std::vector<std::string>& texts);
KelvSafeArray StringListToBstrArray(const std::list<std::string>& texts);
