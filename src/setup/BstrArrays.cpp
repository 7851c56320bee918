#include "setup/BstrArrays.h"

namespace {

const char* const kCannotCreate = "Unable to create SafeArray";

template <class List>
KelvSafeArray ToArray(const List& texts)
{
    if (texts.size() > 0x7fffffffu)
        throw KelvResult(E_OUTOFMEMORY, kCannotCreate);
    KelvSafeArray array = CreateBstrSafeArray(static_cast<LONG>(texts.size()));
    LONG index = 0;
    for (const std::string& text : texts)
        array.PutString(index++, text);
    return array;
}

} // namespace

KelvSafeArray CreateBstrSafeArray(LONG count)
{
    if (count < 0)
        throw KelvResult(E_OUTOFMEMORY, kCannotCreate);
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(count));
    if (!array)
        throw KelvResult(E_OUTOFMEMORY, kCannotCreate);
    return KelvSafeArray(array);
}

KelvSafeArray StringListToBstrArray(const std::vector<std::string>& texts)
{
    return ToArray(texts);
}

KelvSafeArray StringListToBstrArray(const std::list<std::string>& texts)
{
    return ToArray(texts);
}
