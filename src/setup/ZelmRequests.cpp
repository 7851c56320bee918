// The calculation requests of the logic object: run a calculation, export
// its input files, start a deck saved before; and the preparation of a job
// folder that the first two share.
#include "setup/Zelm.h"
#include "setup/DeckFileNames.h"

#include "setup/ZelmFileWriter.h"
#include "setup/ZelmMessages.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsContainer.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorqm/SafeName.h"

namespace {

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

// Raises a failed result of one of the object's own steps again, with the
// error information that the step left.
void RaiseAgain(HRESULT hr)
{
    if (hr == S_OK)
        return;
    KelvResult::SetLastError(hr);
    if (FAILED(hr))
        throw KelvResult::LastErrorCheckNotS_OK();
}

// The error of a failed step as an object to raise later: its code with the
// text of the error information it left.
KelvResult Kept(HRESULT hr)
{
    if (SUCCEEDED(hr))
        return KelvResult(hr);
    KelvResult::SetLastError(hr);
    return KelvResult::LastError();
}

template <class F>
HRESULT Step(F&& body)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, std::forward<F>(body));
}

KelvComPtr<ISBDiskManager> DiskManagerOf(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvComPtr<ISBDiskManager> disk;
    Check(root->get_DiskManager(disk.Receive()));
    Kelv::CheckNullDereference(disk.get());
    return disk;
}

// A job's folder is built under a temporary name of its title's
// ("<title>.tmp-<pid>-<six letters>", which a later command sweeps away when
// this process was killed), so that a folder under the title always holds
// a whole deck: the folder's own name (without its separator) once built.
std::string BuiltFolderName(const std::string& folder)
{
    std::string name = folder;
    while (!name.empty() && PathUtilities::IsSeparator(name.back()))
        name.pop_back();
    const std::string::size_type mark = name.rfind(".tmp-");
    return mark == std::string::npos ? name : name.substr(0, mark);
}

// The built folder takes its own name, the next free one of its series
// (renamed whole, replacing nothing); the name it took.
std::string NameBuiltFolder(const KelvComPtr<ISBDiskManager>& disk, BSTR folder, const std::string& name)
{
    KelvBSTR actual;
    Check(disk->RenameFolder(folder, KelvBSTR(name).Get(), SBDiskMakeUnique, actual.Receive()));
    return actual.ToTString();
}

const char* const kFitDocumentType = "SDDocuments.Atomistic3dDocument";

} // namespace

// ---------------------------------------------------------------------------
// Run and export

std::unique_ptr<CZelmRunInfo> CZelm::WriteInputFilesOf(ISBScope* scope, VARIANT_BOOL forRun, KelvBSTR& jobFolder,
                                                       KelvBSTR& deckName)
{
    if (!scope)
        throw KelvResult(E_INVALIDARG, ZelmMessages::NoDocument);
    // The components first: the run settings are made of them.
    CheckComponentsSetUp();
    std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(scope);
    // What the export question asks refuses the run or the export before
    // the structure or the disk is touched.
    RefuseInputFiles(scope, *runInfo);
    TypeAndPrepareIfNeeded(scope);
    RaiseAgain(PrepareAndWriteInputFiles(scope, forRun, jobFolder.Receive(), deckName.Receive()));
    return runInfo;
}

HRESULT CZelm::Run(ISBScope* pScope)
{
    return Request([&] {
        KelvBSTR jobFolder, deckName;
        const std::unique_ptr<CZelmRunInfo> runInfo = WriteInputFilesOf(pScope, VARIANT_TRUE, jobFolder, deckName);

        // The folder goes to the job under a name of its own.
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        const KelvComPtr<ISBDiskManager> disk = DiskManagerOf(root);
        const KelvBSTR actual(NameBuiltFolder(disk, jobFolder.Get(), BuiltFolderName(jobFolder.ToTString()) + "ZELM"));
        const std::string submissionFolder = actual.ToTString() + PathUtilities::Separator();

        // The submission's result waits until the project is in step and the
        // folder is gone.
        HRESULT submitted = S_OK;
        if (runInfo->GetTask() == 4)
            submitted = SubmitFitJob(*runInfo, submissionFolder, deckName.Get());
        else
            submitted = SubmitJob(pScope, KelvBSTR(submissionFolder).Get(), deckName.Get());
        const KelvResult kept = Kept(submitted);

        const KelvComPtr<ISBDocumentManager> documents = ObtainDocumentManager();
        Kelv::CheckNullDereference(documents.get());
        Check(documents->Synchronize());
        Check(disk->DeleteFolder(actual.Get(), 0x10));
        kept.Check();
    });
}

HRESULT CZelm::SubmitFitJob(CZelmRunInfo& runInfo, const std::string& folder, BSTR deckName)
{
    return Request([&] {
        const KelvComPtr<ISBDocumentManager> documents = ObtainDocumentManager();
        Kelv::CheckNullDereference(documents.get());
        const std::string libraryPath = runInfo.GetLibraryPath();
        KelvComPtr<ISBDocumentRoot> library;
        Check(documents->FindDocument(KelvBSTR(libraryPath).Get(), library.Receive()));
        if (!library)
            throw KelvResult(E_UNEXPECTED, "The forcefield library \"" + MessageText::Excerpt(libraryPath) +
                                               "\" is not a document of the current project, so the fitted "
                                               "library cannot be related to it.");

        KelvComPtr<ISBDocumentRoot> fit;
        const KelvVariant noData;
        Check(documents->NewPrivateDocument(KelvBSTR(kFitDocumentType).Get(), noData.Get(), fit.Receive()));
        Kelv::CheckNullDereference(fit.get());
        const KelvComPtr<ISBDocumentInfo> info = AppUtils::Container::GetDocumentInfo(fit.get());
        Check(info->put_DocumentName(KelvBSTR(runInfo.GetLibraryName()).Get()));
        KelvBSTR libraryId;
        Check(library->get_DocumentID(libraryId.Receive()));
        Check(info->SetDocumentProperty(KelvBSTR("_ParentDocID").Get(), KelvVariant(libraryId).Get()));

        KelvComPtr<ISBScope> contents;
        Check(fit->get_ContentsAsScope(contents.Receive()));
        RaiseAgain(SubmitJob(contents.get(), KelvBSTR(folder).Get(), deckName));
    });
}

HRESULT CZelm::ExportFiles(ISBScope* pScope)
{
    return Request([&] {
        KelvBSTR jobFolder, deckName;
        // The run settings live until the folder has its name, as they did.
        const std::unique_ptr<CZelmRunInfo> runInfo = WriteInputFilesOf(pScope, VARIANT_FALSE, jobFolder, deckName);
        NameBuiltFolder(DiskManagerOf(ContainerRoot(true)), jobFolder.Get(), BuiltFolderName(jobFolder.ToTString()));
    });
}

// ---------------------------------------------------------------------------
// A deck saved before

HRESULT CZelm::StartFiles(ISBScope* pScope)
{
    return Request([&] {
        if (!pScope)
            throw KelvResult(E_INVALIDARG, ZelmMessages::NoDocument);
        CheckComponentsSetUp();
        const std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(pScope);
        const std::string seedPath = runInfo->GetCurrentDocumentSeedPath().ToTString();
        std::string folder, name;
        PathUtilities::FolderAndFileNameFromPath(seedPath, folder, name);
        // The engine is given the job's safe name and opens the deck of that
        // name: a deck named otherwise is refused before a job is made.
        const std::string safe = QorQMUtilities::MakeSafeFileName(name);
        if (safe != name)
            throw KelvResult(E_UNEXPECTED,
                             "The deck \"" + MessageText::Excerpt(name + CZelmRunInfo::InputFileExtension()) +
                                 "\" cannot be started under its name: the engine is given the job's name \"" +
                                 MessageText::Excerpt(safe) + "\" and opens the deck \"" +
                                 MessageText::Excerpt(safe + CZelmRunInfo::InputFileExtension()) +
                                 "\". Rename the deck and its side files to \"" + MessageText::Excerpt(safe) +
                                 "\" and start it again.");
        // A received deck names the engine's files in its own folder only.
        ZelmDeckFiles::RequirePlainFileNames(seedPath + CZelmRunInfo::InputFileExtension());
        RaiseAgain(SubmitJob(pScope, KelvBSTR(folder).Get(),
                             KelvBSTR(name + CZelmRunInfo::InputFileExtension()).Get()));
        const KelvComPtr<ISBDocumentManager> documents = ObtainDocumentManager();
        Kelv::CheckNullDereference(documents.get());
        Check(documents->Synchronize());
    });
}

// ---------------------------------------------------------------------------
// The job folder

std::string CZelm::JobTitle(CZelmRunInfo& runInfo) const
{
    // The folder is named after the job's files ("a(b)" gives "a_b_ ZELM
    // GeomOpt" for "a_b_.gin"), as the job manager names a run's results.
    const std::string folder = PathUtilities::FolderNameFromPath(runInfo.GetJobPrefix().ToTString());
    const std::string title = folder + runInfo.GetJobFileBase() + " ZELM " + TaskDisplayName(runInfo.GetTask());
    const std::string project = runInfo.GetProjectDocumentsFolder().ToTString();
    const bool relative = !title.empty() && title.front() == '.';
    if (!relative && title.compare(0, project.size(), project) != 0)
        throw KelvResult(E_UNEXPECTED, "Files must be saved within a project folder.");
    return title;
}

HRESULT CZelm::MakeJobNameAndFolder(BSTR* jobFolder, ISBScope* scope, bool forRun)
{
    return Step([&] {
        Kelv::CheckNullDereference(jobFolder);
        const std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(scope);
        const std::string title = JobTitle(*runInfo);
        const std::string project = runInfo->GetProjectDocumentsFolder().ToTString();

        const KelvComPtr<ISBDocumentManager> documents = ObtainDocumentManager();
        Kelv::CheckNullDereference(documents.get());
        const auto folders = documents.QueryInterface<ISBDocumentFolders>();
        KelvBSTR relative;
        const std::string building = TemporaryNameOf(title);
        Check(folders->MakeDocumentFolder(KelvBSTR(building).Get(), forRun ? 0x28 : 0x08, relative.Receive()));
        const std::string text = relative.ToTString();
        const std::string inside = text.size() > 2 ? text.substr(2) : std::string();
        SysFreeString(*jobFolder);
        *jobFolder = Kelv::bstrdup(project + PathUtilities::Separator() + inside + PathUtilities::Separator());
    });
}

void CZelm::RefuseInputFiles(ISBScope* scope, CZelmRunInfo& runInfo)
{
    // A job name that names no file in the job's folder.
    runInfo.GetJobFileBase();

    // The lattice setting, when the scope has a structure.
    KelvComPtr<ISBScope> object;
    Check(m_scopeUtility->GetScopeObject(scope, object.Receive()));
    if (object) {
        const auto properties = object.QueryInterface<ISDObject>();
        LONG status = SDPropertyNoHint;
        VARIANT value;
        VariantInit(&value);
        properties->get_PropertyValue(KelvBSTR("LatticeRepresentation").Get(), &status, &value);
        const KelvVariant representation(value);
        VariantClear(&value);
        if (status != 0 && status != 1 && status != 2)
            throw KelvResult(E_UNEXPECTED, "Could not get lattice representation.");
        const LONG setting = representation.Long();
        if (setting == 1 || setting == 3)
            throw KelvResult(E_UNEXPECTED, "ZELM only supports monoclinic structures in the B-unique setting.");
    }

    if (runInfo.GetTask() == 4 && runInfo.IsStandardLibrary())
        throw KelvResult(E_UNEXPECTED,
                         "\nCannot run or save files for a Fit Forcefield task when using a standard library.");
    RefuseJobFolderPlace(runInfo);
    RefuseUntypedAtoms(scope);
    RefuseDeck(scope, runInfo);
}

void CZelm::RefuseJobFolderPlace(CZelmRunInfo& runInfo) const
{
    // The job's folder is made beside the document: a folder of the project
    // whose links lead outside it gets none (the host refuses to make it).
    const std::string title = JobTitle(runInfo);
    const std::string project = runInfo.GetProjectDocumentsFolder().ToTString();
    std::string place = PathUtilities::FolderNameFromPath(title);
    if (!place.empty() && place.front() == '.')
        place = project + place.substr(1);
    while (place.size() > 1 && PathUtilities::IsSeparator(place.back()))
        place.pop_back();
    if (place.empty())
        return;
    const std::string leaving = LinkLeavingProject(PathUtilities::ToNative(place), PathUtilities::ToNative(project));
    if (!leaving.empty())
        throw KelvResult(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The job's folder cannot be made in \"" +
                                                                  MessageText::Excerpt(place) + "\": " + leaving +
                                                                  ".");
}

HRESULT CZelm::PrepareAndWriteInputFiles(ISBScope* scope, VARIANT_BOOL forRun, BSTR* jobFolder, BSTR* deckName)
{
    return Step([&] {
        Kelv::CheckNullDereference(jobFolder);
        Kelv::CheckNullDereference(deckName);

        // 1. The refusals came before the structure was changed: the caller
        // asked RefuseInputFiles before it typed the structure.
        std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(scope);

        // 2. The primitive cell, where the engine needs it.
        VARIANT_BOOL needsPrimitive = VARIANT_FALSE;
        Check(m_scopeUtility->NeedsPrimitiveConversion(scope, &needsPrimitive));
        if (needsPrimitive) {
            if (FAILED(m_scopeUtility->ConvertToPrimitive(scope)))
                throw KelvResult(E_UNEXPECTED, "Could not convert system from conventional to primitive representation.");
            runInfo = BuildRunInfo(scope);
        }

        // 5. The job's folder.
        KelvBSTR folder;
        RaiseAgain(MakeJobNameAndFolder(folder.Receive(), scope, forRun == VARIANT_TRUE));
        SysFreeString(*jobFolder);
        *jobFolder = Kelv::bstrdup(folder.ToTString());

        // 6, 7. Side files (a Fit job has none), then the deck.
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        const KelvComPtr<ISBDocumentManager> documents = ObtainDocumentManager();
        Kelv::CheckNullDereference(documents.get());
        {
            CZelmFileWriter writer(*runInfo, root.get(), documents.get(), scope);
            if (runInfo->GetTask() != 4)
                writer.WriteJobSideFiles(folder.ToTString(), runInfo->GetJobFileBase());
        }
        SysFreeString(*deckName);
        *deckName = nullptr;
        RaiseAgain(static_cast<IZelm*>(this)->SaveZelmInputFiles(scope, folder.Get(), deckName));

        // 9. The module's state beside the deck.
        KelvComPtr<ISBStateManager> states;
        Check(root->get_StateManager(states.Receive()));
        Kelv::CheckNullDereference(states.get());
        KelvComPtr<IUnknown> moduleState;
        const KelvVariant noPresentation;
        Check(states->CreateModuleState(Extension(), folder.Get(), KelvBSTR(runInfo->GetJobFileBase()).Get(), 1,
                                        noPresentation.Get(), moduleState.Receive()));
        moduleState.Release();

        // 10. The project in step with the disk.
        Check(documents->Synchronize());
    });
}
