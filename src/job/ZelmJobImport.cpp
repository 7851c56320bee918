// The import of a job's results at completion: the final structure written
// back into the structure document, the trajectory document, or the fitted
// library of a Fit run.
#include "job/ZelmJob.h"

#include "common/ResultFiles.h"
#include "forcefield/DumpToLibraryConverter.h"
#include "readers/OutputFileReader.h"
#include "readers/StructureUpdater.h"
#include "readers/ZelmGeomOptTrjDataProvider.h"
#include "readers/ZelmMolDynTrjDataProvider.h"
#include "setup/SurfaceRunInfo.h"
#include "setup/ZelmRunInfo.h"

#include "qorqm/CDocManagementUtility.h"
#include "qorqm/CTrjWriter.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/AtomicIndexMap.h"

#include <memory>

namespace {

const char* const StructureDocumentType = "SDDocuments.Atomistic3dDocument";
const char* const StructureImporter = "QorZelm.ZelmStructureImporter";
const char* const StructureExporter = "SDModel3dImportExport.QSDImportExport";

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

KelvComPtr<ISBDocumentManager> DocumentManager(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvComPtr<ISBDocumentManager> manager;
    Check(root->get_DocumentManager(manager.Receive()));
    Kelv::CheckNullDereference(manager.get());
    return manager;
}

KelvComPtr<ISBDiskManager> DiskManager(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvComPtr<ISBDiskManager> manager;
    Check(root->get_DiskManager(manager.Receive()));
    Kelv::CheckNullDereference(manager.get());
    return manager;
}

KelvComPtr<ISBDocumentRoot> ImportStructureDocument(const KelvComPtr<ISBDocumentManager>& manager,
                                                    const std::string& path)
{
    KelvComPtr<ISBDocumentRoot> document;
    Check(manager->ImportDocument(0, KelvBSTR(path).Get(), KelvBSTR(StructureDocumentType).Get(),
                                  KelvBSTR(StructureImporter).Get(), KelvVariant().Get(), document.Receive()));
    return document;
}

// The surface run's atom map of the document.
CAtomicIndexMap SurfaceMap(const KelvComPtr<ISBContainerRoot>& root, const KelvComPtr<ISBDocumentRoot>& document)
{
    const CSurfaceRunInfo surface(root, document);
    CAtomicIndexMap map;
    map.Copy(surface.m_atomIndexMap);
    return map;
}

} // namespace

void CZelmJob::ImportResults()
{
    m_jobHandler.OnJobComplete();
    const std::string base = m_jobHandler.GetResultsFolder().ToTString() + m_jobHandler.GetTaskPrefix().ToTString();
    const std::string task = m_jobHandler.GetTaskTypeDescription().ToTString();
    const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);

    // An engine that reported an error made no results to import, whatever
    // files it left: the job fails with the engine's reason (the files are
    // home already).
    COutputFileReader::CheckRunSucceeded(base + CZelmRunInfo::OutputFileExtension());

    if (task == "Energy")
        return;
    if (task == "GeomOpt" || task == "Dynamics") {
        ImportResultStructure(root, base, true);
        const int kind = task == "GeomOpt" ? 2 : 3;
        ImportTrajectory(root, base, &kind);
        const std::string trajectory = base + CZelmRunInfo::TrajectoryDocumentExtension();
        if (!DiskUtilities::FileExists(trajectory)) {
            Check(DiskManager(root)->CopyFile(KelvBSTR(base + StructureDocumentExtension()).Get(),
                                              KelvBSTR(trajectory).Get(), SBDiskOverwrite, nullptr));
        }
        KelvComPtr<ISBDocumentRoot> document;
        Check(DocumentManager(root)->ImportDocumentReference(0, KelvBSTR(trajectory).Get(), document.Receive()));
        return;
    }
    if (task == "Fit") {
        // A missing or unreadable dump is thrown by the converter, naming the
        // file: the completion then reports it.
        const std::unique_ptr<CDumpToLibraryConverter> converter = std::make_unique<CDumpToLibraryConverter>(
            base + CZelmRunInfo::DumpFileExtension(), base + CZelmRunInfo::LibraryFileExtension());
        Check(DocumentManager(root)->Synchronize());
        return;
    }
    if (task == "Surface") {
        ImportResultStructure(root, base, false);
        const int kind = 5;
        ImportTrajectory(root, base, &kind);
    }
}

void CZelmJob::ImportResultStructure(KelvComPtr<ISBContainerRoot> root, const std::string& base, bool defaultMap)
{
    std::string arc = base + CZelmRunInfo::ArchiveFileExtension();
    if (!DiskUtilities::FileExists(arc))
        return;
    const CDocManagementUtility documents(root);
    KelvComPtr<ISBDocumentRoot> document = documents.FindDocument(base, StructureDocumentExtension());
    const KelvComPtr<ISBDocumentManager> manager = DocumentManager(root);
    if (document) {
        CAtomicIndexMap map;
        if (defaultMap)
            map.Copy(CAtomicIndexMap::Default);
        else
            map.Copy(SurfaceMap(root, document));
        UpdateStructureFromOutput(root, document, arc, map);
    } else {
        document = ImportStructureDocument(manager, base + StructureDocumentExtension());
        // The importer applies the archive in the engine's order; a surface
        // run numbers its atoms by region, so the frame is applied again
        // through the surface map.
        if (document && !defaultMap) {
            CAtomicIndexMap map = SurfaceMap(root, document);
            UpdateStructureFromOutput(root, document, arc, map);
        }
    }
    if (document) {
        Check(manager->ExportDocument(document.get(), 0, KelvBSTR(StructureExporter).Get(), KelvVariant().Get(),
                                      KelvBSTR().Get()));
    }
}

void CZelmJob::ImportTrajectory(KelvComPtr<ISBContainerRoot> root, const std::string& base, const int* kind)
{
    const CDocManagementUtility documents(root);
    KelvComPtr<ISBDocumentRoot> document = documents.FindDocument(base, StructureDocumentExtension());
    const KelvComPtr<ISBDocumentManager> manager = DocumentManager(root);
    if (!document) {
        // Without a structure document there is nothing to import the
        // trajectory from unless a trajectory document stands there already
        // (the structure step made none because the run left no archive).
        const std::string trajectory = base + CZelmRunInfo::TrajectoryDocumentExtension();
        if (!DiskUtilities::FileExists(trajectory))
            return;
        document = ImportStructureDocument(manager, trajectory);
    }

    std::unique_ptr<CTrjDataProvider> provider;
    switch (*kind) {
    case 2:
        provider.reset(CreateZelmGeomOptTrjDataProvider(base, root, document, false));
        break;
    case 5:
        provider.reset(CreateZelmGeomOptTrjDataProvider(base, root, document, true));
        break;
    case 3:
        provider.reset(CZelmMolDynTrjDataProvider::Create(base));
        break;
    default:
        break;
    }
    // An earlier run's frames of the same name go first, also when this run
    // gives none: the trajectory document opens whatever ".trj" stands beside it.
    const KelvComPtr<ISBDiskManager> disk = DiskManager(root);
    const std::string name = PathUtilities::ExtensionRemoved(base + CZelmRunInfo::TrajectoryDocumentExtension());
    const std::string trj = name + ".trj";
    if (DiskUtilities::FileExists(trj))
        disk->DeleteFile(KelvBSTR(trj).Get(), 0);
    if (!provider)
        return;
    const HRESULT hr = CTrjWriter().WriteTrajFile(*provider, KelvBSTR(name));
    // A trajectory that was not written is reported: the trajectory document
    // would otherwise be opened over a missing or partial ".trj".
    if (FAILED(hr)) {
        KelvResult::SetLastError(hr);
        const KelvResult failure = KelvResult::LastErrorCheckNotS_OK();
        provider.reset();
        throw failure;
    }
    Check(disk->put_Hidden(KelvBSTR(trj).Get(), VARIANT_TRUE));
}
