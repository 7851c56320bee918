// The module's entry routine and its four COM exports, over the class table
// that each build links.
#include "frame/ClassTable.h"

#include <atomic>
#include <string>

#include "kelv/kelv.h"

namespace QorZelm {
namespace {

// Set the first time the table is handed over; it never goes back to false.
std::atomic<bool> moduleEnabled{false};

// Hands the table over unless that already happened: what every export does
// first, without an instance handle.
void EnsureEnabled()
{
    bool expected = false;
    if (moduleEnabled.compare_exchange_strong(expected, true)) {
        CKelvFactoryData::EnableFactoryComponents(nullptr, ClassTable(), ClassTableSize());
    }
}

// Linux calls no entry routine: a library constructor plays the attach
// notification, with an address inside this library as its instance handle.
const char instanceAnchor = 0;

__attribute__((constructor)) void AttachOnLoad()
{
    DllMain(&instanceAnchor, 1, nullptr);
}

}  // namespace

HRESULT ClassNotInThisBuild(REFCLSID clsid, void** out)
{
    if (out != nullptr) {
        *out = nullptr;
    }
    const char* name = "an unknown class";
    const CKelvFactoryData* table = ClassTable();
    for (LONG row = 0; row < ClassTableSize(); ++row) {
        if (IsEqualGUID(*table[row].clsid, clsid)) {
            name = table[row].progId;
        }
    }
    return Kelv::CaughtKelvResult(
        KelvResult(CLASS_E_CLASSNOTAVAILABLE, std::string("The class ") + name + " is not available in this build of QorZelm."),
        clsid, IID_IClassFactory);
}

bool ModuleEnabled()
{
    return moduleEnabled.load();
}

void EnableModule(HINSTANCE instance)
{
    moduleEnabled.store(true);
    CKelvFactoryData::EnableFactoryComponents(instance, ClassTable(), ClassTableSize());
}

}  // namespace QorZelm

extern "C" BOOL DllMain(HINSTANCE instance, DWORD reason, void* /*reserved*/)
{
    if (reason == 1) {
        QorZelm::EnableModule(instance);
    }
    return 1;
}

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    QorZelm::EnsureEnabled();
    return CKelvFactoryData::GetClassObject(clsid, iid, out);
}

extern "C" HRESULT DllCanUnloadNow()
{
    QorZelm::EnsureEnabled();
    return CKelvFactoryData::CanUnloadNow();
}

extern "C" HRESULT DllRegisterServer()
{
    QorZelm::EnsureEnabled();
    return CKelvFactoryData::RegisterAll();
}

extern "C" HRESULT DllUnregisterServer()
{
    QorZelm::EnsureEnabled();
    return CKelvFactoryData::UnregisterAll();
}
