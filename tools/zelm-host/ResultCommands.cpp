#include "ResultCommands.h"

#include "com/regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "DriverSupport.h"
#include "HostCommands.h"
#include "host/HostApplication.h"
#include "host/model/Document.h"
#include "host/model/ModelClasses.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"
#include "host/model/StructureComparison.h"
#include "job/ZelmJob.h"
#include "kelv/kelv.h"
#include "host/managers/HostContext.h"
#include "common/ProjectPaths.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "readers/ArchiveFileReader.h"
#include "readers/OutputFileReader.h"
#include "readers/RunOutput.h"
#include "readers/StructureUpdater.h"
#include "readers/TrajectoryArchive.h"
#include "setup/SurfaceRunInfo.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

// The host over the folder of a document that must exist there, with the
// folder locked until the command is done with the document.
struct OpenDocument {
    std::unique_ptr<DocumentChangeLock> lock;
    std::unique_ptr<QzHost::HostApplication> host;
    KelvComPtr<ISBContainerRoot> root;
    KelvComPtr<ISBDocumentRoot> document;
    std::string path;
    std::string folder;
};

std::unique_ptr<QzHost::HostApplication> HostOver(const std::string& folder)
{
    return std::make_unique<QzHost::HostApplication>(ProjectConfiguration(folder, false));
}

// The document, in the host over its own project (the nearest folder above
// it that holds a project state). The run's files that a command writes
// belong to the run's folder, wherever the user keeps the run, and are held
// to that folder where they are written; the document is saved where it is.
OpenDocument Open(const std::string& documentPath)
{
    OpenDocument opened;
    opened.path = Absolute(documentPath);
    if (const std::string why = NotAnInputFile(opened.path); !why.empty())
        Fail("the document \"" + documentPath + "\" " + why);
    opened.folder = ProjectOfFolder(fs::path(opened.path).parent_path().string());
    opened.lock = std::make_unique<DocumentChangeLock>(opened.folder, opened.path);
    opened.host = HostOver(opened.folder);
    opened.root = KelvComPtr<ISBContainerRoot>(opened.host->Root());
    KelvResult::Check(opened.host->Documents().FindDocument(KelvBSTR(opened.path).Get(), opened.document.Receive()));
    if (!opened.document || !HostModel::DocumentOf(opened.document.get()))
        Fail("\"" + documentPath + "\" is not a structure document");
    return opened;
}

// A copy of the document's structure, to tell afterwards whether a result
// changed it (HostModel::SameStructure).
std::unique_ptr<HostModel::Document> StructureCopy(const HostModel::Document& document)
{
    auto copy = std::make_unique<HostModel::Document>();
    copy->CopyModelFrom(document);
    return copy;
}

void Save(OpenDocument& opened)
{
    SaveNamedDocument(opened.host->Documents(), opened.document.get());
}

}  // namespace

namespace {

// Refuses the results of a run whose main output (the run's files' base +
// ".gout") reports that it failed or did not finish, with the reason that
// `results` gives.
void RequireFinishedRun(const std::string& base)
{
    try {
        COutputFileReader::CheckRunSucceeded(base + ".gout");
    } catch (const KelvResult& failure) {
        Fail(failure.GetMessage());
    }
}

}  // namespace

std::string CutFrameNote(const std::string& archive, bool cut, std::size_t damaged, std::size_t whole)
{
    const std::string taken = "the " + std::to_string(whole) +
                              (whole == 1 ? " whole frame before it is taken\n" : " whole frames before it are taken\n");
    if (damaged != 0)
        return "note: frame " + std::to_string(damaged) + " of \"" + archive + "\" is damaged: " + taken;
    if (!cut)
        return std::string();
    return "note: the last frame of \"" + archive + "\" is cut short: " + taken;
}

std::string CutFrameNote(const std::string& archive)
{
    std::error_code error;
    if (!fs::is_regular_file(archive, error))
        return std::string();
    try {
        // How the frames end is told by the reader that judges them without
        // keeping their positions.
        const CArchiveFileReader frames(archive, CAtomicIndexMap(), CArchiveFileReader::Keep::LastFrameText,
                                        RunAtomCount(archive));
        return CutFrameNote(archive, frames.IsLastFrameCut(), frames.DamagedFrame(), frames.GetWholeFrameCount());
    } catch (const KelvResult&) {
        return std::string();  // the commands give the reader's reason
    }
}

std::string NoFrameNote(const std::string& archive)
{
    try {
        const TrajectoryArchiveSummary frames = SummariseTrajectoryArchive(archive, CAtomicIndexMap());
        if (frames.frames == 0)
            return CutFrameNote(archive, frames.lastFrameCut, frames.damagedFrame, 0);
    } catch (const KelvResult&) {
        // missing or unreadable: the command gives the reason
    }
    return std::string();
}

// The document's save, asked before anything is written: the document the
// user names is saved where it is (through its link), as a new file beside
// it that replaces it whole.
void CheckDocumentSave(const std::string& path)
{
    const std::string why = CReplaceFile::WhyRefused(path);
    if (!why.empty())
        Fail("the document \"" + path + "\" cannot be saved: " + why);
}

// The structure update's preparation as update-structure and import-result
// make it: the run's archive read once (a run that gives no frame refused,
// with the note on how its frames end), the working copy's place and the
// document's save checked. Nothing is written.
StructureUpdatePlan PrepareDocumentUpdate(const std::string& shownArchive, const std::string& arc,
                                          const CAtomicIndexMap& map, const KelvComPtr<ISBContainerRoot>& root,
                                          const std::string& document, const char* purpose, std::ostream& out)
{
    StructureUpdatePlan plan;
    try {
        plan = PrepareStructureUpdate(arc, map, ProjectFolderForWrites(root));
    } catch (const WorkingCopyRefusal&) {
        throw;  // the updater's own words
    } catch (const KelvResult& failure) {
        Fail("the archive \"" + shownArchive + "\" cannot be read: " + failure.GetMessage());
    }
    if (plan.last.frames == 0) {
        out << CutFrameNote(arc, plan.last.lastFrameCut, plan.last.damagedFrame, 0);
        Fail("the archive \"" + shownArchive + "\" holds no frame to " + purpose);
    }
    CheckDocumentSave(document);
    return plan;
}

void UpdateStructure(const std::string& document, const std::string& archive, bool surface, std::ostream& out)
{
    const std::string arc = Absolute(archive);
    OpenDocument opened = Open(document);
    std::error_code error;
    if (const std::string why = NotAnInputFile(arc); !why.empty())
        Fail("the archive \"" + archive + "\" " + why);
    if (!PathUtilities::MatchesExtension(arc, ".arc"))
        Fail("\"" + archive + "\" is not an archive (.arc)");
    RequireFinishedRun(PathUtilities::ExtensionRemoved(arc));
    CAtomicIndexMap map;
    if (surface)
        map.Copy(CSurfaceRunInfo(opened.root, opened.document).m_atomIndexMap);
    // The updater passes silently over an archive that gives it nothing to
    // write; the command says so instead of reporting an update.
    const StructureUpdatePlan plan =
        PrepareDocumentUpdate(archive, arc, map, opened.root, opened.path, "write into the document", out);
    const std::shared_ptr<HostModel::Document> model = HostModel::DocumentOf(opened.document.get());
    const std::unique_ptr<HostModel::Document> before = StructureCopy(*model);

    // The updater ends by writing the project's changed documents back to
    // their files; the command writes this one itself, and only when its
    // structure changed, so the document has no file meanwhile.
    const std::string url = model->Url();
    model->SetUrl(std::string());
    try {
        CompleteStructureUpdate(opened.root, opened.document, plan);
    } catch (...) {
        model->SetUrl(url);
        throw;
    }
    model->SetUrl(url);
    if (HostModel::SameStructure(*before, *model)) {
        std::string why = "its last frame gives the structure the document already has";
        const HostModel::Periodicity periodicity = model->GetPeriodicity();
        if (periodicity == HostModel::Periodicity::Bulk3D && !plan.last.periodic3D)
            why = "the document is 3-D periodic, the archive is not";
        else if (periodicity == HostModel::Periodicity::Surface2D && !plan.last.periodic2D)
            why = "the document is a 2-D periodic surface, the archive is not";
        Fail("the archive \"" + archive + "\" did not change the document \"" + document + "\": " + why);
    }
    Save(opened);
    out << "updated " << opened.path << " from " << arc << (surface ? " (surface atom map)" : "") << "\n"
        << CutFrameNote(arc, plan.last.lastFrameCut, plan.last.damagedFrame, plan.last.frames);
    ShowDocument(opened.path, "", out);
}

void ImportResult(const std::string& seedDocument, std::ostream& out)
{
    const std::string path = Absolute(seedDocument);
    std::error_code error;
    if (const std::string why = NotAnInputFile(path); !why.empty())
        Fail("the document \"" + seedDocument + "\" " + why);
    const std::string project = ProjectOfFolder(fs::path(path).parent_path().string());
    const DocumentChangeLock lock(project, path);
    // The importer applies the archive of the same name; without a frame to
    // apply it would give the document back as it was.
    const std::string arc = PathUtilities::ExtensionReplaced(path, ".arc");
    // A link (even one leading nowhere or out) is for the archive's opener to
    // judge, by name.
    if (!fs::is_regular_file(arc, error) && !fs::is_symlink(fs::symlink_status(arc, error)))
        Fail("the document \"" + seedDocument + "\" has no archive \"" + arc + "\" to import its result from");
    RequireFinishedRun(PathUtilities::ExtensionRemoved(path));
    std::unique_ptr<QzHost::HostApplication> host = HostOver(project);
    const KelvComPtr<ISBContainerRoot> root(host->Root());
    const StructureUpdatePlan plan =
        PrepareDocumentUpdate(arc, arc, CAtomicIndexMap(), root, path, "import into the document", out);
    const std::shared_ptr<HostModel::Document> before = HostModel::LoadQsd(path);

    KelvComPtr<ISBDocumentRoot> document;
    KelvVariant noData;
    KelvResult::Check(host->Documents().ImportDocument(0, KelvBSTR(path).Get(),
                                                       KelvBSTR(HostModel::Atomistic3dDocumentProgId).Get(),
                                                       KelvBSTR("QorZelm.ZelmStructureImporter").Get(), noData.Get(),
                                                       document.Receive()));
    const std::shared_ptr<HostModel::Document> model = HostModel::DocumentOf(document.get());
    if (model && HostModel::SameStructure(*before, *model))
        Fail("the archive \"" + arc + "\" did not change the document \"" + seedDocument +
             "\": its last frame gives the structure the document already has");
    SaveNamedDocument(host->Documents(), document.get());
    out << "imported " << path << " through QorZelm.ZelmStructureImporter with its archive\n"
        << CutFrameNote(arc, plan.last.lastFrameCut, plan.last.damagedFrame, plan.last.frames);
    document = nullptr;
    host.reset();
    ShowDocument(path, "", out);
}

void WriteTrajectory(const std::string& base, const std::string& document, const std::string& kind,
                     std::ostream& out)
{
    const std::string name = Absolute(base);
    OpenDocument opened = Open(document);
    RequireFinishedRun(name);
    std::string chosen = kind;
    if (chosen.empty()) {
        switch (RunOutput().scanRunType(name + ".gout")) {
        case 2:
            chosen = "geomopt";
            break;
        case 3:
            chosen = "dynamics";
            break;
        case 5:
            chosen = "surface";
            break;
        default:
            Fail("\"" + base + ".gout\" is not the output of an optimisation, surface or dynamics run");
        }
    }
    int code = 0;
    if (chosen == "geomopt")
        code = 2;
    else if (chosen == "dynamics")
        code = 3;
    else if (chosen == "surface")
        code = 5;
    else
        Fail("unknown trajectory kind \"" + kind + "\" (geomopt, surface or dynamics)");
    // The frames file is replaced only by a whole one that holds a frame: a
    // run that gives none fails here, and an earlier ".trj" stays as it was.
    // An archive whose frames a cut or a damaged frame ends before any whole
    // one says so, as it does where frames are taken.
    const auto noFrameNote = [&] {
        if (code != 3)
            out << NoFrameNote(name + ".arc");
    };
    // The preparation: the frames read and every place the command writes
    // checked, before anything is written.
    CZelmJob::RunTrajectory run;
    try {
        run = CZelmJob::PrepareRunTrajectory(opened.root, name, code, opened.document);
    } catch (...) {
        noFrameNote();
        throw;
    }
    if (!run.frames) {
        noFrameNote();
        std::string notFiles;
        for (const char* extension : {".gout", ".arc", ".trg"})
            if (const std::string why = NotAnInputFile(name + extension); !why.empty() && why != RegularFile::NotThere)
                notFiles += "; \"" + base + extension + "\" " + why;
        Fail("the run \"" + base + "\" lacks the files of a " + chosen + " trajectory (" +
             (chosen == "dynamics" ? ".gout and .trg" : ".arc and .gout") + ")" + notFiles);
    }
    // The trajectory document: a copy of the document where none stands,
    // else the one there, shown (the command refuses what it could not show).
    const std::string qtd = name + ".qtd";
    const std::string runFolder = fs::path(name).parent_path().string();
    std::error_code error;
    const bool standing = fs::exists(fs::symlink_status(qtd, error));
    if (standing) {
        if (const std::string why = NotAnInputFile(qtd); !why.empty())
            Fail("the document \"" + qtd + "\" " + why);
    } else if (const std::string why = CReplaceFile::WhyRefused(qtd, runFolder); !why.empty()) {
        Fail("cannot copy \"" + opened.path + "\" to \"" + qtd + "\": the file \"" + qtd + "\" cannot be written: " +
             why);
    }

    // The completion: the frames file, then the trajectory document only
    // over a whole one.
    CZelmJob::CompleteRunTrajectory(opened.root, run);
    std::string why;
    if (!standing && !CopyFileContents(opened.path, qtd, &why, runFolder))
        Fail("cannot copy \"" + opened.path + "\" to \"" + qtd + "\": " + why);
    out << "wrote " << name << ".trj (" << chosen << ")\n";
    if (code != 3)
        out << CutFrameNote(name + ".arc");
    opened = OpenDocument();
    ShowDocument(qtd, "", out);
}

}  // namespace ZelmHost
