#include "hostapi/InterfaceTable.h"

#include "hostapi/hostapi.h"

namespace HostApi {

namespace {

template <class I>
InterfaceEntry Entry(const char* name)
{
    return InterfaceEntry{name, &uuidof<I>()};
}

} // namespace

const std::vector<InterfaceEntry>& KnownInterfaces()
{
    static const std::vector<InterfaceEntry> table = {
        Entry<ISBState>("ISBState"),
        Entry<ISBLogic>("ISBLogic"),
        Entry<ISBLogics>("ISBLogics"),
        Entry<ISBExtension>("ISBExtension"),
        Entry<ISBExtensions>("ISBExtensions"),
        Entry<ISBModuleManager>("ISBModuleManager"),
        Entry<ISBContainerRoot>("ISBContainerRoot"),
        Entry<ISBContainerRootConsumer>("ISBContainerRootConsumer"),
        Entry<ISBDiskManager>("ISBDiskManager"),
        Entry<ISBFileSearch>("ISBFileSearch"),
        Entry<ISBFileEnumerator>("ISBFileEnumerator"),
        Entry<ISBFolderManager>("ISBFolderManager"),
        Entry<ISBPathService>("ISBPathService"),
        Entry<ISBStateManager>("ISBStateManager"),
        Entry<ISBOperationManager>("ISBOperationManager"),
        Entry<ISBOperation>("ISBOperation"),
        Entry<ISBScopeManager>("ISBScopeManager"),
        Entry<ISBDocumentManager>("ISBDocumentManager"),
        Entry<ISBDocumentFolders>("ISBDocumentFolders"),
        Entry<ISBDocumentService>("ISBDocumentService"),
        Entry<ISBDocumentServiceProvider>("ISBDocumentServiceProvider"),
        Entry<ISBDocumentRoot>("ISBDocumentRoot"),
        Entry<ISBDocumentInfo>("ISBDocumentInfo"),
        Entry<ISBScope>("ISBScope"),
        Entry<ISBScopeObjects>("ISBScopeObjects"),
        Entry<ISDObject>("ISDObject"),
        Entry<ISDPoint3d>("ISDPoint3d"),
        Entry<ISDMatrix3d>("ISDMatrix3d"),
        Entry<ISDFraction>("ISDFraction"),
        Entry<ISDVariantDataDimension>("ISDVariantDataDimension"),
        Entry<ISDLattice3D>("ISDLattice3D"),
        Entry<ISDLattice2D>("ISDLattice2D"),
        Entry<ISDSymmetryOperator>("ISDSymmetryOperator"),
        Entry<ISDLatticeFrame>("ISDLatticeFrame"),
        Entry<ISDPointConverter>("ISDPointConverter"),
        Entry<ISDSurfaceDescription>("ISDSurfaceDescription"),
        Entry<ISDNamedSets>("ISDNamedSets"),
        Entry<ISDPropertyService>("ISDPropertyService"),
        Entry<ISDPropertyTemplate>("ISDPropertyTemplate"),
        Entry<ISDTextDocument>("ISDTextDocument"),
        Entry<ISBStream>("ISBStream"),
        Entry<ISBPersistable>("ISBPersistable"),
        Entry<ISBImporter>("ISBImporter"),
        Entry<ISDAtomisticModel>("ISDAtomisticModel"),
        Entry<ISBJobManager>("ISBJobManager"),
        Entry<ISBManagedTask>("ISBManagedTask"),
        Entry<ISBManagedJob>("ISBManagedJob"),
        Entry<ISBFileTransferItem>("ISBFileTransferItem"),
        Entry<ISBManagedJobEvents>("ISBManagedJobEvents"),
        Entry<ISBManagedJobFiles>("ISBManagedJobFiles"),
        Entry<ISDChart2dDocument>("ISDChart2dDocument"),
        Entry<ISDChart2dCollection>("ISDChart2dCollection"),
        Entry<ISDChart2d>("ISDChart2d"),
        Entry<ISDChart2dGraphs>("ISDChart2dGraphs"),
        Entry<ISDChart2dGraph>("ISDChart2dGraph"),
        Entry<ISDChart2dAxisMarks>("ISDChart2dAxisMarks"),
        Entry<IQoQMAnalysisScope>("IQoQMAnalysisScope"),
        Entry<IQoQMAnalysisEvents>("IQoQMAnalysisEvents"),
        Entry<IQoQMDataProvider>("IQoQMDataProvider"),
        Entry<IQoPhononDispersionData>("IQoPhononDispersionData"),
        Entry<IQoPhononDispersionGenerator>("IQoPhononDispersionGenerator"),
        Entry<IQoForcefieldEditor>("IQoForcefieldEditor"),
        Entry<IQoForcefield>("IQoForcefield"),
        Entry<IQoServerDescription>("IQoServerDescription"),
        Entry<IQoAtomType>("IQoAtomType"),
        Entry<IQoInteraction>("IQoInteraction"),
        Entry<IQoParameter>("IQoParameter"),
        Entry<IQoEditedForcefieldConsumer>("IQoEditedForcefieldConsumer"),
        Entry<IQoScopeUtility>("IQoScopeUtility"),
        Entry<IQoForcefieldChooser>("IQoForcefieldChooser"),
        Entry<IQoChooserForcefield>("IQoChooserForcefield"),
        Entry<IQoKPointSetGenerator>("IQoKPointSetGenerator"),
        Entry<IQoDispersionPathGenerator>("IQoDispersionPathGenerator"),
        Entry<IQoDispersionPath>("IQoDispersionPath"),
        Entry<IQoDispersionPathPointKinds>("IQoDispersionPathPointKinds"),
        Entry<IQoFixedAtomRestriction>("IQoFixedAtomRestriction"),
        Entry<IQoAtomNumbering>("IQoAtomNumbering"),
        Entry<IQoAtomNumberingSource>("IQoAtomNumberingSource"),
        Entry<IQoScopeHolder>("IQoScopeHolder"),
    };
    return table;
}

std::string InterfaceName(REFIID iid)
{
    for (const InterfaceEntry& entry : KnownInterfaces()) {
        if (*entry.iid == iid)
            return entry.name;
    }
    return std::string();
}

} // namespace HostApi
