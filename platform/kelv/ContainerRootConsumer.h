// Container-root consumer glue: components that use the host's container root
// get it through ISBContainerRootConsumer and reach the host's managers
// through it.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

// Holds the container root of a component.
class CContainerRootConsumerImpl
{
public:
    CContainerRootConsumerImpl() = default;
    CContainerRootConsumerImpl(const CContainerRootConsumerImpl&) = delete;
    CContainerRootConsumerImpl& operator=(const CContainerRootConsumerImpl&) = delete;
    virtual ~CContainerRootConsumerImpl();

    // The container root. With mustExist set, a component that has none
    // throws KelvResult E_UNEXPECTED; otherwise it gives null.
    KelvComPtr<ISBContainerRoot> ContainerRoot(bool mustExist) const;
    bool HasContainerRoot() const noexcept { return static_cast<bool>(m_root); }

protected:
    void SetContainerRoot(ISBContainerRoot* root) noexcept { m_root = KelvComPtr<ISBContainerRoot>(root); }
    void ClearContainerRoot() noexcept { m_root.Release(); }

private:
    KelvComPtr<ISBContainerRoot> m_root;
};

// The managers of the container root. A missing root or a failing host call
// throws KelvResult (the host's error).
class CSBContainerRootConsumerBase : public CContainerRootConsumerImpl
{
public:
    KelvComPtr<ISBScopeManager> ObtainScopeManager() const;
    KelvComPtr<ISBDocumentManager> ObtainDocumentManager() const;
};

// ISBContainerRootConsumer over the held root. The class that derives from it
// supplies IUnknown (KELV_DELEGATE_IUNKNOWN). Errors are reported with the
// class identifier given to the constructor.
class CSBContainerRootConsumerImpl : public ISBContainerRootConsumer, public CSBContainerRootConsumerBase
{
public:
    explicit CSBContainerRootConsumerImpl(REFCLSID clsid) noexcept : m_consumerClsid(clsid) {}

    // Keeps the root (a second connection replaces the first) and runs
    // OnContainerRootConnected. A null root gives E_POINTER.
    HRESULT ConnectContainerRoot(ISBContainerRoot* root) override;
    // Runs OnContainerRootDisconnecting while the root is still held, then
    // drops the root whatever the hook answered, and returns the hook's
    // result. Without a root it does nothing (S_OK).
    HRESULT DisconnectContainerRoot() override;

protected:
    virtual HRESULT OnContainerRootConnected() { return S_OK; }
    virtual HRESULT OnContainerRootDisconnecting() { return S_OK; }

private:
    CLSID m_consumerClsid;
};
