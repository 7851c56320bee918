#pragma once
// The host's job handler: what a module's job object forwards the job
// manager's events to. It keeps the job (from OnAttach), the container root
// (from Initialize), the job's stage, the live-update policy and a journal of
// the transfers and events it saw. Copies share one job state, so a live
// updater built from the job object's handler sees the same job.
//
// Every failing host call is thrown as KelvResult with the host's error; a
// call that needs the job or the root before they are there throws
// KelvResult E_UNEXPECTED.

#include "hostapi/hostapi.h"
#include "kelv/KelvBSTR.h"
#include "kelv/KelvComPtr.h"

#include <memory>
#include <string>
#include <vector>

class CJobHandlerUtility {
public:
    // The bits of the live-update policy; they combine (text and model: 5).
    enum LiveUpdatesType : int {
        LiveUpdatesNone = 0,
        LiveUpdatesText = 1,
        LiveUpdatesGraphs = 2,
        LiveUpdatesModel = 4,
        LiveUpdatesAll = 7
    };

    enum class Stage { Created, Attached, Started, Completed, Detached };

    // An empty handler (no root, no job, policy LiveUpdatesAll).
    CJobHandlerUtility();

    // Keeps the container root (null throws E_POINTER).
    void Initialize(ISBContainerRoot* root);

    // The job's events, in the order the job manager sends them.
    void OnAttach(ISBManagedJob* job);
    void OnDetach();
    void OnJobStart();
    void OnJobComplete();
    // Recorded as received (the path the server gave, the data string).
    void OnIntermediateFileResult(BSTR filePath);
    void OnIntermediateDataResult(BSTR dataString);
    void OnJobDisconnect();
    void OnJobReconnect();

    // A local copy of an intermediate file through ISBManagedJob::DownloadFile;
    // the caller deletes it with DeleteFile.
    KelvBSTR DownloadFile(BSTR remotePath) const;
    // Deletes a local file; a missing one is no error. Never throws.
    void DeleteFile(BSTR localPath) const noexcept;

    void SetLiveUpdatesPolicy(LiveUpdatesType policy);
    LiveUpdatesType GetLiveUpdatesPolicy() const;

    // The job's task description ("GeomOpt"), results folder (ending in a
    // separator) and task prefix, read from the job at each call.
    KelvBSTR GetTaskTypeDescription() const;
    KelvBSTR GetResultsFolder() const;
    KelvBSTR GetTaskPrefix() const;

    // What the handler holds (null before Initialize / OnAttach).
    KelvComPtr<ISBContainerRoot> ContainerRoot() const;
    KelvComPtr<ISBManagedJob> Job() const;
    Stage GetStage() const;
    bool IsConnected() const;

    // One line per forwarded event and transfer, in order: "OnAttach",
    // "OnJobStart", "DownloadFile <remote>", "OnIntermediateFileResult
    // <path>", "OnIntermediateDataResult <text>", "DeleteFile <local>",
    // "OnJobComplete", "OnDetach", ... Others sharing the handler may add
    // their own lines (Note).
    std::vector<std::string> Journal() const;
    void Note(const std::string& line) const;

private:
    struct State;
    KelvComPtr<ISBManagedJob> RequireJob() const;

    std::shared_ptr<State> m_state;
};
