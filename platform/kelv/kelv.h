// The host's COM component framework: error objects and their conversion
// into COM errors, string, variant and safe-array wrappers, smart interface
// pointers, message formatting and allocators.
#pragma once

#include "com/com.h"
#include "kelv/KelvBSTR.h"
#include "kelv/KelvComPtr.h"
#include "kelv/KelvErrors.h"
#include "kelv/KelvFormat.h"
#include "kelv/KelvResult.h"
#include "kelv/KelvSafeArray.h"
#include "kelv/KelvVariant.h"
