#include "frame/ClassTable.h"

#include <atomic>
#include <cmath>
#include <string>

#include "analysis/ZelmAnalysis.h"
#include "frame/ModuleIds.h"
#include "analysis/ZelmResultsInfo.h"
#include "job/ZelmJob.h"
#include "setup/Zelm.h"
#include "setup/ZelmObservableData.h"
#include "kelv/kelv.h"
#include "readers/ZelmStructureImporter.h"
#include "setup/SurfaceCalculator.h"

namespace QorZelm {
namespace {

// Create function of a row whose class this build does not contain yet: it
// creates nothing and says which class is missing.
template <const CLSID* Clsid>
HRESULT ClassNotAvailable(void** out)
{
    if (out != nullptr) {
        *out = nullptr;
    }
    const char* name = "an unknown class";
    const CKelvFactoryData* table = ClassTable();
    for (LONG row = 0; row < ClassTableCount; ++row) {
        if (IsEqualGUID(*table[row].clsid, *Clsid)) {
            name = table[row].progId;
        }
    }
    return Kelv::CaughtKelvResult(
        KelvResult(CLASS_E_CLASSNOTAVAILABLE, std::string("The class ") + name + " is not available in this build of QorZelm."),
        *Clsid, IID_IClassFactory);
}

const CKelvFactoryData classTable[ClassTableCount] = {
    {&CLSID_ZelmLogic, &CZelm::CreateZelmLogic, "Velomar: Zelm Logic component",
     "QorZelm.ZelmLogic.1", "QorZelm.ZelmLogic", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmAnalysis, &CZelmAnalysis::CreateInstance, "Velomar: Zelm Analysis Logic component",
     "QorZelm.ZelmAnalysis.1", "QorZelm.ZelmAnalysis", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmJob, &CZelmJob::CreateInstance, "Velomar: Zelm Job Logic component",
     "QorZelm.ZelmJob.1", "QorZelm.ZelmJob", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmStructureImporter, &CreateZelmStructureImporter,
     "Velomar: ZelmStructureImporter merge importer component", "QorZelm.ZelmStructureImporter.1",
     "QorZelm.ZelmStructureImporter", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmObservableData, &CZelmObservableData::CreateInstance, "Velomar: ZelmObservabledata component",
     "QorZelm.ZelmObservableData.1", "QorZelm.ZelmObservableData", &LIBID_QorZelm, 0, 0},
    {&CLSID_SurfaceCalculator, &CSurfaceCalculator::CreateInstance,
     "Velomar: Zelm logic component for surface calculations", "QorZelm.SurfaceCalculator.1",
     "QorZelm.SurfaceCalculator", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmResultsInfo, &CZelmResultsInfo::CreateZelmResultsInfo,
     "Velomar: Zelm logic component for results wrapper", "QorZelm.ZelmResultsInfo.1",
     "QorZelm.ZelmResultsInfo", &LIBID_QorZelm, 0, 0},
};

// Set the first time the table is handed over; it never goes back to false.
std::atomic<bool> moduleEnabled{false};

// Hands the table over unless that already happened: what every export does
// first, without an instance handle.
void EnsureEnabled()
{
    bool expected = false;
    if (moduleEnabled.compare_exchange_strong(expected, true)) {
        CKelvFactoryData::EnableFactoryComponents(nullptr, classTable, ClassTableCount);
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

const CKelvFactoryData* ClassTable()
{
    return classTable;
}

bool ModuleEnabled()
{
    return moduleEnabled.load();
}

void EnableModule(HINSTANCE instance)
{
    moduleEnabled.store(true);
    CKelvFactoryData::EnableFactoryComponents(instance, classTable, ClassTableCount);
}

int32_t RoundToNearest(const double* value)
{
    const double x = *value;
    const double f = std::floor(x);
    const double c = std::ceil(x);
    return static_cast<int32_t>((c - x) <= (x - f) ? c : f);
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
