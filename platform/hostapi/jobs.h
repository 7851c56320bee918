// Host application interfaces: the job manager, managed jobs and their file
// transfers, and the job interfaces that a module's components implement.
#pragma once

#include "hostapi/core.h"

struct ISBScope;
struct ISBManagedJob;
struct ISBFileTransferItem;

inline constexpr IID IID_ISBManagedJobEvents = HostApi::MakeGuid("FA716EF6-BB7F-4F50-BE8B-1695477BD4A2");
inline constexpr IID IID_ISBManagedJobFiles = HostApi::MakeGuid("177E723D-5472-4488-B759-0F4320FF6E13");
// identifier of our own
inline constexpr IID IID_ISBJobManager = HostApi::MakeGuid("5CF16730-0D44-4EB5-BD4A-60210701D001");
// identifier of our own
inline constexpr IID IID_ISBManagedTask = HostApi::MakeGuid("7B50AFC3-06EF-4DDF-938F-0B169086FD9E");
// identifier of our own
inline constexpr IID IID_ISBManagedJob = HostApi::MakeGuid("97CFE524-1B0B-4D59-B694-AEE8171BC30C");
// identifier of our own
inline constexpr IID IID_ISBFileTransferItem = HostApi::MakeGuid("A17F302F-10F5-4EEF-8714-01A1697A939D");

// Server jobs.
struct ISBJobManager : public IUnknown {
    static const IID& Iid() { return IID_ISBJobManager; }
    // A new, unstarted job of the server program bstrServerName ("ZELM").
    // varTemplateStateID holds the job template's state (VT_DISPATCH), whose
    // settings the job takes; varGatewayName names the server gateway
    // (VT_EMPTY: the default one).
    virtual HRESULT CreateManagedJob(BSTR bstrServerName, VARIANT varTemplateStateID, VARIANT varGatewayName,
                                     ISBManagedJob** ppJob) = 0;
};

// The settings of a job's task.
struct ISBManagedTask : public IUnknown {
    static const IID& Iid() { return IID_ISBManagedTask; }
    // Who made the task ("ZELM").
    virtual HRESULT get_TaskOriginator(BSTR* pOriginator) = 0;
    virtual HRESULT put_TaskOriginator(BSTR originator) = 0;
    // What the task does ("GeomOpt"); read back when the job completes.
    virtual HRESULT get_TaskTypeDescription(BSTR* pDescription) = 0;
    virtual HRESULT put_TaskTypeDescription(BSTR description) = 0;
    // The prefix of the task's result files and documents (the seed name).
    virtual HRESULT get_TaskPrefix(BSTR* pPrefix) = 0;
    virtual HRESULT put_TaskPrefix(BSTR prefix) = 0;
    // Adds a command item that the server receives (for instance
    // "UpdateInterval" with its value, "SeedName" with the seed name).
    virtual HRESULT AddServerCommandItem(BSTR command, BSTR arguments) = 0;
    // Adds a file-transfer item for the file `descriptor` (a full path) with
    // upload and download policy words, an identifier (VT_EMPTY: none) and
    // the ProgIDs of the document type, the import/export component and the
    // viewer that results open with (VT_EMPTY: chosen by extension). Items
    // keep their order. ppItem may be null.
    virtual HRESULT AddFileTransferItem(BSTR descriptor, LONG uploadPolicy, LONG downloadPolicy, VARIANT varIdentifier,
                                        VARIANT varDocTypeProgID, VARIANT varImportExportProgID,
                                        VARIANT varViewerProgID, ISBFileTransferItem** ppItem) = 0;
    // The scope the task was made for (null: none).
    virtual HRESULT get_Scope(ISBScope** ppScope) = 0;
    virtual HRESULT putref_Scope(ISBScope* pScope) = 0;
    // Starts the task: the upload-policy files are copied to the server's work folder and the server runs.
    virtual HRESULT Start() = 0;
    // The local folder where the task's results are delivered (ending in a separator).
    virtual HRESULT get_ResultsFolder(BSTR* pFolder) = 0;
    // A name that the job's server and folders accept (the rule of ISBDiskManager::MakeSafeFileName
    // with both flags false).
    virtual HRESULT MakeSafeName(BSTR name, BSTR* pSafeName) = 0;
};

// A job of the job manager.
struct ISBManagedJob : public ISBManagedTask {
    static const IID& Iid() { return IID_ISBManagedJob; }
    // The moniker of the component that receives the job's events
    // ("ModuleManager!QorZelm.Extension!QMJobHandler"); it implements ISBManagedJobEvents.
    virtual HRESULT RegisterNotificationHandler(BSTR moniker) = 0;
    // The registered moniker ("" when none).
    virtual HRESULT get_NotificationHandler(BSTR* pMoniker) = 0;
    // The server program the job runs ("ZELM").
    virtual HRESULT get_ServerName(BSTR* pName) = 0;
    // Copies a file that the server delivered as an intermediate result into a
    // new local temporary file and gives its path; the caller deletes it.
    virtual HRESULT DownloadFile(BSTR remotePath, BSTR* pLocalPath) = 0;
};

// One file of a job with what happens to it before and after the run.
struct ISBFileTransferItem : public IUnknown {
    static const IID& Iid() { return IID_ISBFileTransferItem; }
    // The file (full path as added).
    virtual HRESULT get_Descriptor(BSTR* pDescriptor) = 0;
    // The upload policy word (non-zero: the file goes to the server before the run).
    virtual HRESULT get_UploadPolicy(LONG* pPolicy) = 0;
    virtual HRESULT put_UploadPolicy(LONG policy) = 0;
    // The download policy word (non-zero: the file comes back into the results folder).
    virtual HRESULT get_DownloadPolicy(LONG* pPolicy) = 0;
    virtual HRESULT put_DownloadPolicy(LONG policy) = 0;
    // The item's identifier (VT_EMPTY when none).
    virtual HRESULT get_Identifier(VARIANT* pIdentifier) = 0;
};

// Implemented by a module's job object: the job manager reports a job's life
// through it. Dual.
struct ISBManagedJobEvents : public IDispatch {
    static const IID& Iid() { return IID_ISBManagedJobEvents; }
    // The job object now follows pJob.
    virtual HRESULT OnAttach(ISBManagedJob* pJob) = 0;
    // The job object no longer follows its job.
    virtual HRESULT OnDetach() = 0;
    // The server started the job.
    virtual HRESULT OnJobStart() = 0;
    // The job has finished and its results are in the results folder.
    virtual HRESULT OnJobComplete() = 0;
    // The server delivered an intermediate file (its path as the server gives it).
    virtual HRESULT OnIntermediateFileResult(BSTR bstrFilePath) = 0;
    // The server delivered an intermediate data string.
    virtual HRESULT OnIntermediateDataResult(BSTR bstrDataString) = 0;
    // The job's preparation step is over (bProcessed: it did something).
    virtual HRESULT OnJobPrepareComplete(VARIANT_BOOL bProcessed) = 0;
    // The connection to the server was lost.
    virtual HRESULT OnJobDisconnect() = 0;
    // The connection to the server is back.
    virtual HRESULT OnJobReconnect() = 0;
};

// Implemented by a module's logic: the host's job control saves input files
// or runs saved ones through it. Dual; dispatch identifiers 0x60020000 to
// 0x60020004 in member order.
struct ISBManagedJobFiles : public IDispatch {
    static const IID& Iid() { return IID_ISBManagedJobFiles; }
    // Submits the saved input deck that the scope's document is.
    virtual HRESULT StartFiles(ISBScope* pScope) = 0;
    // Writes the input files for the scope's structure without submitting them.
    virtual HRESULT ExportFiles(ISBScope* pScope) = 0;
    // Whether StartFiles can run for the scope.
    virtual HRESULT CanStartFiles(ISBScope* pScope, VARIANT_BOOL* canStart) = 0;
    // Whether ExportFiles can run for the scope.
    virtual HRESULT CanExportFiles(ISBScope* pScope, VARIANT_BOOL* canExport) = 0;
    // Whether StartFiles should run, with a reason for the user when not.
    virtual HRESULT ShouldStartFiles(ISBScope* pScope, BSTR* reason, VARIANT_BOOL* shouldStart) = 0;
};
