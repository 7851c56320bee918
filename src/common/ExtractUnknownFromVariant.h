// The object held by a variant, as the deck writer and the readers of host
// property values take it out.
#pragma once

#include "com/com.h"
#include "kelv/kelv.h"

// A VT_UNKNOWN value gives its pointer with a reference of its own (a null
// pointer stays null); any other value goes through KelvVariant's
// extraction, which throws KelvResult when the value holds no object.
// *out is an out argument: it receives the object (or null).
void ExtractUnknownFromVariant(const VARIANT& value, IUnknown** out);
KelvComPtr<IUnknown> ExtractUnknownFromVariant(const VARIANT& value);
