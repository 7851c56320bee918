#include "kelv/KelvLogicImpl.h"

#include <utility>

CContainerRootConsumerImpl::~CContainerRootConsumerImpl() = default;

KelvComPtr<ISBContainerRoot> CContainerRootConsumerImpl::ContainerRoot(bool mustExist) const
{
    if (mustExist && !m_root)
        throw KelvResult(E_UNEXPECTED, "The component is not connected to the container root.");
    return m_root;
}

KelvComPtr<ISBScopeManager> CSBContainerRootConsumerBase::ObtainScopeManager() const
{
    KelvComPtr<ISBScopeManager> manager;
    KelvResult::Check(ContainerRoot(true)->get_ScopeManager(manager.Receive()));
    Kelv::CheckNullDereference(manager.get());
    return manager;
}

KelvComPtr<ISBDocumentManager> CSBContainerRootConsumerBase::ObtainDocumentManager() const
{
    KelvComPtr<ISBDocumentManager> manager;
    KelvResult::Check(ContainerRoot(true)->get_DocumentManager(manager.Receive()));
    Kelv::CheckNullDereference(manager.get());
    return manager;
}

HRESULT CSBContainerRootConsumerImpl::ConnectContainerRoot(ISBContainerRoot* root)
{
    return Kelv::ComMethod(m_consumerClsid, IID_ISBContainerRootConsumer, [&] {
        if (!root)
            throw KelvResult(E_POINTER, "No container root supplied.");
        SetContainerRoot(root);
        return OnContainerRootConnected();
    });
}

HRESULT CSBContainerRootConsumerImpl::DisconnectContainerRoot()
{
    if (!HasContainerRoot())
        return S_OK;
    const HRESULT hr = Kelv::ComMethod(m_consumerClsid, IID_ISBContainerRootConsumer,
                                       [&] { return OnContainerRootDisconnecting(); });
    ClearContainerRoot();
    return hr;
}

CKelvLogicImpl::~CKelvLogicImpl() = default;

HRESULT CKelvLogicImpl::get_State(ISBState** state)
{
    return Kelv::ComMethod(m_clsid, IID_ISBLogic, [&] {
        if (!state)
            throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
        *state = nullptr;
        if (!m_state)
            throw KelvResult(E_UNEXPECTED, "The logic has no state yet.");
        *state = KelvComPtr<ISBState>(m_state).Detach();
    });
}

HRESULT CKelvLogicImpl::OnConnect(ISBExtension* extension, VARIANT instanceData)
{
    return Kelv::ComMethod(m_clsid, IID_ISBLogic, [&] {
        if (!extension)
            throw KelvResult(E_POINTER, "No extension supplied.");
        KelvVariant data(instanceData);
        m_extension = KelvComPtr<ISBExtension>(extension);
        m_instanceData = std::move(data);
    });
}

HRESULT CKelvLogicImpl::get_Extension(ISBExtension** extension)
{
    return Kelv::ComMethod(m_clsid, IID_ISBLogic, [&] {
        if (!extension)
            throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
        *extension = nullptr;
        if (!m_extension)
            throw KelvResult(E_UNEXPECTED, "The logic is not connected to an extension.");
        *extension = KelvComPtr<ISBExtension>(m_extension).Detach();
    });
}

HRESULT CKelvLogicImpl::OnDisconnect()
{
    HRESULT hr = S_OK;
    if (m_extension)
        hr = Kelv::ComMethod(m_clsid, IID_ISBLogic, [&] { return Shutdown(); });
    m_state.Release();
    m_instanceData = KelvVariant();
    m_extension.Release();
    return hr;
}

HRESULT CKelvLogicImpl::CreateContainedState(REFGUID stateClass)
{
    return Kelv::ComMethod(m_clsid, IID_ISBLogic, [&] {
        if (!m_extension)
            throw KelvResult(E_UNEXPECTED, "The logic is not connected to an extension.");
        // The extension knows the logic by the ISBLogic its interface map
        // answers, which a derived class may give from another part.
        KelvComPtr<ISBLogic> self;
        KelvResult::Check(DelegatedQueryInterface(IID_ISBLogic, self.ReceiveVoid()));
        KelvComPtr<ISBState> state;
        KelvResult::Check(m_extension->CreateContainedState(self.get(), stateClass, state.Receive()));
        if (!state)
            throw KelvResult(E_UNEXPECTED, "The extension gave the logic no state.");
        m_state = std::move(state);
    });
}

HRESULT CKelvLogicImpl::InitialiseOnConnect()
{
    return S_OK;
}

HRESULT CKelvLogicImpl::Shutdown()
{
    return S_OK;
}

HRESULT CKelvLogicImpl::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBLogic)
        return FinishQI(static_cast<ISBLogic*>(this), out);
    if (iid == IID_ISBContainerRootConsumer)
        return FinishQI(static_cast<ISBContainerRootConsumer*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT CKelvLogicImpl::ConnectLogic(ISBExtension* extension, VARIANT instanceData)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, [&] {
        KelvResult::Check(CKelvLogicImpl::OnConnect(extension, instanceData));
        KelvResult::Check(CreateContainedState(GUID_NULL));
        KelvResult::Check(InitialiseOnConnect());
    });
}

HRESULT CKelvLogicImpl::OnContainerRootDisconnecting()
{
    return OnDisconnect();
}
