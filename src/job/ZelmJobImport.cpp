// The import of a job's results at completion: the final structure written
// back into the structure document, the trajectory document, or the fitted
// library of a Fit run.
#include "job/ZelmJob.h"
#include "com/regularfile.h"

#include "common/ProjectPaths.h"
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
#include "qorqm/ClaimName.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/AtomicIndexMap.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

const char* const StructureDocumentType = "SDDocuments.Atomistic3dDocument";
const char* const StructureImporter = "QorZelm.ZelmStructureImporter";
const char* const StructureExporter = "SDModel3dImportExport.QSDImportExport";
const char* const TextExporter = "SDTextImportExport.TextImportExport";
// The live updates' status document: its title and the text document's extension.
const char* const StatusDocumentTitle = "Status";
const char* const StatusDocumentExtension = ".txt";
// The host's trajectory data file behind a trajectory document.
const char* const TrajectoryDataExtension = ".trj";

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

// A run's frames as the trajectory writer walks them, refusing a run that
// gives none: the writer then keeps whatever file stood under the name.
// With `atFirstFrame` the frames stand at their first already (the
// preparation went there): the walk starts there, without the provider's
// going back, which would load its files again.
class FramesRequired final : public CTrjDataProvider
{
public:
    FramesRequired(CTrjDataProvider& frames, std::string reason, bool atFirstFrame = false)
        : m_frames(frames), m_reason(std::move(reason)), m_atFirstFrame(atFirstFrame)
    {
    }

    bool GoToFirstFrame() override
    {
        if (std::exchange(m_atFirstFrame, false))
            return true;
        if (!m_frames.GoToFirstFrame())
            throw KelvResult(E_FAIL, m_reason);
        return true;
    }
    bool GoToNextFrame() override { return m_frames.GoToNextFrame(); }
    const std::string& GetName() override { return m_frames.GetName(); }
    int GetCurrentFrame() override { return m_frames.GetCurrentFrame(); }
    int GetAtomCount() override { return m_frames.GetAtomCount(); }
    double GetAuxiliaryValue() override { return m_frames.GetAuxiliaryValue(); }
    double GetTimeStep() override { return m_frames.GetTimeStep(); }
    double GetTime() override { return m_frames.GetTime(); }
    double GetEnergySum() override { return m_frames.GetEnergySum(); }
    double GetEnergyTerm1() override { return m_frames.GetEnergyTerm1(); }
    double GetEnergyTerm2() override { return m_frames.GetEnergyTerm2(); }
    double GetVolumeProduct() override { return m_frames.GetVolumeProduct(); }
    double GetCellVolume() override { return m_frames.GetCellVolume(); }
    void GetCell(double* cell) override { m_frames.GetCell(cell); }
    void GetSixComponentValueA(double* values) override { m_frames.GetSixComponentValueA(values); }
    void GetSixComponentValueB(double* values) override { m_frames.GetSixComponentValueB(values); }
    double GetVolumeFactor() override { return m_frames.GetVolumeFactor(); }
    double GetPressure() override { return m_frames.GetPressure(); }
    const std::vector<double>& GetPositions() override { return m_frames.GetPositions(); }
    const std::vector<double>& GetThirdAtomVectors() override { return m_frames.GetThirdAtomVectors(); }
    const std::vector<double>& GetSecondAtomVectors() override { return m_frames.GetSecondAtomVectors(); }
    int GetPeriodicity() override { return m_frames.GetPeriodicity(); }
    int QueryOptionA() override { return m_frames.QueryOptionA(); }
    int QueryOptionB() override { return m_frames.QueryOptionB(); }

private:
    CTrjDataProvider& m_frames;
    std::string m_reason;
    bool m_atFirstFrame = false;
};

std::unique_ptr<CTrjDataProvider> ProviderOfKind(KelvComPtr<ISBContainerRoot> root, const std::string& base, int kind,
                                                 KelvComPtr<ISBDocumentRoot> document)
{
    std::unique_ptr<CTrjDataProvider> provider;
    switch (kind) {
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
    return provider;
}

// The whole content of a file ("" when it cannot be read).
std::string FileBytes(const std::string& path)
{
    std::string bytes;
    std::string why;
    RegularFile::ReadAll(PathUtilities::ToNative(path), bytes, why, RegularFile::Bound::Library);
    return bytes;
}

// The status text document the live updates keep in the results folder, if
// the job has one.
void ReportFailureInStatus(const KelvComPtr<ISBContainerRoot>& root, const std::string& resultsFolder,
                           const std::string& reason) noexcept
{
    try {
        const CDocManagementUtility documents(root);
        const KelvComPtr<ISBDocumentRoot> status =
            documents.FindDocument(PathUtilities::Join(resultsFolder, StatusDocumentTitle), StatusDocumentExtension);
        if (!status)
            return;
        const KelvComPtr<ISDTextDocument> text = status.QueryInterface<ISDTextDocument>();
        KelvBSTR last;
        Check(text->get_Text(last.Receive()));
        Check(text->put_Text(KelvBSTR(CZelmJob::FailedRunStatus(reason, last.ToTString())).Get()));
        Check(DocumentManager(root)->ExportDocument(status.get(), 0, KelvBSTR(TextExporter).Get(),
                                                    KelvVariant().Get(), KelvBSTR().Get()));
    } catch (...) {
        // The run's own failure is what the job reports.
    }
}

} // namespace

namespace {

std::string FittedLibraryNotMade(const std::string& wanted, const DiskUtilities::ClaimedName& claim)
{
    return "The fitted library \"" + MessageText::Excerpt(wanted) + "\" cannot be made: " +
           DiskUtilities::ClaimFailure(claim) + ".";
}

} // namespace

CZelmJob::FittedLibrary CZelmJob::PrepareFittedLibrary(const KelvComPtr<ISBContainerRoot>& root,
                                                       const std::string& dump)
{
    FittedLibrary plan;
    plan.dump = dump;
    plan.wanted = PathUtilities::ExtensionReplaced(dump, CZelmRunInfo::LibraryFileExtension());
    plan.project = ProjectFolderForWrites(root);
    plan.library = CDumpToLibraryConverter::Prepare(plan.dump, plan.wanted);
    // A folder in the library's place is no earlier library, nor a place a
    // library can be written to.
    std::error_code error;
    if (std::filesystem::is_directory(PathUtilities::ToNative(plan.wanted), error))
        throw KelvResult(E_UNEXPECTED, "Cannot open " + plan.wanted + ": it is a folder, not a file");
    // A library of the dump's name may be the fit's own input library (the
    // deck is named after it), with the user's fit flags: it stays, and so
    // do the copies numbered after it. One that holds the conversion's bytes
    // already is the fitted library. (The claim takes the name itself while
    // nothing stands there; else the number after the highest standing, so
    // those are the copies.)
    const std::string& text = CDumpToLibraryConverter::LibraryText(*plan.library);
    const bool taken =
        std::filesystem::exists(std::filesystem::symlink_status(PathUtilities::ToNative(plan.wanted), error));
    const long long highest = taken ? DiskUtilities::HighestStanding(plan.wanted, DiskUtilities::ClaimKind::File) : 0;
    for (unsigned n = 1; taken && n <= static_cast<unsigned>(std::max<long long>(highest, 1)); ++n) {
        const std::string copy = DiskUtilities::NumberedName(plan.wanted, n, DiskUtilities::ClaimKind::File);
        if (FileBytes(copy) == text) {
            plan.same = copy;
            return plan;
        }
    }
    // Else a new name of the series is claimed beside the dump.
    const DiskUtilities::ClaimedName asked = DiskUtilities::AskNewFile(plan.wanted);
    if (!asked)
        throw KelvResult(E_UNEXPECTED, FittedLibraryNotMade(plan.wanted, asked));
    return plan;
}

std::string CZelmJob::WriteFittedLibrary(const FittedLibrary& plan)
{
    if (!plan.same.empty())
        return plan.same;
    // Written whole before it takes its name, so that a killed import leaves
    // no empty or half-written library behind.
    const DiskUtilities::ClaimedName claim =
        DiskUtilities::ClaimNewFile(plan.wanted, [&](const std::string& temporary) {
            CDumpToLibraryConverter::Write(*plan.library, temporary, plan.project);
        });
    if (!claim)
        throw KelvResult(E_UNEXPECTED, FittedLibraryNotMade(plan.wanted, claim));
    return claim.path;
}

std::string CZelmJob::ConvertFittedLibrary(const KelvComPtr<ISBContainerRoot>& root, const std::string& dump)
{
    return WriteFittedLibrary(PrepareFittedLibrary(root, dump));
}

std::string CZelmJob::NoTrajectoryFrame(const std::string& base, int kind)
{
    const std::string file = base + (kind == 3 ? CZelmRunInfo::TrajectoryFileExtension()
                                               : CZelmRunInfo::ArchiveFileExtension());
    return "The run gives no trajectory frame: \"" + file + "\" holds no frame that can be read.";
}

namespace {

// What a failed run's status document keeps before the last live status.
const char* const LastStatusHeading = "\nLast status received while the job ran:\n";

} // namespace

bool CZelmJob::IsFailedRunStatus(const std::string& text)
{
    return text.find(LastStatusHeading) != std::string::npos;
}

std::string CZelmJob::FailedRunStatus(const std::string& reason, const std::string& last)
{
    std::string text = reason + "\n";
    if (!last.empty()) {
        text += LastStatusHeading + last;
        if (last.back() != '\n')
            text += "\n";
    }
    return text;
}

std::string CZelmJob::UnfinishedRunStatusLine(const std::string& prefix)
{
    return "Status: not finished (the run left no main output \"" + prefix + CZelmRunInfo::OutputFileExtension() +
           "\")";
}

std::string CZelmJob::StatusDocumentPath(const std::string& resultsFolder)
{
    return PathUtilities::Join(resultsFolder, StatusDocumentTitle) + StatusDocumentExtension;
}

void CZelmJob::ImportResults()
{
    m_jobHandler.OnJobComplete();
    const std::string base = m_jobHandler.GetResultsFolder().ToTString() + m_jobHandler.GetTaskPrefix().ToTString();
    const std::string task = m_jobHandler.GetTaskTypeDescription().ToTString();
    const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);

    // An engine that reported an error, or a run that did not finish, made no
    // results to import, whatever files it left: the job fails with the
    // reason (the files are home already), and the status document says so
    // instead of the last step it saw.
    try {
        COutputFileReader::CheckRunSucceeded(base + CZelmRunInfo::OutputFileExtension());
    } catch (const KelvResult& failure) {
        ReportFailureInStatus(root, m_jobHandler.GetResultsFolder().ToTString(), failure.GetMessage());
        throw;
    }
    // A run without its main output did not finish, whatever its last live
    // status said; what it left is still imported below.
    if (!DiskUtilities::FileExists(base + CZelmRunInfo::OutputFileExtension()))
        ReportFailureInStatus(root, m_jobHandler.GetResultsFolder().ToTString(),
                              UnfinishedRunStatusLine(m_jobHandler.GetTaskPrefix().ToTString()));

    if (task == "Energy")
        return;
    if (task == "GeomOpt" || task == "Dynamics") {
        ImportResultStructure(root, base, true);
        const int kind = task == "GeomOpt" ? 2 : 3;
        ImportTrajectory(root, base, &kind);
        // The trajectory document stands only over a whole frames file.
        if (!DiskUtilities::FileExists(base + TrajectoryDataExtension))
            return;
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
        ConvertFittedLibrary(root, base + CZelmRunInfo::DumpFileExtension());
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
    const std::string project = ProjectFolderForWrites(root);
    if (document) {
        CAtomicIndexMap map;
        if (defaultMap)
            map.Copy(CAtomicIndexMap::Default);
        else
            map.Copy(SurfaceMap(root, document));
        CompleteStructureUpdate(root, document, PrepareStructureUpdate(arc, map, project));
    } else {
        document = ImportStructureDocument(manager, base + StructureDocumentExtension());
        // The importer applies the archive in the engine's order; a surface
        // run numbers its atoms by region, so the frame is applied again
        // through the surface map.
        if (document && !defaultMap)
            CompleteStructureUpdate(root, document, PrepareStructureUpdate(arc, SurfaceMap(root, document), project));
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
    if (WriteRunTrajectory(root, base, *kind, document))
        return;
    // A run without the files of its trajectory: an earlier run's frames of
    // the same name go, since the trajectory document opens whatever ".trj"
    // stands beside it.
    const std::string trj = base + TrajectoryDataExtension;
    if (DiskUtilities::FileExists(trj))
        DiskManager(root)->DeleteFile(KelvBSTR(trj).Get(), 0);
}

CZelmJob::RunTrajectory CZelmJob::PrepareRunTrajectory(KelvComPtr<ISBContainerRoot> root, const std::string& base,
                                                       int kind, KelvComPtr<ISBDocumentRoot> document)
{
    RunTrajectory run;
    run.base = base;
    run.kind = kind;
    run.name = PathUtilities::ExtensionRemoved(base + CZelmRunInfo::TrajectoryDocumentExtension());
    // The frames file belongs to the run's folder, wherever the run is kept.
    run.hold = RunFileHold(run.name + TrajectoryDataExtension, ProjectFolderForWrites(root));
    if ((kind == 2 || kind == 5) && !document) {
        // Asked without the document whose atoms the frames take: the
        // frames file's place alone.
        CTrjWriter::CheckTrajFilePlace(KelvBSTR(run.name), run.hold);
        return run;
    }
    std::unique_ptr<CTrjDataProvider> provider = ProviderOfKind(root, base, kind, document);
    if (!provider)
        return run;
    if (!provider->GoToFirstFrame())
        throw KelvResult(E_FAIL, NoTrajectoryFrame(base, kind));
    CTrjWriter::CheckTrajFilePlace(KelvBSTR(run.name), run.hold);
    run.frames = std::move(provider);
    return run;
}

bool CZelmJob::CompleteRunTrajectory(KelvComPtr<ISBContainerRoot> root, const RunTrajectory& run)
{
    if (!run.frames)
        return false;
    // The writer replaces the file only with a whole new one: a write that
    // fails leaves an older ".trj" as it was.
    FramesRequired frames(*run.frames, NoTrajectoryFrame(run.base, run.kind), true);
    const HRESULT hr = CTrjWriter().WriteTrajFile(frames, KelvBSTR(run.name), run.hold);
    if (FAILED(hr)) {
        KelvResult::SetLastError(hr);
        throw KelvResult::LastErrorCheckNotS_OK();
    }
    Check(DiskManager(root)->put_Hidden(KelvBSTR(run.name + TrajectoryDataExtension).Get(), VARIANT_TRUE));
    return true;
}

bool CZelmJob::WriteRunTrajectory(KelvComPtr<ISBContainerRoot> root, const std::string& base, int kind,
                                  KelvComPtr<ISBDocumentRoot> document)
{
    return CompleteRunTrajectory(root, PrepareRunTrajectory(root, base, kind, document));
}
