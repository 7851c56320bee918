#include "job/ZelmJob.h"

#include "job/ZelmLiveUpdater.h"

#include "appfw/LogicStateUtilities.h"

namespace {

// A host call: a failure is thrown as the host's error.
void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

} // namespace

CZelmJob::CZelmJob() = default;

// The live updater, the job handler, the scope utility; then the framework.
CZelmJob::~CZelmJob() = default;

HRESULT CZelmJob::CreateInstance(void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    *out = static_cast<IDelegatedUnknown*>(new CZelmJob);
    return S_OK;
}

HRESULT CZelmJob::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISupportErrorInfo)
        return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
    return IKelvLogicImpl::DelegatedQueryInterface(iid, out);
}

HRESULT CZelmJob::InterfaceSupportsErrorInfo(REFIID iid)
{
    return iid == IID_ISupportErrorInfo || iid == IID_ISBManagedJobEvents || iid == IID_IDispatch ||
                   iid == IID_ISBLogic || iid == IID_ISBContainerRootConsumer
               ? S_OK
               : S_FALSE;
}

// ---------------------------------------------------------------------------
// Connection

HRESULT CZelmJob::Initialize()
{
    return Event([&] {
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        Kelv::KelvCreateImpl("QorQMUtilities.ScopeUtility", nullptr, 0x15, IID_IQoScopeUtility,
                             m_scopeUtility.ReceiveVoid(), false);
        Kelv::CheckNullDereference(m_scopeUtility.get());
        Check(m_scopeUtility->Initialise(root.get()));
        m_jobHandler.Initialize(root.get());
    });
}

HRESULT CZelmJob::Terminate()
{
    return Event([&] {
        Kelv::CheckNullDereference(m_scopeUtility.get());
        Check(m_scopeUtility->Shutdown());
    });
}

KelvComPtr<ISBExtension> CZelmJob::GetExtension() const
{
    KelvComPtr<ISBExtensions> extensions;
    Check(ContainerRoot(true)->get_Extensions(extensions.Receive()));
    Kelv::CheckNullDereference(extensions.get());
    KelvComPtr<ISBExtension> extension;
    const KelvVariant name("QorZelm.Extension");
    Check(extensions->Item(name.Get(), extension.Receive()));
    Kelv::CheckNullDereference(extension.get());
    return extension;
}

KelvComPtr<ISBLogic> CZelmJob::FindLogic(const std::string& name) const
{
    const KelvComPtr<ISBExtension> extension = GetExtension();
    KelvComPtr<ISBLogics> logics;
    Check(extension->get_Logics(logics.Receive()));
    Kelv::CheckNullDereference(logics.get());
    KelvComPtr<ISBLogic> logic;
    const KelvVariant key(name);
    Check(logics->Item(key.Get(), logic.Receive()));
    Kelv::CheckNullDereference(logic.get());
    return logic;
}

CZelmLiveUpdater& CZelmJob::GetLiveUpdater()
{
    if (!m_liveUpdater)
        m_liveUpdater = std::make_unique<CZelmLiveUpdater>(m_jobHandler);
    return *m_liveUpdater;
}

// ---------------------------------------------------------------------------
// Live-update policy

void CZelmJob::ReadLiveUpdateFlags(bool& model, bool& graphs, bool& text) const
{
    model = graphs = text = false;
    // The task of the job itself: the user may have chosen another task in
    // "ZelmLogic" since the job was submitted. The logic's state is still
    // read, so that a host without it fails the start as before.
    const KelvComPtr<ISBLogic> zelm = FindLogic("ZelmLogic");
    const KelvComPtr<ISBState> zelmState = LogicStateUtilities::GetState(zelm.get());
    LogicStateUtilities::GetPropertyValue(zelmState.get(), "Task");
    if (m_jobHandler.GetTaskTypeDescription().ToTString() == "Fit")
        return;
    const KelvComPtr<ISBLogic> jobTemplate = FindLogic("QMJobTemplate");
    const KelvComPtr<ISBState> state = LogicStateUtilities::GetState(jobTemplate.get());
    model = LogicStateUtilities::GetPropertyValue(state.get(), "LiveUpdateModel").Bool();
    graphs = LogicStateUtilities::GetPropertyValue(state.get(), "LiveUpdateGraphs").Bool();
    text = LogicStateUtilities::GetPropertyValue(state.get(), "LiveUpdateText").Bool();
}

void CZelmJob::ApplyLiveUpdatesPolicy()
{
    bool model = false, graphs = false, text = false;
    ReadLiveUpdateFlags(model, graphs, text);
    const int policy = (text ? CJobHandlerUtility::LiveUpdatesText : 0) |
                       (graphs ? CJobHandlerUtility::LiveUpdatesGraphs : 0) |
                       (model ? CJobHandlerUtility::LiveUpdatesModel : 0);
    m_jobHandler.SetLiveUpdatesPolicy(static_cast<CJobHandlerUtility::LiveUpdatesType>(policy));
}

// ---------------------------------------------------------------------------
// Events

HRESULT CZelmJob::OnAttach(ISBManagedJob* pJob)
{
    return Event([&] { m_jobHandler.OnAttach(pJob); });
}

HRESULT CZelmJob::OnDetach()
{
    return Event([&] { m_jobHandler.OnDetach(); });
}

HRESULT CZelmJob::OnJobStart()
{
    return Event([&] {
        ApplyLiveUpdatesPolicy();
        m_jobHandler.OnJobStart();
    });
}

HRESULT CZelmJob::OnJobComplete()
{
    return Event([&] { ImportResults(); });
}

HRESULT CZelmJob::OnIntermediateFileResult(BSTR bstrFilePath)
{
    return Event([&] {
        const KelvBSTR local = m_jobHandler.DownloadFile(bstrFilePath);
        try {
            GetLiveUpdater().UpdateFromFileResult(local);
        } catch (...) {
            m_jobHandler.DeleteFile(local.Get());
            throw;
        }
        try {
            m_jobHandler.OnIntermediateFileResult(bstrFilePath);
        } catch (...) {
            m_jobHandler.DeleteFile(local.Get());
            throw;
        }
        m_jobHandler.DeleteFile(local.Get());
    });
}

HRESULT CZelmJob::OnIntermediateDataResult(BSTR bstrDataString)
{
    return Event([&] {
        GetLiveUpdater().UpdateFromDataResult(KelvBSTR(bstrDataString));
        m_jobHandler.OnIntermediateDataResult(bstrDataString);
    });
}

HRESULT CZelmJob::OnJobPrepareComplete(VARIANT_BOOL /*bProcessed*/)
{
    return S_OK;
}

HRESULT CZelmJob::OnJobDisconnect()
{
    return Event([&] { m_jobHandler.OnJobDisconnect(); });
}

HRESULT CZelmJob::OnJobReconnect()
{
    return Event([&] { m_jobHandler.OnJobReconnect(); });
}
