#include "common/BstrSafeArray.h"

#include "kelv/kelv.h"

namespace ZelmArrays {

namespace {

void FreeAll(std::vector<BSTR>& strings) noexcept
{
    for (BSTR& text : strings) {
        SysFreeString(text);
        text = nullptr;
    }
}

template <class List>
KelvSafeArray ToArray(const List& texts)
{
    if (texts.size() > 0x7fffffffu)
        throw KelvResult(E_OUTOFMEMORY, "Unable to create SafeArray");
    KelvSafeArray array = CreateBstrSafeArray(static_cast<ULONG>(texts.size()));
    LONG index = 0;
    for (const std::string& text : texts)
        array.PutString(index++, text);
    return array;
}

} // namespace

KelvSafeArray CreateBstrSafeArray(SAFEARRAYBOUND* bounds, UINT dimensions)
{
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, dimensions, bounds);
    if (!array)
        throw KelvResult(E_OUTOFMEMORY, "Unable to create SafeArray");
    return KelvSafeArray(array);
}

KelvSafeArray CreateBstrSafeArray(ULONG count)
{
    SAFEARRAYBOUND bound{count, 0};
    return CreateBstrSafeArray(&bound, 1);
}

KelvSafeArray BstrArrayFromBstrs(std::vector<BSTR>& strings)
{
    KelvSafeArray array;
    try {
        array = CreateBstrSafeArray(static_cast<ULONG>(strings.size()));
    } catch (...) {
        FreeAll(strings);
        throw;
    }
    void* data = nullptr;
    const HRESULT hr = SafeArrayAccessData(array.Get(), &data);
    if (FAILED(hr)) {
        FreeAll(strings);
        throw KelvResult(hr, "Unable to fill SafeArray");
    }
    BSTR* elements = static_cast<BSTR*>(data);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        elements[i] = strings[i];
        strings[i] = nullptr;
    }
    SafeArrayUnaccessData(array.Get());
    return array;
}

KelvSafeArray StringListToBstrArray(const std::vector<std::string>& list)
{
    return ToArray(list);
}

KelvSafeArray StringListToBstrArray(const std::list<std::string>& list)
{
    return ToArray(list);
}

void StringListToBstrArray(const std::vector<std::string>& list, SAFEARRAY** out)
{
    if (!out)
        throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
    StringListToBstrArray(list).StoreIn(out);
}

} // namespace ZelmArrays
