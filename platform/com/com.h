// The object runtime: types, identifiers, interfaces, strings, variants,
// safe arrays, error information and class activation.
#pragma once

#include "com/types.h"
#include "com/guid.h"
#include "com/interfaces.h"
#include "com/bstr.h"
#include "com/variant.h"
#include "com/safearray.h"
#include "com/errorinfo.h"
#include "com/runtime.h"
#include "com/registry.h"
