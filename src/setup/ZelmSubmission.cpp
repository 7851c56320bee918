// Job submission: a deck standing on disk goes to a new job of the host's
// job manager, with the job's settings and one set of file-transfer items
// per file.
#include "setup/Zelm.h"
#include "com/regularfile.h"

#include "common/ProjectPaths.h"
#include "common/ResultFiles.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/LogicStateUtilities.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

namespace {

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

const char* const kServerName = "ZELM";
const char* const kOriginator = "ZELM";
const char* const kHandlerMoniker = "ModuleManager!QorZelm.Extension!QMJobHandler";
const char* const kDeckNotFound = "ZELM input file not found.";

} // namespace

std::string CZelm::TaskDisplayName(long task)
{
    switch (task) {
    case 2:
        return "GeomOpt";
    case 3:
        return "Dynamics";
    case 4:
        return "Fit";
    case 5:
        return "Surface";
    default:
        return "Energy";
    }
}

namespace {

// The model files of a job's folder go up with it by their pattern: what
// stands under such a name and is no regular file (a FIFO, a socket, a
// device, a folder, a link to nothing) would be left out without a word and
// the engine would miss it, so it is refused by name before the job starts.
void RefuseModelFilesThatAreNoFiles(const std::string& folder)
{
    namespace fs = std::filesystem;
    const std::string native = PathUtilities::ToNative(folder);
    std::error_code error;
    for (fs::directory_iterator it(native.empty() ? fs::path(".") : fs::path(native), error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!DiskUtilities::MatchesPattern(name, "*.qms") &&
            !DiskUtilities::MatchesPattern(name, "*" + StructureDocumentExtension()))
            continue;
        struct stat held {};
        std::string why;
        if (::stat(it->path().c_str(), &held) != 0) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(it->path(), linkError);
            why = linkError ? "cannot be looked at (" + std::string(std::strerror(errno)) + ")"
                            : "is a link to \"" + MessageText::Excerpt(target.string()) + "\", which does not exist";
        } else {
            why = RegularFile::WhatItIs(held.st_mode);
        }
        if (why.empty())
            continue;
        const std::string path = MessageText::Excerpt(PathUtilities::Join(native, name));
        throw KelvResult(E_UNEXPECTED, "The job's folder holds \"" + MessageText::Excerpt(name) + "\", which " + why +
                                           "; the job uploads every \".qms\" and \".qsd\" file of its folder, "
                                           "and the engine would miss this one. Move it out of the way first: "
                                           "mv \"" + path + "\" \"" + path + ".away\"");
    }
}

} // namespace

void CZelm::FindModelFile(const std::string& folder, std::vector<std::string>& files)
{
    DiskUtilities::AddItemsFromFolder(folder, "*.qms", files);
    DiskUtilities::AddItemsFromFolder(folder, "*" + StructureDocumentExtension(), files);
}

std::string CZelm::FileBaseName(const std::string& path)
{
    return PathUtilities::ExtensionRemoved(PathUtilities::FileNameFromPath(path));
}

std::vector<std::string> CZelm::JobFileList(const std::string& folder, const std::string& name,
                                            const std::string& libraryPath, long task)
{
    const std::string deck = folder + name;
    if (!DiskUtilities::FileExists(deck))
        throw KelvResult(E_UNEXPECTED, kDeckNotFound);
    std::vector<std::string> files{deck};
    if (DiskUtilities::FileExists(libraryPath))
        files.push_back(libraryPath);
    RefuseModelFilesThatAreNoFiles(folder);
    FindModelFile(folder, files);
    if (!PathUtilities::MatchesExtension(files.front(), CZelmRunInfo::InputFileExtension()))
        throw KelvResult(E_UNEXPECTED, kDeckNotFound);

    const auto derived = [&](const std::string& extension) { return PathUtilities::ExtensionReplaced(deck, extension); };
    for (const std::string& extension :
         {CZelmRunInfo::FrcFileExtension(), CZelmRunInfo::OscillatorFileExtension(),
          CZelmRunInfo::PhononDosFileExtension(), CZelmRunInfo::DispersionFileExtension()})
        files.push_back(derived(extension));
    if (task != 4) {
        for (const std::string& extension :
             {CZelmRunInfo::TrajectoryFileExtension(), CZelmRunInfo::PressureFileExtension(), std::string(".trjaux")})
            files.push_back(derived(extension));
        if (DiskUtilities::FileExists(derived(".kptaux")))
            files.push_back(derived(".kptaux"));
    }
    files.push_back(folder + CZelmRunInfo::SelectedLibraryFileName());
    for (const std::string& extension :
         {CZelmRunInfo::ArchiveFileExtension(), CZelmRunInfo::DumpFileExtension(), CZelmRunInfo::OutputFileExtension()})
        files.push_back(derived(extension));
    return files;
}

namespace {

// The whole contents of a file; false when it cannot be read.
bool ReadWhole(const std::string& path, std::string& bytes)
{
    std::string why;
    return RegularFile::ReadAll(PathUtilities::ToNative(path), bytes, why, RegularFile::Bound::Library);
}

} // namespace

std::string CZelm::LibraryUploadPath(const CZelmRunInfo& runInfo, const std::string& folder) const
{
    const std::string library = runInfo.GetLibraryPath();
    const std::string name = runInfo.GetLibraryName();
    if (name.empty() || !DiskUtilities::FileExists(library))
        return library;
    const std::string uploadName = name + CZelmRunInfo::LibraryFileExtension();
    if (PathUtilities::FileNameFromPath(library) == uploadName)
        return library;

    const std::string copy = folder + uploadName;
    std::string wanted;
    if (!ReadWhole(library, wanted))
        throw KelvResult(E_UNEXPECTED, "Unable to read ZELM library file.");
    std::string present;
    if (DiskUtilities::FileExists(copy)) {
        if (ReadWhole(copy, present) && present == wanted)
            return copy;
        throw KelvResult(E_UNEXPECTED, "The job folder holds a file \"" + MessageText::Excerpt(uploadName) +
                                           "\" that is not the library \"" + MessageText::Excerpt(library) +
                                           "\"; the job uploads the library under that name, so move that file "
                                           "away first.");
    }
    const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
    KelvComPtr<ISBDiskManager> disk;
    Check(root->get_DiskManager(disk.Receive()));
    Kelv::CheckNullDereference(disk.get());
    Check(disk->CopyFile(KelvBSTR(library).Get(), KelvBSTR(copy).Get(), SBDiskNoFlags, nullptr));
    MarkFileHidden(root, copy);
    return copy;
}

HRESULT CZelm::SubmitJob(ISBScope* scope, BSTR folder, BSTR name)
{
    return Request([&] {
        const KelvComPtr<ISBScope> held(scope);
        const KelvBSTR folderText(folder);
        const KelvBSTR nameText(name);
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);

        CZelmRunInfo runInfo(root, folderText.ToTString(), nameText.ToTString(), held);
        const bool parallel = LogicStateUtilities::GetPropertyValue(m_jobTemplateState.get(), "MpiRequested").Bool();
        if (parallel && runInfo.GetTask() != 3)
            throw KelvResult(E_UNEXPECTED, "ZELM can only run dynamics jobs in parallel.\n"
                                           "Please uncheck the Run in parallel checkbox on the Job Control tab.");

        const KelvComPtr<ISBManagedJob> job = CreateJob(kServerName);
        const bool configured = ConfigureJob(runInfo, job, folderText, nameText);
        if (runInfo.GetTask() == 4)
            Check(job->putref_Scope(held.get()));
        if (configured)
            Check(job->Start());
    });
}

KelvComPtr<ISBManagedJob> CZelm::CreateJob(const std::string& serverName) const
{
    KelvComPtr<ISBJobManager> manager;
    if (HasContainerRoot())
        Check(ContainerRoot(true)->get_JobManager(manager.Receive()));
    if (!manager)
        throw KelvResult(E_UNEXPECTED, "Can not create job. Unable to access Job Manager.");
    const KelvVariant templateState(static_cast<IDispatch*>(m_jobTemplateState.get()));
    const KelvVariant defaultGateway;
    KelvComPtr<ISBManagedJob> job;
    Check(manager->CreateManagedJob(KelvBSTR(serverName).Get(), templateState.Get(), defaultGateway.Get(),
                                    job.Receive()));
    Kelv::CheckNullDereference(job.get());
    return job;
}

bool CZelm::ConfigureJob(CZelmRunInfo& runInfo, const KelvComPtr<ISBManagedJob>& job, const KelvBSTR& folder,
                         const KelvBSTR& name)
{
    const std::string seed = PathUtilities::ExtensionRemoved(name.ToTString());
    Check(job->put_TaskOriginator(KelvBSTR(kOriginator).Get()));
    Check(job->put_TaskTypeDescription(KelvBSTR(TaskDisplayName(runInfo.GetTask())).Get()));
    Check(job->put_TaskPrefix(KelvBSTR(seed).Get()));

    const std::string interval =
        LogicStateUtilities::GetPropertyValue(m_jobTemplateState.get(), "LiveUpdateInterval").String();
    Check(job->AddServerCommandItem(KelvBSTR("UpdateInterval").Get(), KelvBSTR(interval).Get()));
    Check(job->RegisterNotificationHandler(KelvBSTR(kHandlerMoniker).Get()));

    const std::vector<std::string> files = JobFileList(folder.ToTString(), name.ToTString(),
                                                       LibraryUploadPath(runInfo, folder.ToTString()),
                                                       runInfo.GetTask());
    for (const std::string& file : files) {
        const HRESULT hr = AddJobFileTransfers(job, file);
        if (FAILED(hr)) {
            KelvResult::SetLastError(hr);
            throw KelvResult::LastErrorCheckNotS_OK();
        }
    }
    return true;
}
