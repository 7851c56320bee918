#include "common/ExtractUnknownFromVariant.h"

KelvComPtr<IUnknown> ExtractUnknownFromVariant(const VARIANT& value)
{
    if (value.vt == VT_UNKNOWN)
        return KelvComPtr<IUnknown>(value.punkVal);
    return KelvVariant(value).ExtractUnknown();
}

void ExtractUnknownFromVariant(const VARIANT& value, IUnknown** out)
{
    Kelv::CheckNullDereference(out);
    *out = ExtractUnknownFromVariant(value).Detach();
}
