// The structure and trajectory commands of the analysis component: the
// final structure of the selected run written back into a structure
// document, and a trajectory document built from the run; with the answers
// to whether each can run.
#include "analysis/AnalysisSupport.h"

#include <algorithm>
#include <climits>

#include "common/ResultFiles.h"
#include "analysis/ZelmAnalysis.h"
#include "job/ZelmJob.h"
#include "qorqm/CDocManagementUtility.h"
#include "qorqm/CTrjWriter.h"
#include "qorqm/DiskUtilities.h"
#include "common/ProjectPaths.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/AtomicIndexMap.h"
#include "readers/OutputFileReader.h"
#include "readers/StructureUpdater.h"
#include "readers/TrajectoryArchive.h"
#include "readers/ZelmMolDynTrjDataProvider.h"
#include "setup/SurfaceRunInfo.h"
#include "setup/ZelmRunInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "com/regularfile.h"


using namespace ZelmAnalysisSupport;

namespace {

constexpr const char* TrajectoryFormat = "SDModel3dImportExport.QTDImportExport";
constexpr const char* NoSourceDocument = "No structure document supplied.";
constexpr LONG RenameMakeUnique = SBDiskMakeUnique;
constexpr LONG RenameOverwrite = SBDiskOverwrite;
constexpr DWORD InProcLocalRemote = 21;

// Why the trajectory document cannot be written at `path` (a file of the
// run that the command picks itself): a link leading out of the project, or
// what stands there and is no file; nothing is written. The document's save
// refuses the same.
void CheckTrajectoryDocumentPlace(const std::string& path, const std::string& project)
{
    const std::string leaving = LinkLeavingProject(path, project);
    if (!leaving.empty())
        throw KelvResult(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The trajectory document \"" +
                                                                  MessageText::Excerpt(path) +
                                                                  "\" cannot be written: " + leaving + ".");
    // What stands at its name, looked at beneath the project that holds it
    // (as named elsewhere): the stream the save opens refuses what is no file.
    const RegularFile::Folder held(PathUtilities::ToNative(project));
    std::string way;
    int fd = -1;
    if (held.IsOpen() && held.Holds(PathUtilities::ToNative(path), way))
        fd = held.OpenIn(way, O_PATH);
    else
        fd = ::open(PathUtilities::ToNative(path).c_str(), O_PATH | O_CLOEXEC);
    if (fd >= 0) {
        struct stat status {};
        const bool looked = ::fstat(fd, &status) == 0;
        ::close(fd);
        if (looked && !S_ISREG(status.st_mode))
            throw KelvResult(E_ACCESSDENIED,
                             "The file \"" + path + "\" " + RegularFile::WhatItIs(status.st_mode) + ".");
    }
    // The save makes a new file beside it: its folder must take one.
    const std::string why = CReplaceFile::WhyRefused(path, project);
    if (!why.empty())
        throw KelvResult(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The trajectory document \"" +
                                                                  MessageText::Excerpt(path) +
                                                                  "\" cannot be written: " + why + ".");
}

// Writes the document into a trajectory document file at `path`, whose
// place the preparation checked (CheckTrajectoryDocumentPlace).
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

// The output of a seed as the messages name it.
std::string OutputName(const std::string& seed)
{
    return "\"" + seed + CZelmRunInfo::OutputFileExtension() + "\"";
}

// Throws why the archive gives no frame: it cannot be read, or the archive
// reader finds no whole frame in it (`noFrame`). The frames are read in
// memory: asking writes nothing.
void CheckArchiveGivesFrame(const std::string& archive, const CAtomicIndexMap& map, const std::string& noFrame)
{
    if (SummariseTrajectoryArchive(archive, map).frames == 0)
        throw KelvResult(E_FAIL, noFrame);
}

std::string NoFinalStructure(const std::string& archive)
{
    return "The run gives no final structure: \"" + archive + "\" holds no frame that can be read.";
}

// The run's own structure document (the seed's ".qsd" in the results
// folder), whose atoms the frames take; none when the folder holds none. One
// that cannot be read fails, in the answer as in the command.
KelvComPtr<ISBDocumentRoot> RunStructureDocument(KelvComPtr<ISBContainerRoot>& root, const std::string& base)
{
    return CDocManagementUtility(root).FindDocument(base, StructureDocumentExtension());
}

} // namespace

// --- structure ------------------------------------------------------------------

std::string CZelmAnalysis::StructureSeed() const
{
    const std::string selection = SelectedResult(ResultCategoryStructure());
    if (selection.empty() || !ContainsResults(ResultCategoryStructure()))
        throw KelvResult(E_UNEXPECTED, "No run in \"" + m_resultsFolder + "\" has an archive (\"" +
                                           CZelmRunInfo::ArchiveFileExtension() +
                                           "\"): there is no structure to take from the results.");
    return SeedNameFromPath(selection);
}

StructureUpdatePlan CZelmAnalysis::PrepareStructureUpdate(const std::string& seed, ISBDocumentRoot* document) const
{
    // A run that failed or did not finish gives no final structure; its
    // type is read only from one that did.
    const std::string output = m_resultsFolder + seed + CZelmRunInfo::OutputFileExtension();
    COutputFileReader::CheckRunSucceeded(output);
    const int code = COutputFileReader::ScanRunType(output);
    KelvComPtr<ISBContainerRoot> root = Root();
    CAtomicIndexMap map;
    if (document && code == COutputFileReader::RunSurface) {
        KelvComPtr<ISBDocumentRoot> held(document);
        const CSurfaceRunInfo surface(root, held);
        map = surface.m_atomIndexMap;
    }
    const std::string archive = m_resultsFolder + seed + CZelmRunInfo::ArchiveFileExtension();
    if (!DiskUtilities::FileExists(archive))
        throw KelvResult(E_UNEXPECTED, "The run " + OutputName(seed) + " has no archive \"" + archive +
                                           "\": there is no final structure to write back.");
    // The frames are read in memory: asking writes nothing.
    StructureUpdatePlan plan = ::PrepareStructureUpdate(archive, map, ProjectFolderForWrites(root));
    if (plan.last.frames == 0)
        throw KelvResult(E_FAIL, NoFinalStructure(archive));
    return plan;
}

HRESULT CZelmAnalysis::GetArchiveFrames(BSTR bstrArchive, LONG* pWholeFrames, VARIANT_BOOL* pLastFrameCut,
                                        LONG* pDamagedFrame)
{
    return RunCommand([&] {
        RequireOutput(pWholeFrames);
        RequireOutput(pLastFrameCut);
        RequireOutput(pDamagedFrame);
        // The summary the answers read, kept for the same file.
        const TrajectoryArchiveSummary frames =
            SummariseTrajectoryArchive(Kelv::BSTRToTString(bstrArchive), CAtomicIndexMap());
        const auto count = [](std::size_t n) { return static_cast<LONG>(std::min<std::size_t>(n, LONG_MAX)); };
        *pWholeFrames = count(frames.frames);
        *pLastFrameCut = ToVariantBool(frames.lastFrameCut);
        *pDamagedFrame = count(frames.damagedFrame);
    });
}

HRESULT CZelmAnalysis::get_CanUpdateStructure(VARIANT_BOOL* pCanUpdateStructure)
{
    return RunCommand([&] {
        RequireOutput(pCanUpdateStructure);
        *pCanUpdateStructure = VARIANT_FALSE;
        // The answer is the command's preparation: a no gives the reason
        // that the command fails with.
        PrepareStructureUpdate(StructureSeed(), nullptr);
        *pCanUpdateStructure = VARIANT_TRUE;
    });
}

HRESULT CZelmAnalysis::UpdateStructure(ISBDocumentRoot* pDocRoot)
{
    return RunCommand([&] {
        if (!pDocRoot)
            throw KelvResult(E_POINTER, NoSourceDocument);
        const StructureUpdatePlan plan = PrepareStructureUpdate(StructureSeed(), pDocRoot);
        KelvComPtr<ISBContainerRoot> root = Root();
        KelvComPtr<ISBDocumentRoot> document(pDocRoot);
        CompleteStructureUpdate(root, document, plan);
    });
}

// --- trajectory --------------------------------------------------------------------

void CZelmAnalysis::CheckTrajectoryFiles(const std::string& base, int code) const
{
    const std::string output = base + CZelmRunInfo::OutputFileExtension();
    std::vector<std::string> needed;
    if (code == COutputFileReader::RunGeomOpt || code == COutputFileReader::RunSurface)
        needed = {CZelmRunInfo::ArchiveFileExtension()};
    else if (code == COutputFileReader::RunDynamics)
        needed = {CZelmRunInfo::TrajectoryFileExtension()};
    else
        throw KelvResult(E_UNEXPECTED, "The run \"" + output +
                                           "\" is no optimisation, surface or dynamics run: it has no trajectory.");
    for (const std::string& extension : needed)
        if (!DiskUtilities::FileExists(base + extension))
            throw KelvResult(E_UNEXPECTED, "The run \"" + output + "\" has no trajectory: \"" + base + extension +
                                               "\" is not there.");
    if (code != COutputFileReader::RunDynamics) {
        CheckArchiveGivesFrame(base + CZelmRunInfo::ArchiveFileExtension(), CAtomicIndexMap(),
                               CZelmJob::NoTrajectoryFrame(base, code));
    } else {
        // The trajectory file of a dynamics run as its load opens it: its
        // header, and its atoms matched to the output's cores and shells.
        CZelmMolDynTrjDataProvider::CheckTrajectoryFile(base);
    }
    // Where the build writes: the frames file, held to the run's folder as
    // its writer holds it, and the trajectory document over it.
    const std::string project = ProjectFolderForWrites(Root());
    const std::string frames = PathUtilities::ExtensionRemoved(base + CZelmRunInfo::TrajectoryDocumentExtension());
    CTrjWriter::CheckTrajFilePlace(KelvBSTR(frames), RunFileHold(frames + ".trj", project));
    CheckTrajectoryDocumentPlace(base + CZelmRunInfo::TrajectoryDocumentExtension(), project);
}

struct CZelmAnalysis::TrajectoryWork {
    std::string seed;
    std::string base;
    // The trajectory document and the run's files kept through its
    // replacement.
    std::string trajectory;
    std::vector<std::string> keep;
    CZelmJob::RunTrajectory frames;
    // The trajectory document that stands there, replaced by the new one.
    KelvComPtr<ISBDocumentRoot> old;
};

std::unique_ptr<CZelmAnalysis::TrajectoryWork> CZelmAnalysis::PrepareTrajectory(const std::string& seed,
                                                                                ISBDocumentRoot* source) const
{
    auto work = std::make_unique<TrajectoryWork>();
    work->seed = seed;
    work->base = m_resultsFolder + seed;
    const std::string output = work->base + CZelmRunInfo::OutputFileExtension();
    work->trajectory = work->base + CZelmRunInfo::TrajectoryDocumentExtension();
    COutputFileReader::CheckRunSucceeded(output);
    const int code = COutputFileReader::ScanRunType(output);
    CheckTrajectoryFiles(work->base, code);

    // The frames take the atoms of the run's structure document when the
    // folder holds one (else of the source). A run that gives no frame fails
    // here, and an earlier trajectory of the run stays as it was.
    KelvComPtr<ISBContainerRoot> root = Root();
    KelvComPtr<ISBDocumentRoot> structure = RunStructureDocument(root, work->base);
    if (!structure && source)
        structure = KelvComPtr<ISBDocumentRoot>(source);
    work->frames = CZelmJob::PrepareRunTrajectory(root, work->base, code, structure);
    if (structure && !work->frames.frames)
        throw KelvResult(E_UNEXPECTED, "The run " + OutputName(seed) + " lacks the files of its trajectory.");
    work->keep = {work->base + CZelmRunInfo::ArchiveFileExtension(), work->frames.name + ".trj"};

    // The trajectory document that the new one replaces (its place was
    // checked with the run's files).
    if (DiskUtilities::FileExists(work->trajectory)) {
        const KelvComPtr<ISBDocumentManager> documents = DocumentManagerOf(root);
        KelvResult::Check(documents->FindDocument(KelvBSTR(work->trajectory).Get(), work->old.Receive()));
    }
    return work;
}

KelvComPtr<ISBDocumentRoot> CZelmAnalysis::CompleteTrajectory(ISBDocumentRoot* source, TrajectoryWork& work)
{
    Kelv::CheckNullDereference(source);
    KelvComPtr<ISBContainerRoot> root = Root();
    // The frames first: the trajectory document stands over its frames file
    // and is written only over a whole one.
    if (!CZelmJob::CompleteRunTrajectory(root, work.frames))
        throw KelvResult(E_UNEXPECTED, "The run " + OutputName(work.seed) + " lacks the files of its trajectory.");
    if (work.old)
        PurgeTrajectoryDocument(work.old, work.keep);
    KelvComPtr<ISBDocumentRoot> document;
    try {
        SaveAsTrajectoryDocument(source, work.trajectory);
        KelvResult::Check(DocumentManagerOf(root)->ImportDocumentReference(0, KelvBSTR(work.trajectory).Get(),
                                                                           document.Receive()));
    } catch (...) {
        // A document that could not be made whole would pass for a built
        // trajectory, and the energy charts would be tied to it.
        RemoveTrajectoryDocument(work.trajectory, work.keep);
        throw;
    }
    return document;
}

HRESULT CZelmAnalysis::get_CanCreateTrajectory(VARIANT_BOOL* pCanCreateTrajectory)
{
    return RunCommand([&] {
        RequireOutput(pCanCreateTrajectory);
        *pCanCreateTrajectory = VARIANT_FALSE;
        // The answer is CreateTrajectory's preparation: a no gives the
        // reason that the command fails with.
        PrepareTrajectory(StructureSeed(), nullptr);
        *pCanCreateTrajectory = VARIANT_TRUE;
    });
}

HRESULT CZelmAnalysis::CreateTrajectory(ISBDocumentRoot* pSourceDocRoot, ISBDocumentRoot** pTrajDocInfo)
{
    return RunCommand([&] {
        RequireOutput(pTrajDocInfo);
        *pTrajDocInfo = nullptr;
        if (!pSourceDocRoot)
            throw KelvResult(E_POINTER, NoSourceDocument);
        *pTrajDocInfo = BuildTrajectory(pSourceDocRoot, StructureSeed()).Detach();
    });
}

void CZelmAnalysis::PurgeTrajectoryDocument(const KelvComPtr<ISBDocumentRoot>& old, const std::vector<std::string>& keep)
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDiskManager> disk = DiskManagerOf(root);
    // The document's files go with it; the run's files are moved aside
    // meanwhile and always come back, or the run would drop out of its
    // categories (the archive) or lose the frames just written.
    std::vector<std::pair<std::string, KelvBSTR>> aside;
    const auto bringBack = [&]() noexcept {
        for (auto& [file, moved] : aside)
            disk->RenameFile(moved.Get(), KelvBSTR(file).Get(), RenameOverwrite, nullptr);
    };
    try {
        for (const std::string& file : keep) {
            if (!DiskUtilities::FileExists(file))
                continue;
            KelvBSTR moved;
            KelvResult::Check(disk->RenameFile(KelvBSTR(file).Get(), KelvBSTR(file + "copy").Get(), RenameMakeUnique,
                                               moved.Receive()));
            aside.emplace_back(file, std::move(moved));
        }
        if (old)
            KelvResult::Check(DocumentManagerOf(root)->PurgeDocument(old.get(), SBPurgeDeleteFiles));
    } catch (...) {
        bringBack();
        throw;
    }
    for (auto& [file, moved] : aside) {
        KelvBSTR back;
        KelvResult::Check(disk->RenameFile(moved.Get(), KelvBSTR(file).Get(), RenameOverwrite, back.Receive()));
        moved = KelvBSTR();
    }
}

void CZelmAnalysis::RemoveTrajectoryDocument(const std::string& path, const std::vector<std::string>& keep) noexcept
{
    try {
        if (DiskUtilities::FileExists(path)) {
            KelvComPtr<ISBDocumentRoot> old;
            KelvResult::Check(DocumentManagerOf(Root())->FindDocument(KelvBSTR(path).Get(), old.Receive()));
            PurgeTrajectoryDocument(old, keep);
        }
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
    const std::unique_ptr<TrajectoryWork> work = PrepareTrajectory(seed, source);
    return CompleteTrajectory(source, *work);
}
