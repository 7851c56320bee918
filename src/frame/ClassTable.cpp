#include "frame/ClassTable.h"

#include "analysis/ZelmAnalysis.h"
#include "common/ModuleIds.h"
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
    return ClassNotInThisBuild(*Clsid, out);
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

}  // namespace

const CKelvFactoryData* ClassTable()
{
    return classTable;
}

LONG ClassTableSize()
{
    return ClassTableCount;
}

}  // namespace QorZelm
