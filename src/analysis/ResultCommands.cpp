// The structure and trajectory commands of the analysis component: the
// final structure of the selected run written back into a structure
// document, and a trajectory document built from the run; with the answers
// to whether each can run.
#include "analysis/AnalysisSupport.h"
#include "common/ResultFiles.h"
#include "analysis/ZelmAnalysis.h"
#include "job/ZelmJob.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/AtomicIndexMap.h"
#include "readers/OutputFileReader.h"
#include "readers/StructureUpdater.h"
#include "setup/SurfaceRunInfo.h"
#include "setup/ZelmRunInfo.h"

using namespace ZelmAnalysisSupport;

namespace {

constexpr const char* TrajectoryFormat = "SDModel3dImportExport.QTDImportExport";
constexpr const char* NoSourceDocument = "No structure document supplied.";
constexpr LONG RenameMakeUnique = SBDiskMakeUnique;
constexpr LONG RenameOverwrite = SBDiskOverwrite;
constexpr DWORD InProcLocalRemote = 21;

// Writes the document into a trajectory document file at `path`.
void SaveAsTrajectoryDocument(ISBDocumentRoot* source, const std::string& path)
{
    KelvComPtr<ISBStream> stream;
    Kelv::KelvCreateImpl(CLSID_SBStream, nullptr, InProcLocalRemote, IID_ISBStream, stream.ReceiveVoid(), true);
    KelvResult::Check(stream->Open(SBStreamWrite, KelvVariant(path).Get()));
    const KelvComPtr<ISBPersistable> persistable =
        KelvComPtr<IUnknown>(static_cast<IUnknown*>(source)).QueryInterface<ISBPersistable>();
    const HRESULT saved = persistable->SaveTo(stream.get(), KelvVariant(TrajectoryFormat).Get(), KelvVariant().Get());
    if (FAILED(saved)) {
        KelvResult::SetLastError(saved);
        stream->Close();
        throw KelvResult::LastErrorCheckNotS_OK();
    }
    KelvResult::Check(stream->Close());
}

} // namespace

// --- structure ------------------------------------------------------------------

HRESULT CZelmAnalysis::get_CanUpdateStructure(VARIANT_BOOL* pCanUpdateStructure)
{
    return RunCommand([&] {
        RequireOutput(pCanUpdateStructure);
        *pCanUpdateStructure = VARIANT_FALSE;
        get_ContainsResultsForProperty(KelvBSTR(ResultCategoryStructure()).Get(), pCanUpdateStructure);
        // The archive of the run that UpdateStructure writes back.
        const std::string archive =
            m_resultsFolder +
            PathUtilities::ExtensionReplaced(SelectedResult(ResultCategoryStructure()),
                                             CZelmRunInfo::ArchiveFileExtension());
        if (!DiskUtilities::FileExists(archive))
            *pCanUpdateStructure = VARIANT_FALSE;
        // A run that failed says why.
        const VARIANT_BOOL can = *pCanUpdateStructure;
        *pCanUpdateStructure = VARIANT_FALSE;
        COutputFileReader::CheckRunSucceeded(
            m_resultsFolder + PathUtilities::ExtensionReplaced(SelectedResult(ResultCategoryStructure()),
                                                               CZelmRunInfo::OutputFileExtension()));
        *pCanUpdateStructure = can;
    });
}

HRESULT CZelmAnalysis::UpdateStructure(ISBDocumentRoot* pDocRoot)
{
    return RunCommand([&] {
        if (!pDocRoot)
            throw KelvResult(E_POINTER, NoSourceDocument);
        const std::string seed = SeedNameFromPath(SelectedResult(ResultCategoryStructure()));
        const std::string archive = m_resultsFolder + seed + CZelmRunInfo::ArchiveFileExtension();
        const std::string output = m_resultsFolder + seed + CZelmRunInfo::OutputFileExtension();
        const int code = COutputFileReader::ScanRunType(output);

        KelvComPtr<ISBContainerRoot> root = Root();
        KelvComPtr<ISBDocumentRoot> document(pDocRoot);
        CAtomicIndexMap map;
        if (code == COutputFileReader::RunSurface) {
            const CSurfaceRunInfo surface(root, document);
            map = surface.m_atomIndexMap;
        }
        UpdateStructureFromOutput(root, document, archive, map);
    });
}

// --- trajectory --------------------------------------------------------------------

HRESULT CZelmAnalysis::get_CanCreateTrajectory(VARIANT_BOOL* pCanCreateTrajectory)
{
    return RunCommand([&] {
        RequireOutput(pCanCreateTrajectory);
        *pCanCreateTrajectory = VARIANT_FALSE;
        get_ContainsResultsForProperty(KelvBSTR(ResultCategoryStructure()).Get(), pCanCreateTrajectory);
        if (*pCanCreateTrajectory == VARIANT_FALSE)
            return;
        // The run that CreateTrajectory builds from.
        const std::string selection = SelectedResult(ResultCategoryStructure());
        // A run that failed says why.
        *pCanCreateTrajectory = VARIANT_FALSE;
        COutputFileReader::CheckRunSucceeded(m_resultsFolder + selection);
        *pCanCreateTrajectory = VARIANT_TRUE;
        const int code = COutputFileReader::ScanRunType(m_resultsFolder + selection);
        std::vector<std::string> needed;
        if (code == COutputFileReader::RunGeomOpt || code == COutputFileReader::RunSurface)
            needed = {CZelmRunInfo::ArchiveFileExtension()};
        else if (code == COutputFileReader::RunDynamics)
            needed = {CZelmRunInfo::TrajectoryFileExtension(), CZelmRunInfo::ArchiveFileExtension()};
        for (const std::string& extension : needed)
            if (!DiskUtilities::FileExists(m_resultsFolder + PathUtilities::ExtensionReplaced(selection, extension)))
                *pCanCreateTrajectory = VARIANT_FALSE;
    });
}

HRESULT CZelmAnalysis::CreateTrajectory(ISBDocumentRoot* pSourceDocRoot, ISBDocumentRoot** pTrajDocInfo)
{
    return RunCommand([&] {
        RequireOutput(pTrajDocInfo);
        *pTrajDocInfo = nullptr;
        if (!pSourceDocRoot)
            throw KelvResult(E_POINTER, NoSourceDocument);
        const std::string seed = SeedNameFromPath(SelectedResult(ResultCategoryStructure()));
        *pTrajDocInfo = BuildTrajectory(pSourceDocRoot, seed).Detach();
    });
}

void CZelmAnalysis::PurgeTrajectoryDocument(const std::string& path, const std::string& archive)
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDiskManager> disk = DiskManagerOf(root);
    const bool keepArchive = DiskUtilities::FileExists(archive);
    // The document's files go with it; the run's archive is moved aside
    // meanwhile and always comes back, or the run would drop out of its
    // categories.
    KelvBSTR aside;
    if (keepArchive)
        KelvResult::Check(disk->RenameFile(KelvBSTR(archive).Get(), KelvBSTR(archive + "copy").Get(), RenameMakeUnique,
                                           aside.Receive()));
    try {
        const KelvComPtr<ISBDocumentManager> documents = DocumentManagerOf(root);
        KelvComPtr<ISBDocumentRoot> old;
        KelvResult::Check(documents->FindDocument(KelvBSTR(path).Get(), old.Receive()));
        if (old)
            KelvResult::Check(documents->PurgeDocument(old.get(), SBPurgeDeleteFiles));
    } catch (...) {
        if (keepArchive)
            disk->RenameFile(aside.Get(), KelvBSTR(archive).Get(), RenameOverwrite, nullptr);
        throw;
    }
    if (keepArchive) {
        KelvBSTR back;
        KelvResult::Check(disk->RenameFile(aside.Get(), KelvBSTR(archive).Get(), RenameOverwrite, back.Receive()));
    }
}

void CZelmAnalysis::RemoveTrajectoryDocument(const std::string& path, const std::string& archive) noexcept
{
    try {
        if (DiskUtilities::FileExists(path))
            PurgeTrajectoryDocument(path, archive);
    } catch (...) {
        // The file itself goes below.
    }
    try {
        if (DiskUtilities::FileExists(path))
            DiskManagerOf(Root())->DeleteFile(KelvBSTR(path).Get(), 0);
    } catch (...) {
        // The build's own error is the one reported.
    }
}

KelvComPtr<ISBDocumentRoot> CZelmAnalysis::BuildTrajectory(ISBDocumentRoot* source, const std::string& seed)
{
    Kelv::CheckNullDereference(source);
    const std::string base = m_resultsFolder + seed;
    const std::string output = base + CZelmRunInfo::OutputFileExtension();
    const std::string trajectory = base + CZelmRunInfo::TrajectoryDocumentExtension();
    if (DiskUtilities::FileExists(trajectory))
        PurgeTrajectoryDocument(trajectory, base + CZelmRunInfo::ArchiveFileExtension());

    // The trajectory document stands over its frames file (".trj"), which
    // the import writes beside it. When the import fails, the document goes
    // again: left alone it would pass for a built trajectory, and the energy
    // charts would be tied to it.
    SaveAsTrajectoryDocument(source, trajectory);
    KelvComPtr<ISBContainerRoot> root = Root();
    try {
        int code = COutputFileReader::ScanRunType(output);
        CZelmJob::ImportTrajectory(root, base, &code);
    } catch (...) {
        RemoveTrajectoryDocument(trajectory, base + CZelmRunInfo::ArchiveFileExtension());
        throw;
    }

    KelvComPtr<ISBDocumentRoot> document;
    KelvResult::Check(DocumentManagerOf(root)->ImportDocumentReference(0, KelvBSTR(trajectory).Get(),
                                                                       document.Receive()));
    return document;
}

