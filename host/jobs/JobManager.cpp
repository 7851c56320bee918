#include "host/jobs/JobManager.h"

#include "com/regularfile.h"

#include "host/jobs/EngineProcess.h"
#include "host/jobs/EngineProtocol.h"
#include "host/managers/HostCall.h"
#include "host/jobs/JobDriverNote.h"
#include "host/state/ProjectLock.h"

#include "qorqm/ClaimName.h"
#include "com/regularfile.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorqm/SafeName.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace QzHost {

namespace fs = std::filesystem;

namespace {

bool IsFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// A copy into a folder of the project does not leave it through a link, nor
// read a file of the project that a link leads outside it; it reads through
// the one opener of files, so nothing stands between its look and its read.
void CopyInto(const std::string& from, const std::string& to, const std::string& project,
              CopyRule rule = CopyRule::Any, const std::string& sourceFolder = std::string())
{
    std::string why;
    if (!CopyFileContents(from, to, &why, project, rule, sourceFolder))
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The file \"" + MessageText::Excerpt(from) +
                                                      "\" cannot be copied to \"" + MessageText::Excerpt(to) +
                                                      "\": " + why + ".");
}

// Why a file to upload cannot be: a file of the project that a link leads
// outside it, one of more than one hard link (another name of it may lie
// anywhere), or what stands there is no regular file ("it does not exist",
// "it is a pipe (FIFO), ..."); "" when it can. The copy itself holds the
// file to the same rules on its own open.
std::string WhyNotUploadable(const std::string& source, const std::string& project)
{
    std::string why;
    const RegularFile::Folder folder(project);
    const int fd = folder.IsOpen() ? RegularFile::Open(folder, source, why) : RegularFile::Open(source, why);
    if (fd >= 0) {
        why = RegularFile::WhyNotSingleLink(fd);
        ::close(fd);
    }
    return why.empty() ? why : "it " + why;
}

void MakeFolder(const std::string& folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        Fail(E_ACCESSDENIED, "The folder \"" + folder + "\" cannot be made: " + error.message());
}

// A folder of the project, made with the folders on its way each beneath
// the project: none is made through a link leading outside it.
void MakeProjectFolder(const std::string& folder, const std::string& project)
{
    const RegularFile::Folder held(project);
    std::string inner;
    if (!held.IsOpen() || !held.Holds(folder, inner)) {
        MakeFolder(folder);
        return;
    }
    const int made = held.MakeFolders(inner);
    if (made >= 0) {
        ::close(made);
        return;
    }
    const int error = errno;
    if (error == EXDEV) {
        const std::string leaving = LinkLeavingProject(folder, project);
        Fail(E_ACCESSDENIED, "The folder \"" + MessageText::Excerpt(folder) + "\" cannot be made: " +
                                 (leaving.empty() ? "it leads outside the project" : leaving) + ".");
    }
    Fail(E_ACCESSDENIED, "The folder \"" + MessageText::Excerpt(folder) + "\" cannot be made: " + std::strerror(error));
}

// Makes the project's engine folder (".server"), where every job is staged
// for the engine, when it is missing. What stands in its place and is no
// folder (a file, a FIFO, a device, a link to nothing) is named with the
// folder's role and what to do, as a system error says neither.
void MakeEngineFolder(const std::string& folder, const std::string& project)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(folder, error);
    const auto refuse = [&](const std::string& what) {
        Fail(E_ACCESSDENIED, "The project's engine folder \"" + MessageText::Excerpt(folder) +
                                 "\", where jobs are staged for the engine, " + what +
                                 ": move it away or remove it (a folder of that name is made again), then try again.");
    };
    if (!error && fs::is_symlink(status)) {
        std::error_code followed;
        const fs::file_status target = fs::status(folder, followed);
        if (fs::is_directory(target))
            return;
        std::error_code read;
        refuse(!fs::exists(target) ? "is a symbolic link that leads nowhere (to \"" +
                                         MessageText::Excerpt(fs::read_symlink(folder, read).string()) + "\")"
                                   : "is a symbolic link to something that is no folder");
    }
    if (!error && fs::exists(status) && !fs::is_directory(status)) {
        const std::string kind = fs::is_regular_file(status) ? "a file"
                                 : fs::is_fifo(status)        ? "a pipe (FIFO)"
                                 : fs::is_socket(status)      ? "a socket"
                                 : fs::is_block_file(status) || fs::is_character_file(status) ? "a device"
                                                                                              : "something";
        refuse("is " + kind + ", not a folder");
    }
    MakeProjectFolder(folder, project);
}

// The folder a job is staged in lies in its project also when followed
// through links: a link in a project (".server" leading elsewhere) must not
// stage a job's files outside it.
void RequireInsideProject(const std::string& folder, const std::string& project)
{
    std::error_code error;
    const fs::path resolvedProject = fs::weakly_canonical(project, error);
    const fs::path resolved = fs::weakly_canonical(folder, error);
    if (!error && HostPaths::IsInside(resolvedProject.string(), resolved.string()))
        return;
    Fail(E_ACCESSDENIED, "The job cannot be staged in \"" + folder + "\": it leads outside the project \"" + project +
                             "\" (to \"" + resolved.string() + "\"); the job is not started.");
}

// A folder of the job's own: the first free name of path's series, made at
// once, so that no other job (of this process or another) is given it too.
std::string ClaimFolder(const std::string& path)
{
    const DiskUtilities::ClaimedName claim = DiskUtilities::ClaimNewName(path, DiskUtilities::ClaimKind::Folder);
    if (!claim)
        Fail(E_ACCESSDENIED, "The folder \"" + MessageText::Excerpt(path) +
                                 "\" cannot be made: " + DiskUtilities::ClaimFailure(claim));
    return claim.path;
}

// A text for the shell in single quotes.
std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The engine command of a job: "%SEED%" becomes the job's seed as one word
// for the shell, whatever blanks or quotes it holds, and a seed that begins
// with "-" is led by "./" so that the engine never takes it for an option.
// The seed is quoted as its place in the command needs: bare, it is quoted
// whole (a seed of letters, digits, "_", "-", "." and "/" only, which the
// shell keeps as it is, is not); within the command's own double or single
// quotes ("%SEED%.gin", '%SEED%') it is escaped for those quotes, so the
// command's quotes stay the only ones and the shell gives the seed unchanged.
std::string EngineCommandLine(const std::string& command, const std::string& seed)
{
    static const std::string placeholder = "%SEED%";
    const std::string word = !seed.empty() && seed.front() == '-' ? "./" + seed : seed;
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == '.' || c == '/';
    });
    std::string inDouble;
    std::string inSingle;
    for (const char c : word) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            inDouble += '\\';
        inDouble += c;
        inSingle += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }

    enum class Quote { None, Single, Double } quote = Quote::None;
    std::string line;
    for (std::size_t i = 0; i < command.size();) {
        if (command.compare(i, placeholder.size(), placeholder) == 0) {
            line += quote == Quote::None ? (plain ? word : ShellQuote(word))
                                         : quote == Quote::Double ? inDouble : inSingle;
            i += placeholder.size();
            continue;
        }
        const char c = command[i];
        line += c;
        ++i;
        if (c == '\\' && quote != Quote::Single && i < command.size()) {
            line += command[i++]; // an escaped character stands for itself
        } else if (c == '\'' && quote != Quote::Double) {
            quote = quote == Quote::Single ? Quote::None : Quote::Single;
        } else if (c == '"' && quote != Quote::Single) {
            quote = quote == Quote::Double ? Quote::None : Quote::Double;
        }
    }
    return line;
}

} // namespace

// ---------------------------------------------------------- transfer item

FileTransferItem::FileTransferItem(const std::string& descriptor, LONG upload, LONG download,
                                   const VARIANT& identifier, const VARIANT& docType, const VARIANT& importExport,
                                   const VARIANT& viewer)
    : m_descriptor(descriptor),
      m_upload(upload),
      m_download(download),
      m_identifier(identifier),
      m_docType(docType),
      m_importExport(importExport),
      m_viewer(viewer)
{
}

HRESULT FileTransferItem::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBFileTransferItem)
        return FinishQI(static_cast<ISBFileTransferItem*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT FileTransferItem::get_Descriptor(BSTR* pDescriptor)
{
    return HostCall(IID_ISBFileTransferItem, [&] { StoreString(pDescriptor, m_descriptor); });
}

HRESULT FileTransferItem::get_UploadPolicy(LONG* pPolicy)
{
    return HostCall(IID_ISBFileTransferItem, [&] {
        RequireOut(pPolicy);
        *pPolicy = m_upload;
    });
}

HRESULT FileTransferItem::put_UploadPolicy(LONG policy)
{
    return HostCall(IID_ISBFileTransferItem, [&] {
        Log("FileTransferItem", "put_UploadPolicy", {Quote(m_descriptor), Hex(policy)});
        m_upload = policy;
    });
}

HRESULT FileTransferItem::get_DownloadPolicy(LONG* pPolicy)
{
    return HostCall(IID_ISBFileTransferItem, [&] {
        RequireOut(pPolicy);
        *pPolicy = m_download;
    });
}

HRESULT FileTransferItem::put_DownloadPolicy(LONG policy)
{
    return HostCall(IID_ISBFileTransferItem, [&] {
        Log("FileTransferItem", "put_DownloadPolicy", {Quote(m_descriptor), Hex(policy)});
        m_download = policy;
    });
}

HRESULT FileTransferItem::get_Identifier(VARIANT* pIdentifier)
{
    return HostCall(IID_ISBFileTransferItem, [&] {
        RequireOut(pIdentifier);
        VariantInit(pIdentifier);
        KelvResult::Check(VariantCopy(pIdentifier, &m_identifier.Get()));
    });
}

// ------------------------------------------------------------- managed job

ManagedJob::ManagedJob(std::shared_ptr<HostContext> context, LONG number, const std::string& serverName,
                       KelvComPtr<ISBState> templateState, const std::string& gateway)
    : m_context(std::move(context)),
      m_number(number),
      m_serverName(serverName),
      m_templateState(std::move(templateState)),
      m_gateway(gateway)
{
    if (HostState* state = dynamic_cast<HostState*>(m_templateState.get()))
        m_templateValues = state->ToJson();
}

HRESULT ManagedJob::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBManagedJob || iid == IID_ISBManagedTask)
        return FinishQI(static_cast<ISBManagedJob*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

void ManagedJob::RequireNotStarted(const char* what) const
{
    if (m_stage != JobStage::Created)
        Fail(E_UNEXPECTED, std::string("The job has been started; its ") + what + " can no longer change.");
}

HRESULT ManagedJob::PutTaskText(const char* method, const char* what, BSTR value, std::string& field)
{
    return HostCall(IID_ISBManagedTask, [&] {
        const std::string text = Narrow(value);
        Log("ManagedJob", method, {Quote(text)});
        RequireNotStarted(what);
        field = text;
    });
}

std::string ManagedJob::CommandItem(const std::string& command) const
{
    for (const auto& item : m_commandItems) {
        if (item.first == command)
            return item.second;
    }
    return std::string();
}

HRESULT ManagedJob::get_TaskOriginator(BSTR* pOriginator)
{
    return HostCall(IID_ISBManagedTask, [&] { StoreString(pOriginator, m_originator); });
}

HRESULT ManagedJob::put_TaskOriginator(BSTR originator)
{
    return PutTaskText("put_TaskOriginator", "originator", originator, m_originator);
}

HRESULT ManagedJob::get_TaskTypeDescription(BSTR* pDescription)
{
    return HostCall(IID_ISBManagedTask, [&] { StoreString(pDescription, m_description); });
}

HRESULT ManagedJob::put_TaskTypeDescription(BSTR description)
{
    return PutTaskText("put_TaskTypeDescription", "description", description, m_description);
}

HRESULT ManagedJob::get_TaskPrefix(BSTR* pPrefix)
{
    return HostCall(IID_ISBManagedTask, [&] { StoreString(pPrefix, m_prefix); });
}

HRESULT ManagedJob::put_TaskPrefix(BSTR prefix)
{
    return PutTaskText("put_TaskPrefix", "prefix", prefix, m_prefix);
}

HRESULT ManagedJob::AddServerCommandItem(BSTR command, BSTR arguments)
{
    return HostCall(IID_ISBManagedTask, [&] {
        const std::string name = Narrow(command);
        const std::string text = Narrow(arguments);
        Log("ManagedJob", "AddServerCommandItem", {Quote(name), Quote(text)});
        RequireNotStarted("command items");
        if (name.empty())
            Fail(E_INVALIDARG, "A server command item needs a command.");
        m_commandItems.emplace_back(name, text);
    });
}

HRESULT ManagedJob::AddFileTransferItem(BSTR descriptor, LONG uploadPolicy, LONG downloadPolicy,
                                        VARIANT varIdentifier, VARIANT varDocTypeProgID,
                                        VARIANT varImportExportProgID, VARIANT varViewerProgID,
                                        ISBFileTransferItem** ppItem)
{
    return HostCall(IID_ISBManagedTask, [&] {
        if (ppItem)
            *ppItem = nullptr;
        const std::string path = Narrow(descriptor);
        Log("ManagedJob", "AddFileTransferItem",
            {Quote(path), Hex(uploadPolicy), Hex(downloadPolicy), DescribeVariant(varIdentifier),
             DescribeVariant(varDocTypeProgID), DescribeVariant(varImportExportProgID), DescribeVariant(varViewerProgID)});
        RequireNotStarted("files");
        if (path.empty())
            Fail(E_INVALIDARG, "A file-transfer item needs a file.");
        KelvComPtr<FileTransferItem> item = KelvComPtr<FileTransferItem>::Adopt(new FileTransferItem(
            path, uploadPolicy, downloadPolicy, varIdentifier, varDocTypeProgID, varImportExportProgID,
            varViewerProgID));
        m_items.push_back(item);
        if (ppItem)
            StoreInterface(ppItem, item);
    });
}

HRESULT ManagedJob::get_Scope(ISBScope** ppScope)
{
    return HostCall(IID_ISBManagedTask, [&]() -> HRESULT {
        RequireOut(ppScope);
        StoreInterface(ppScope, m_scope);
        return m_scope ? S_OK : S_FALSE;
    });
}

HRESULT ManagedJob::putref_Scope(ISBScope* pScope)
{
    return HostCall(IID_ISBManagedTask, [&] {
        Log("ManagedJob", "putref_Scope", {pScope ? "scope" : "null"});
        RequireNotStarted("scope");
        m_scope = KelvComPtr<ISBScope>(pScope);
    });
}

HRESULT ManagedJob::Start()
{
    return HostCall(IID_ISBManagedTask, [&] {
        Log("ManagedJob", "Start", {Quote(m_serverName), Quote(m_prefix)});
        if (m_stage != JobStage::Created)
            Fail(E_UNEXPECTED, "The job has been started already.");

        // Every file to upload must be there before anything is staged.
        std::vector<std::string> uploads;
        std::set<std::string> names;
        for (const KelvComPtr<FileTransferItem>& item : m_items) {
            if (!(item->UploadPolicy() & UploadMask))
                continue;
            const std::string source = HostPaths::Normal(item->Descriptor());
            if (const std::string why = WhyNotUploadable(source, m_context->documentsFolder); !why.empty())
                Fail(why == std::string("it ") + RegularFile::NotThere ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
                                                                        : E_ACCESSDENIED,
                     "The file \"" + MessageText::Excerpt(item->Descriptor()) + "\" cannot be uploaded: " + why + ".");
            const std::string name = PathUtilities::FileNameFromPath(source);
            if (names.insert(name).second)
                uploads.push_back(source);
        }

        const std::string base =
            m_prefix.empty() ? std::string("job") : QorQMUtilities::MakeSafeFileName(m_prefix, false, false);
        // The place is checked before anything is made in it.
        RequireInsideProject(m_context->serverFolder, m_context->documentsFolder);
        MakeEngineFolder(m_context->serverFolder, m_context->documentsFolder);
        DiskUtilities::MadeOnDisk server(ClaimFolder(PathUtilities::Join(m_context->serverFolder, base)));
        std::vector<std::string> staged;
        for (const std::string& source : uploads) {
            const std::string target = PathUtilities::Join(server.Path(), PathUtilities::FileNameFromPath(source));
            CopyInto(source, target, m_context->documentsFolder, CopyRule::SingleLink);
            staged.push_back(target);
        }

        std::string title = m_prefix.empty() ? std::string("Job") : m_prefix;
        if (!m_serverName.empty())
            title += " " + m_serverName;
        if (!m_description.empty())
            title += " " + m_description;
        const std::string results = ClaimFolder(
            PathUtilities::Join(m_context->documentsFolder, QorQMUtilities::MakeSafeFileName(title, true, false)));

        m_serverFolder = server.Path();
        m_resultsFolder = results;
        m_stagedFiles = staged;
        m_stage = JobStage::Started;
        server.Keep();
        Log("JobManager", "Staged", {Quote(m_serverFolder), std::to_string(staged.size()), Quote(results)});
    });
}

HRESULT ManagedJob::get_ResultsFolder(BSTR* pFolder)
{
    return HostCall(IID_ISBManagedTask, [&] {
        RequireOut(pFolder);
        *pFolder = nullptr;
        if (m_resultsFolder.empty())
            Fail(E_UNEXPECTED, "The job has no results folder before it starts.");
        StoreString(pFolder, m_resultsFolder + "/");
    });
}

HRESULT ManagedJob::MakeSafeName(BSTR name, BSTR* pSafeName)
{
    return HostCall(IID_ISBManagedTask, [&] {
        RequireOut(pSafeName);
        *pSafeName = nullptr;
        const std::string text = Narrow(name);
        Log("ManagedJob", "MakeSafeName", {Quote(text)});
        StoreString(pSafeName, QorQMUtilities::MakeSafeFileName(text, false, false));
    });
}

HRESULT ManagedJob::RegisterNotificationHandler(BSTR moniker)
{
    return HostCall(IID_ISBManagedJob, [&] {
        const std::string text = Narrow(moniker);
        Log("ManagedJob", "RegisterNotificationHandler", {Quote(text)});
        RequireNotStarted("notification handler");
        m_handler = text;
    });
}

HRESULT ManagedJob::get_NotificationHandler(BSTR* pMoniker)
{
    return HostCall(IID_ISBManagedJob, [&] { StoreString(pMoniker, m_handler); });
}

HRESULT ManagedJob::get_ServerName(BSTR* pName)
{
    return HostCall(IID_ISBManagedJob, [&] { StoreString(pName, m_serverName); });
}

HRESULT ManagedJob::DownloadFile(BSTR remotePath, BSTR* pLocalPath)
{
    return HostCall(IID_ISBManagedJob, [&] {
        RequireOut(pLocalPath);
        *pLocalPath = nullptr;
        const std::string text = Narrow(remotePath);
        Log("ManagedJob", "DownloadFile", {Quote(text)});
        if (m_serverFolder.empty())
            Fail(E_UNEXPECTED, "The job has not been started; the server has no files yet.");
        const std::string remote = text.find_first_of("/\\") == std::string::npos
            ? PathUtilities::Join(m_serverFolder, text)
            : HostPaths::Normal(text);
        if (text.empty() || !HostPaths::IsInside(m_serverFolder, remote) || remote == m_serverFolder)
            Fail(E_ACCESSDENIED, "\"" + text + "\" is not a file of the job's server folder.");
        if (!IsFile(remote))
            Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The server has no file \"" + text + "\".");
        const std::string downloads = PathUtilities::Join(m_serverFolder, "downloads");
        MakeProjectFolder(downloads, m_context->documentsFolder);
        const std::string local = PathUtilities::Join(
            downloads, std::to_string(++m_downloads) + "_" + PathUtilities::FileNameFromPath(remote));
        CopyInto(remote, local, m_context->documentsFolder);
        StoreString(pLocalPath, local);
    });
}

// ------------------------------------------------------------- job manager

KelvComPtr<JobManager> JobManager::Create(std::shared_ptr<HostContext> context, KelvComPtr<HostModules> modules)
{
    return KelvComPtr<JobManager>::Adopt(new JobManager(std::move(context), std::move(modules)));
}

JobManager::JobManager(std::shared_ptr<HostContext> context, KelvComPtr<HostModules> modules)
    : m_context(std::move(context)), m_modules(std::move(modules))
{
    m_servers["ZELM"] = std::string();
}

HRESULT JobManager::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBJobManager)
        return FinishQI(static_cast<ISBJobManager*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT JobManager::CreateManagedJob(BSTR bstrServerName, VARIANT varTemplateStateID, VARIANT varGatewayName,
                                     ISBManagedJob** ppJob)
{
    return HostCall(IID_ISBJobManager, [&] {
        RequireOut(ppJob);
        *ppJob = nullptr;
        const std::string server = Narrow(bstrServerName);
        KelvComPtr<ISBState> templateState;
        std::string templateText = DescribeVariant(varTemplateStateID);
        if (varTemplateStateID.vt == VT_DISPATCH || varTemplateStateID.vt == VT_UNKNOWN) {
            templateState = KelvComPtr<ISBState>::QueryFrom(varTemplateStateID.punkVal);
            if (HostState* state = dynamic_cast<HostState*>(templateState.get()))
                templateText = "state of " + Quote(state->LogicName());
        }
        Log("JobManager", "CreateManagedJob", {Quote(server), templateText, DescribeVariant(varGatewayName)});
        if (!m_servers.count(server))
            Fail(E_INVALIDARG, "The job manager knows no server program \"" + server + "\".");
        if (varTemplateStateID.vt != VT_EMPTY && !templateState)
            Fail(E_INVALIDARG, "The job template must be a state object.");
        std::string gateway;
        if (varGatewayName.vt == VT_BSTR)
            gateway = Narrow(varGatewayName.bstrVal);
        else if (varGatewayName.vt != VT_EMPTY)
            Fail(E_INVALIDARG, "The gateway is named by a text (or left empty for the default one).");
        KelvComPtr<ManagedJob> job = KelvComPtr<ManagedJob>::Adopt(
            new ManagedJob(m_context, static_cast<LONG>(m_jobs.size() + 1), server, templateState, gateway));
        m_jobs.push_back(job);
        StoreInterface(ppJob, job);
    });
}

void JobManager::SetServerCommand(const std::string& server, const std::string& command)
{
    m_servers[server] = command;
}

std::string JobManager::ServerCommand(const std::string& server) const
{
    const auto it = m_servers.find(server);
    return it == m_servers.end() ? std::string() : it->second;
}

void JobManager::RunServer(ManagedJob& job)
{
    Log("JobManager", "RunServer", {Quote(job.ServerName()), Quote(job.ServerFolder())});
    if (job.Stage() == JobStage::Created)
        Fail(E_UNEXPECTED, "The job has not been started, so nothing is staged for the server.");
    const std::string command = ServerCommand(job.ServerName());
    if (command.empty())
        Fail(E_FAIL, "No engine command is configured for the server program \"" + job.ServerName() +
                         "\"; the job's files stay staged in \"" + job.ServerFolder() + "\".");
    std::string seed = job.CommandItem("SeedName");
    if (seed.empty())
        seed = job.Prefix();
    const std::string line = "cd " + ShellQuote(job.ServerFolder()) + " && " + EngineCommandLine(command, seed);
    const int status = std::system(line.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail(E_FAIL, "The engine command \"" + MessageText::Excerpt(command) + "\" failed in \"" + job.ServerFolder() + "\" (status " +
                         std::to_string(status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : status)) + ").");
}

DeliveryReport JobManager::Deliver(ManagedJob& job, const DeliveryRequest& request)
{
    Log("JobManager", "Deliver", {Quote(job.NotificationHandler()), Quote(request.outputsFolder)});
    if (job.Stage() != JobStage::Started)
        Fail(E_UNEXPECTED, job.Stage() == JobStage::Created ? "The job has not been started."
                                                             : "The job has been delivered already.");

    // The engine's output files join the staged ones.
    if (!request.outputsFolder.empty()) {
        const std::string outputs = HostPaths::Normal(request.outputsFolder);
        std::error_code error;
        if (!fs::is_directory(outputs, error))
            Fail(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The output folder \"" + request.outputsFolder + "\" does not exist.");
        for (fs::directory_iterator it(outputs, error), end; !error && it != end; it.increment(error)) {
            if (it->is_regular_file(error))
                CopyInto(it->path().string(), PathUtilities::Join(job.ServerFolder(), it->path().filename().string()),
                         m_context->documentsFolder, CopyRule::Any, outputs);
        }
        if (error)
            Fail(E_FAIL, "The output folder \"" + request.outputsFolder + "\" cannot be read: " + error.message());
    }
    std::vector<std::string> intermediates;
    for (const std::string& name : request.intermediateFiles) {
        const std::string path = PathUtilities::Join(job.ServerFolder(), PathUtilities::FileNameFromPath(name));
        if (!IsFile(path))
            Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The server has no intermediate file \"" + name + "\".");
        intermediates.push_back(path);
    }

    return Play(job, [&](ISBManagedJobEvents* events, const EventNote& note, DeliveryReport&) {
        for (const std::string& path : intermediates) {
            KelvBSTR text(path);
            note("OnIntermediateFileResult " + PathUtilities::FileNameFromPath(path),
                 events->OnIntermediateFileResult(text.Get()));
        }
        for (const std::string& data : request.intermediateData) {
            KelvBSTR text(data);
            note("OnIntermediateDataResult", events->OnIntermediateDataResult(text.Get()));
        }
    });
}

DeliveryReport JobManager::Run(ManagedJob& job)
{
    Log("JobManager", "Run", {Quote(job.NotificationHandler()), Quote(job.ServerFolder())});
    if (job.Stage() != JobStage::Started)
        Fail(E_UNEXPECTED, job.Stage() == JobStage::Created ? "The job has not been started."
                                                             : "The job has been delivered already.");
    const std::string command = ServerCommand(job.ServerName());
    if (command.empty())
        Fail(E_FAIL, "No engine command is configured for the server program \"" + job.ServerName() +
                         "\"; the job's files stay staged in \"" + job.ServerFolder() + "\".");
    std::string seed = job.CommandItem("SeedName");
    if (seed.empty())
        seed = job.Prefix();
    const std::string line = EngineCommandLine(command, seed);

    DeliveryReport delivered = Play(job, [&](ISBManagedJobEvents* events, const EventNote& note, DeliveryReport& report) {
        const auto announced = [&](const std::string& text) {
            const std::size_t fileWord = std::char_traits<char>::length(EngineProtocol::IntermediateFile);
            const std::size_t dataWord = std::char_traits<char>::length(EngineProtocol::IntermediateData);
            if (text.compare(0, fileWord, EngineProtocol::IntermediateFile) == 0) {
                // A relative name is the engine's own: it lies in the job's
                // server folder, where the engine runs ("./-rf.arc" too).
                const std::string name = text.substr(fileWord);
                const bool absolute = !name.empty() && (name.front() == '/' || name.front() == '\\');
                const std::string path =
                    HostPaths::Normal(absolute ? name : PathUtilities::Join(job.ServerFolder(), name));
                if (name.empty() || !HostPaths::IsInside(job.ServerFolder(), path) || !IsFile(path)) {
                    report.failures.push_back("Engine: it announced \"" + MessageText::Excerpt(name) +
                                              "\", which is not a file of the job's server folder.");
                    return;
                }
                KelvBSTR bstr(path);
                note("OnIntermediateFileResult " + MessageText::Excerpt(PathUtilities::FileNameFromPath(path)),
                     events->OnIntermediateFileResult(bstr.Get()));
            } else if (text.compare(0, dataWord, EngineProtocol::IntermediateData) == 0) {
                KelvBSTR bstr(text.substr(dataWord));
                note("OnIntermediateDataResult", events->OnIntermediateDataResult(bstr.Get()));
            }
        };
        Log("JobManager", "RunEngine", {Quote(line), Quote(job.ServerFolder())});
        const EngineProcessResult run = RunEngineProcess(line, job.ServerFolder(), m_timeLimit, announced);
        report.engine = "The engine command \"" + MessageText::Excerpt(line) + "\" " + run.Describe(m_timeLimit) + ".";
        report.engineErrors = run.errorTail;
        Log("JobManager", "EngineEnded", {Quote(run.Describe(m_timeLimit))});
        if (!run.Succeeded()) {
            std::string failure = "Engine: " + report.engine;
            if (!run.errorTail.empty()) {
                failure += " Its last error lines:";
                for (const std::string& text : run.errorTail)
                    failure += "\n  " + text;
            }
            report.failures.push_back(failure);
        }
    });
    // The engine's folder of a run whose results are home (the engine ended
    // well, every download came and the job object imported them) holds
    // nothing the project needs any more: it goes, so that the server folder
    // does not grow with every run ever made. That of a run that failed or
    // was stopped stays, for the user to look into (the status of a stopped
    // run names its main output there).
    if (delivered.failures.empty()) {
        std::error_code error;
        fs::remove_all(job.ServerFolder(), error);
        if (!error)
            Log("JobManager", "EngineFolderRemoved", {Quote(job.ServerFolder())});
    }
    return delivered;
}

DeliveryReport JobManager::Play(ManagedJob& job, const std::function<void(ISBManagedJobEvents*, const EventNote&,
                                                                         DeliveryReport&)>& middle)
{
    if (job.NotificationHandler().empty())
        Fail(E_UNEXPECTED, "The job has no notification handler; it stays staged in \"" + job.ServerFolder() + "\".");
    HostModules::JobHandler handler;
    try {
        handler = m_modules->CreateJobHandler(job.NotificationHandler(), m_context->root);
    } catch (const KelvResult& error) {
        throw KelvResult(error.GetHRESULT(),
                         error.GetMessage() + " The job stays staged in \"" + job.ServerFolder() + "\".");
    }
    KelvComPtr<ISBManagedJobEvents> events = handler.object.TryQueryInterface<ISBManagedJobEvents>();
    if (!events) {
        m_modules->ReleaseJobHandler(handler);
        Fail(E_NOINTERFACE, "The job handler of \"" + job.NotificationHandler() +
                                "\" does not take job events; the job stays staged.");
    }

    DeliveryReport report;
    const EventNote note = [&](const std::string& event, HRESULT hr) {
        std::string line = event + ": " + (hr == S_OK ? std::string("S_OK") : Hex(static_cast<uint32_t>(hr)));
        Log("JobDelivery", event, {hr == S_OK ? "S_OK" : Hex(static_cast<uint32_t>(hr))});
        if (FAILED(hr)) {
            KelvResult::SetLastError(hr);
            report.failures.push_back(event + ": " + KelvResult::LastError().GetMessage());
        }
        report.events.push_back(line);
    };

    // Until the job's completion has been handed over, the results folder
    // names this process: a run whose driver is gone reads as stopped.
    JobDriverNote driver(job.ResultsFolder(), job.Prefix(), job.ServerFolder());
    note("OnAttach", events->OnAttach(static_cast<ISBManagedJob*>(&job)));
    note("OnJobStart", events->OnJobStart());
    try {
        middle(events.get(), note, report);
    } catch (const KelvResult& error) {
        report.failures.push_back(error.GetMessage());
    } catch (const std::exception& error) {
        report.failures.push_back(error.what());
    }

    // The results come home by their download policies, and the handler
    // imports them into the project's documents: under the project's lock,
    // as every change of a project's documents.
    // The results folder is locked too, as a command that names a document
    // there without its project locks it; both in one order, so that no two
    // processes wait for each other.
    std::vector<std::string> lockedFolders = {m_context->documentsFolder.empty() ? "." : m_context->documentsFolder};
    std::error_code folderError;
    if (!job.ResultsFolder().empty() && fs::is_directory(job.ResultsFolder(), folderError) &&
        fs::weakly_canonical(job.ResultsFolder(), folderError) !=
            fs::weakly_canonical(lockedFolders.front(), folderError))
        lockedFolders.push_back(job.ResultsFolder());
    std::sort(lockedFolders.begin(), lockedFolders.end(), [](const std::string& a, const std::string& b) {
        std::error_code error;
        return fs::weakly_canonical(a, error) < fs::weakly_canonical(b, error);
    });
    std::vector<std::unique_ptr<ProjectLock>> projectLock;
    bool locked = true;
    try {
        for (const std::string& folder : lockedFolders)
            projectLock.push_back(std::make_unique<ProjectLock>(
                folder, lockedFolders.size() > 1 && folder == job.ResultsFolder() ? "results folder" : "project folder"));
    } catch (const KelvResult& error) {
        // Without the lock nothing is imported into the project (another
        // process may be changing it): the results still come home into
        // the job's own folder, and the note of this process stays there,
        // so that the run reads as stopped before its results were
        // brought in.
        locked = false;
        projectLock.clear();
        report.failures.push_back(error.GetMessage() + " The job's results were not imported into the project; they "
                                  "stay in \"" + job.ResultsFolder() + "\".");
    }
    std::set<std::string> names;
    for (const KelvComPtr<FileTransferItem>& item : job.Items()) {
        if (item->DownloadPolicy() == 0)
            continue;
        const std::string name = PathUtilities::FileNameFromPath(PathUtilities::ToNative(item->Descriptor()));
        if (!names.insert(name).second)
            continue;
        const std::string source = PathUtilities::Join(job.ServerFolder(), name);
        if (!IsFile(source)) {
            report.missing.push_back(name);
            continue;
        }
        const std::string target = PathUtilities::Join(job.ResultsFolder(), name);
        try {
            CopyInto(source, target, m_context->documentsFolder);
            report.downloaded.push_back(target);
            Log("JobDelivery", "Download", {Quote(name), Hex(item->DownloadPolicy())});
        } catch (const KelvResult& error) {
            report.failures.push_back("Download " + name + ": " + error.GetMessage());
        }
    }

    if (locked) {
        note("OnJobComplete", events->OnJobComplete());
        driver.Done();
    }
    while (!projectLock.empty())
        projectLock.pop_back();
    note("OnDetach", events->OnDetach());
    events.Release();
    m_modules->ReleaseJobHandler(handler);
    job.MarkCompleted();
    return report;
}

void JobManager::Clear()
{
    m_jobs.clear();
    m_modules.Release();
}

} // namespace QzHost
