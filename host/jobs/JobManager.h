// The job manager: managed jobs of server programs ("ZELM") with their
// settings, server command items and file-transfer items, staging of the
// upload files into a server work folder, an optional engine run there, and
// the delivery step that plays a job's life against the job object that
// the job's notification handler names.
#pragma once

#include "host/managers/HostContext.h"
#include "host/state/HostExtension.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace QzHost {

// Upload policy bits as this job manager reads them: a file is copied to the
// server before the run when its word has any of the first three bits (it
// must exist then); a word with only UploadJobFile names a file the engine
// writes, which the server keeps but nobody uploads.
enum UploadPolicyBits : LONG {
    UploadEngineInput = 0x01, // read by the engine (the deck, the library)
    UploadJobFile = 0x10,     // one of the job's files on the server
    UploadCopy = 0x20,        // copied to the server as it is (model files)
    UploadSideFile = 0x40,    // a side file that travels with the job
    UploadMask = UploadEngineInput | UploadCopy | UploadSideFile
};
// Any non-zero download policy brings the file from the server into the
// results folder after the run, when the server has it.

// One file of a job: what the module passed to AddFileTransferItem.
class FileTransferItem final : public CKelvUnknown, public ISBFileTransferItem {
public:
    FileTransferItem(const std::string& descriptor, LONG upload, LONG download, const VARIANT& identifier,
                     const VARIANT& docType, const VARIANT& importExport, const VARIANT& viewer);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT get_Descriptor(BSTR* pDescriptor) override;
    HRESULT get_UploadPolicy(LONG* pPolicy) override;
    HRESULT put_UploadPolicy(LONG policy) override;
    HRESULT get_DownloadPolicy(LONG* pPolicy) override;
    HRESULT put_DownloadPolicy(LONG policy) override;
    HRESULT get_Identifier(VARIANT* pIdentifier) override;

    const std::string& Descriptor() const { return m_descriptor; }
    LONG UploadPolicy() const { return m_upload; }
    LONG DownloadPolicy() const { return m_download; }
    const KelvVariant& Identifier() const { return m_identifier; }
    const KelvVariant& DocumentTypeProgId() const { return m_docType; }
    const KelvVariant& ImportExportProgId() const { return m_importExport; }
    const KelvVariant& ViewerProgId() const { return m_viewer; }

private:
    std::string m_descriptor;
    LONG m_upload;
    LONG m_download;
    KelvVariant m_identifier;
    KelvVariant m_docType;
    KelvVariant m_importExport;
    KelvVariant m_viewer;
};

enum class JobStage { Created, Started, Completed };

class ManagedJob final : public CKelvUnknown, public ISBManagedJob {
public:
    ManagedJob(std::shared_ptr<HostContext> context, LONG number, const std::string& serverName,
               KelvComPtr<ISBState> templateState, const std::string& gateway);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISBManagedTask
    HRESULT get_TaskOriginator(BSTR* pOriginator) override;
    HRESULT put_TaskOriginator(BSTR originator) override;
    HRESULT get_TaskTypeDescription(BSTR* pDescription) override;
    HRESULT put_TaskTypeDescription(BSTR description) override;
    HRESULT get_TaskPrefix(BSTR* pPrefix) override;
    HRESULT put_TaskPrefix(BSTR prefix) override;
    HRESULT AddServerCommandItem(BSTR command, BSTR arguments) override;
    HRESULT AddFileTransferItem(BSTR descriptor, LONG uploadPolicy, LONG downloadPolicy, VARIANT varIdentifier,
                                VARIANT varDocTypeProgID, VARIANT varImportExportProgID, VARIANT varViewerProgID,
                                ISBFileTransferItem** ppItem) override;
    HRESULT get_Scope(ISBScope** ppScope) override;
    HRESULT putref_Scope(ISBScope* pScope) override;
    // Stages the job: every file whose upload policy asks for it (UploadMask)
    // is copied into a new server work folder, and the results folder is
    // made. A file to upload that does not exist fails the start (nothing is
    // staged then); a job starts once.
    HRESULT Start() override;
    HRESULT get_ResultsFolder(BSTR* pFolder) override;
    HRESULT MakeSafeName(BSTR name, BSTR* pSafeName) override;
    // ISBManagedJob
    HRESULT RegisterNotificationHandler(BSTR moniker) override;
    HRESULT get_NotificationHandler(BSTR* pMoniker) override;
    HRESULT get_ServerName(BSTR* pName) override;
    // remotePath: a file of the server work folder (full path or file name);
    // any other path is refused. The copy keeps the file's name behind a
    // unique number and lies in the job's download folder.
    HRESULT DownloadFile(BSTR remotePath, BSTR* pLocalPath) override;

    // What the job holds.
    LONG Number() const { return m_number; }
    const std::string& ServerName() const { return m_serverName; }
    const std::string& Gateway() const { return m_gateway; }
    ISBState* TemplateState() const { return m_templateState.get(); }
    // The template state's values when the job was made ({} when it was not
    // one of the host's states).
    const nlohmann::json& TemplateValues() const { return m_templateValues; }
    const std::string& Originator() const { return m_originator; }
    const std::string& TaskDescription() const { return m_description; }
    const std::string& Prefix() const { return m_prefix; }
    const std::vector<std::pair<std::string, std::string>>& CommandItems() const { return m_commandItems; }
    const std::vector<KelvComPtr<FileTransferItem>>& Items() const { return m_items; }
    ISBScope* Scope() const { return m_scope.get(); }
    const std::string& NotificationHandler() const { return m_handler; }
    JobStage Stage() const { return m_stage; }
    // Native folders, without a trailing separator ("" before Start).
    const std::string& ServerFolder() const { return m_serverFolder; }
    const std::string& ResultsFolder() const { return m_resultsFolder; }
    const std::vector<std::string>& StagedFiles() const { return m_stagedFiles; }
    // The arguments of a server command item ("" when there is none).
    std::string CommandItem(const std::string& command) const;

    void MarkCompleted() { m_stage = JobStage::Completed; }

private:
    void RequireNotStarted(const char* what) const;
    // A text of the task set through `method` (logged), before the job
    // starts: `what` names it in the refusal.
    HRESULT PutTaskText(const char* method, const char* what, BSTR value, std::string& field);

    std::shared_ptr<HostContext> m_context;
    LONG m_number;
    std::string m_serverName;
    KelvComPtr<ISBState> m_templateState;
    nlohmann::json m_templateValues = nlohmann::json::object();
    std::string m_gateway;
    std::string m_originator;
    std::string m_description;
    std::string m_prefix;
    std::vector<std::pair<std::string, std::string>> m_commandItems;
    std::vector<KelvComPtr<FileTransferItem>> m_items;
    KelvComPtr<ISBScope> m_scope;
    std::string m_handler;
    JobStage m_stage = JobStage::Created;
    std::string m_serverFolder;
    std::string m_resultsFolder;
    std::vector<std::string> m_stagedFiles;
    LONG m_downloads = 0;
};

// What the delivery step is given: engine output files to place in the
// server work folder first (all files of the folder; "" for none), and the
// intermediate results to report, in order (file names of the server work
// folder, then data strings).
struct DeliveryRequest {
    std::string outputsFolder;
    std::vector<std::string> intermediateFiles;
    std::vector<std::string> intermediateData;
};

// What happened: one line per event ("OnAttach: S_OK"), the files brought
// into the results folder, the download-policy files the server did not
// have, and the failed events with their error texts.
struct DeliveryReport {
    std::vector<std::string> events;
    std::vector<std::string> downloaded;
    std::vector<std::string> missing;
    std::vector<std::string> failures;
    // How the engine run ended ("" when no engine ran) and the last lines of
    // its standard error.
    std::string engine;
    std::vector<std::string> engineErrors;
    bool Succeeded() const { return failures.empty(); }
};

class JobManager final : public CKelvUnknown, public ISBJobManager {
public:
    static KelvComPtr<JobManager> Create(std::shared_ptr<HostContext> context, KelvComPtr<HostModules> modules);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // Known server programs only; the template state (VT_DISPATCH or
    // VT_UNKNOWN) must be a state (ISBState), VT_EMPTY for none; the gateway
    // VT_EMPTY (default) or a name.
    HRESULT CreateManagedJob(BSTR bstrServerName, VARIANT varTemplateStateID, VARIANT varGatewayName,
                             ISBManagedJob** ppJob) override;

    // The engine command of a server program ("" names none). Commands run
    // in the job's server work folder through the shell; "%SEED%" stands for
    // the job's "SeedName" command item (else its prefix), quoted as one word
    // and led by "./" when it begins with "-".
    void SetServerCommand(const std::string& server, const std::string& command);
    std::string ServerCommand(const std::string& server) const;
    const std::vector<KelvComPtr<ManagedJob>>& Jobs() const { return m_jobs; }

    // Runs the server program's engine command for a started job. Without a
    // command, or when the command fails, throws KelvResult with a clear
    // message; the staged files stay.
    void RunServer(ManagedJob& job);
    // Plays the job's life against the job object of its notification
    // handler: attach, job start, intermediate results, the download-policy
    // files into the results folder, completion, detach. A job that was not
    // started, a missing intermediate file or a handler that cannot be made
    // throws KelvResult before any event (the job stays staged). Events that
    // fail are reported and the life goes on, so the job object is always
    // detached and disconnected.
    DeliveryReport Deliver(ManagedJob& job, const DeliveryRequest& request);
    // Runs the job's engine and follows it: attach and job start, then the
    // server program's engine command runs in the job's server folder as a
    // child process (see EngineProcess.h) while each intermediate result it
    // announces (EngineProtocol.h) goes to the job object at once; when the
    // engine has ended, the download-policy files come home, then job
    // completion and detach. A failing or stopped engine is reported (how it
    // ended, the last lines of its standard error) and the job still
    // completes. Without a command, a job that was not started or a handler
    // that cannot be made, throws KelvResult before any event.
    DeliveryReport Run(ManagedJob& job);
    // The engine's time limit in seconds (<= 0: none; default one hour).
    void SetTimeLimit(double seconds) { m_timeLimit = seconds; }
    double TimeLimit() const { return m_timeLimit; }

    void Clear();

private:
    JobManager(std::shared_ptr<HostContext> context, KelvComPtr<HostModules> modules);
    using EventNote = std::function<void(const std::string&, HRESULT)>;
    // The job's life around `middle`: handler, attach, start, middle, the
    // download-policy files, completion, detach.
    DeliveryReport Play(ManagedJob& job,
                        const std::function<void(ISBManagedJobEvents*, const EventNote&, DeliveryReport&)>& middle);

    std::shared_ptr<HostContext> m_context;
    KelvComPtr<HostModules> m_modules;
    std::map<std::string, std::string> m_servers;
    std::vector<KelvComPtr<ManagedJob>> m_jobs;
    double m_timeLimit = 3600;
};

} // namespace QzHost
