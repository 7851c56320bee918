#include "qorqm/CJobHandlerUtility.h"

#include "qorqm/PathUtilities.h"

#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"

#include <cstdio>
#include <utility>

struct CJobHandlerUtility::State {
    KelvComPtr<ISBContainerRoot> root;
    KelvComPtr<ISBManagedJob> job;
    Stage stage = Stage::Created;
    bool connected = true;
    LiveUpdatesType policy = LiveUpdatesAll;
    std::vector<std::string> journal;
};

CJobHandlerUtility::CJobHandlerUtility() : m_state(std::make_shared<State>()) {}

void CJobHandlerUtility::Initialize(ISBContainerRoot* root)
{
    Kelv::CheckNullDereference(root);
    m_state->root = KelvComPtr<ISBContainerRoot>(root);
}

void CJobHandlerUtility::OnAttach(ISBManagedJob* job)
{
    if (!job)
        throw KelvResult(E_POINTER, "No job was given to attach to.");
    m_state->job = KelvComPtr<ISBManagedJob>(job);
    m_state->stage = Stage::Attached;
    Note("OnAttach");
}

void CJobHandlerUtility::OnDetach()
{
    Note("OnDetach");
    m_state->stage = Stage::Detached;
    m_state->job.Release();
}

void CJobHandlerUtility::OnJobStart()
{
    RequireJob();
    Note("OnJobStart");
    m_state->stage = Stage::Started;
}

void CJobHandlerUtility::OnJobComplete()
{
    RequireJob();
    Note("OnJobComplete");
    m_state->stage = Stage::Completed;
}

void CJobHandlerUtility::OnIntermediateFileResult(BSTR filePath)
{
    Note("OnIntermediateFileResult " + KelvBSTR(filePath).ToTString());
}

void CJobHandlerUtility::OnIntermediateDataResult(BSTR dataString)
{
    Note("OnIntermediateDataResult " + KelvBSTR(dataString).ToTString());
}

void CJobHandlerUtility::OnJobDisconnect()
{
    Note("OnJobDisconnect");
    m_state->connected = false;
}

void CJobHandlerUtility::OnJobReconnect()
{
    Note("OnJobReconnect");
    m_state->connected = true;
}

KelvBSTR CJobHandlerUtility::DownloadFile(BSTR remotePath) const
{
    const KelvComPtr<ISBManagedJob> job = RequireJob();
    Note("DownloadFile " + KelvBSTR(remotePath).ToTString());
    KelvBSTR local;
    KelvResult::Check(job->DownloadFile(remotePath, local.Receive()));
    if (local.IsEmpty())
        throw KelvResult(E_UNEXPECTED, "The job gave no local copy of \"" + KelvBSTR(remotePath).ToTString() + "\".");
    return local;
}

void CJobHandlerUtility::DeleteFile(BSTR localPath) const noexcept
{
    try {
        const std::string path = KelvBSTR(localPath).ToTString();
        Note("DeleteFile " + path);
        if (!path.empty())
            std::remove(PathUtilities::ToNative(path).c_str());
    } catch (...) {
        // Nothing to report: the copy is a temporary file.
    }
}

void CJobHandlerUtility::SetLiveUpdatesPolicy(LiveUpdatesType policy)
{
    m_state->policy = static_cast<LiveUpdatesType>(policy & LiveUpdatesAll);
}

CJobHandlerUtility::LiveUpdatesType CJobHandlerUtility::GetLiveUpdatesPolicy() const
{
    return m_state->policy;
}

KelvBSTR CJobHandlerUtility::GetTaskTypeDescription() const
{
    KelvBSTR text;
    KelvResult::Check(RequireJob()->get_TaskTypeDescription(text.Receive()));
    return text;
}

KelvBSTR CJobHandlerUtility::GetResultsFolder() const
{
    KelvBSTR folder;
    KelvResult::Check(RequireJob()->get_ResultsFolder(folder.Receive()));
    std::string text = folder.ToTString();
    if (text.empty())
        throw KelvResult(E_UNEXPECTED, "The job has no results folder.");
    if (!PathUtilities::IsSeparator(text.back()))
        return KelvBSTR(text + PathUtilities::Separator());
    return folder;
}

KelvBSTR CJobHandlerUtility::GetTaskPrefix() const
{
    KelvBSTR prefix;
    KelvResult::Check(RequireJob()->get_TaskPrefix(prefix.Receive()));
    return prefix;
}

KelvComPtr<ISBContainerRoot> CJobHandlerUtility::ContainerRoot() const
{
    return m_state->root;
}

KelvComPtr<ISBManagedJob> CJobHandlerUtility::Job() const
{
    return m_state->job;
}

CJobHandlerUtility::Stage CJobHandlerUtility::GetStage() const
{
    return m_state->stage;
}

bool CJobHandlerUtility::IsConnected() const
{
    return m_state->connected;
}

std::vector<std::string> CJobHandlerUtility::Journal() const
{
    return m_state->journal;
}

void CJobHandlerUtility::Note(const std::string& line) const
{
    m_state->journal.push_back(line);
}

KelvComPtr<ISBManagedJob> CJobHandlerUtility::RequireJob() const
{
    if (!m_state->job)
        throw KelvResult(E_UNEXPECTED, "The job handler is not attached to a job.");
    return m_state->job;
}
