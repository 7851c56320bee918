// The earlier build's class table: the four classes it shares with the
// current build, under the same identifiers, descriptions and ProgIDs.
#include "frame/ClassTable.h"

#include "analysis/ZelmAnalysis.h"
#include "common/ModuleIds.h"
#include "job/ZelmJob.h"
#include "kelv/kelv.h"
#include "readers/ZelmStructureImporter.h"
#include "setup/Zelm.h"

namespace QorZelm {
namespace {

inline constexpr LONG EarlierClassTableCount = 4;

const CKelvFactoryData classTable[EarlierClassTableCount] = {
    {&CLSID_ZelmLogic, &CZelm::CreateZelmLogic, "Velomar: Zelm Logic component",
     "QorZelm.ZelmLogic.1", "QorZelm.ZelmLogic", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmAnalysis, &CZelmAnalysis::CreateInstance, "Velomar: Zelm Analysis Logic component",
     "QorZelm.ZelmAnalysis.1", "QorZelm.ZelmAnalysis", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmJob, &CZelmJob::CreateInstance, "Velomar: Zelm Job Logic component",
     "QorZelm.ZelmJob.1", "QorZelm.ZelmJob", &LIBID_QorZelm, 0, 0},
    {&CLSID_ZelmStructureImporter, &CreateZelmStructureImporter,
     "Velomar: ZelmStructureImporter merge importer component", "QorZelm.ZelmStructureImporter.1",
     "QorZelm.ZelmStructureImporter", &LIBID_QorZelm, 0, 0},
};

}  // namespace

const CKelvFactoryData* ClassTable()
{
    return classTable;
}

LONG ClassTableSize()
{
    return EarlierClassTableCount;
}

}  // namespace QorZelm
