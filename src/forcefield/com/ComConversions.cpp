#include "forcefield/com/ComConversions.h"

namespace ForcefieldCom {

std::list<std::string> BstrArrayToStringList(SAFEARRAY** array)
{
    if (!array || !*array)
        throw KelvResult(E_FAIL, "Null SafeArray pointer specified.");
    // An element type that cannot be read is as inconsistent as a wrong one:
    // reading such an array as strings would read whatever it holds.
    VARTYPE type = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(*array, &type)) || type != VT_BSTR)
        throw KelvResult(E_FAIL, "inconsistent SafeArray types");

    SAFEARRAY* copied = nullptr;
    const HRESULT hr = SafeArrayCopy(*array, &copied);
    if (FAILED(hr) || !copied) {
        KelvResult::SetLastError(FAILED(hr) ? hr : E_OUTOFMEMORY);
        throw KelvResult::LastError();
    }
    const KelvSafeArray copy(copied);

    const UINT dimensions = SafeArrayGetDim(copied);
    ULONG count = dimensions == 0 ? 0 : 1;
    for (UINT d = 0; d < dimensions; ++d)
        count *= copied->rgsabound[d].cElements;

    std::list<std::string> texts;
    void* data = nullptr;
    KelvResult::Check(SafeArrayAccessData(copied, &data));
    const BSTR* elements = static_cast<const BSTR*>(data);
    for (ULONG i = 0; i < count; ++i)
        texts.push_back(Kelv::BSTRToTString(elements[i]));
    SafeArrayUnaccessData(copied);
    return texts;
}

}  // namespace ForcefieldCom
