// Logic and state utilities of the host's application framework: a logic of
// an extension by name, a logic's state and typed reads of state properties.
//
// Every pointer argument must be non-null (null throws the framework's
// null-pointer error, KelvResult E_POINTER). Host calls follow the host-call
// convention: a code other than S_OK is recorded as the last error and a
// failure is thrown as KelvResult with the host's error text.
#pragma once

#include <string>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

namespace LogicStateUtilities
{
// The logic named `name` of the extension. An extension without it throws
// KelvResult E_INVALIDARG naming the logic.
KelvComPtr<ISBLogic> GetNamedLogicItem(ISBExtension* extension, const std::string& name);

// The logic's state. A logic that has none yet throws KelvResult
// E_UNEXPECTED.
KelvComPtr<ISBState> GetState(ISBLogic* logic);

// The value of the state property `name` as the state stores it (scalars as
// their type, arrays as VT_ARRAY, objects as VT_UNKNOWN, enums as their
// number). An unknown name throws the host's error.
KelvVariant GetPropertyValue(ISBState* state, const std::string& name);

// The object held by the co-class property `name`; null when it holds none.
// A property that holds a value other than an object throws KelvResult
// DISP_E_TYPEMISMATCH naming the property.
KelvComPtr<IUnknown> GetPropertyValueCoClass(ISBState* state, const std::string& name);

// The text of the current value of the enum property `name`.
std::string GetPropertyValueEnum(ISBState* state, const std::string& name);
} // namespace LogicStateUtilities
