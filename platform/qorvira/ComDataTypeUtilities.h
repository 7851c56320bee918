// Conversions between the automation boolean and bool.
#pragma once

#include "com/com.h"

namespace ComDataTypeUtilities
{
// Any non-zero automation boolean is true (VARIANT_TRUE is -1, but callers
// through dispatch may hand over 1).
inline bool ToBool(VARIANT_BOOL value) noexcept
{
    return value != VARIANT_FALSE;
}

// VARIANT_TRUE (-1) or VARIANT_FALSE (0).
inline VARIANT_BOOL ToVariantBool(bool value) noexcept
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}
} // namespace ComDataTypeUtilities
