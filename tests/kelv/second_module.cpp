// A second module linked into the test program: it has a class table of its
// own, which must not mix with the test program's.
#include "kelv/KelvInProc.h"

#define SECOND_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{
constexpr CLSID kSecond = {0xbbbb0001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};

class CSecond : public CKelvUnknown
{
};

HRESULT CreateSecond(void** out)
{
    *out = static_cast<IDelegatedUnknown*>(new CSecond);
    return S_OK;
}

const CKelvFactoryData kTable[] = {
    {&kSecond, &CreateSecond, "Second module component", "KelvTests.Second.1", "KelvTests.Second", &GUID_NULL, 0, 0},
};
} // namespace

SECOND_MODULE_EXPORT void SecondModuleEnable()
{
    CKelvFactoryData::EnableFactoryComponents(nullptr, kTable, 1);
}

SECOND_MODULE_EXPORT HRESULT SecondModuleGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    return CKelvFactoryData::GetClassObject(clsid, iid, out);
}

SECOND_MODULE_EXPORT HRESULT SecondModuleCanUnloadNow()
{
    return CKelvFactoryData::CanUnloadNow();
}
