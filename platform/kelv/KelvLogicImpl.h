// The logic-object base: a host logic component with its extension, its
// contained state, the container root and the connection hooks.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/ContainerRootConsumer.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <type_traits>

// Dispatch identifiers of ISBLogic's members.
template <>
struct KelvDispatchNames<ISBLogic>
{
    static const std::vector<KelvDispatchName>& Names()
    {
        static const std::vector<KelvDispatchName> names{{u"State", 0}, {u"OnConnect", 2}, {u"Extension", 4}};
        return names;
    }
};

// Life of a logic object:
//  1. created (one reference, owned by the creator);
//  2. the host connects the container root (ISBContainerRootConsumer);
//  3. the host calls ISBLogic::OnConnect. The framework's connection
//     (IKelvLogicImpl::OnConnect) runs, in order, CKelvLogicImpl::OnConnect
//     (keeps the extension and instance data), CreateContainedState(GUID_NULL)
//     (asks the extension for the logic's state) and the connection hook
//     InitialiseOnConnect. After each step a code other than S_OK is recorded
//     as the last error and a failure ends the connection with it. A class
//     that overrides OnConnect runs these steps itself;
//  4. the host disconnects the container root: while the root is still held,
//     OnDisconnect runs the disconnection hook Shutdown (only when the logic
//     was connected to an extension) and lets the extension and the state go,
//     which breaks the extension's and the logic's hold on each other;
//  5. the last Release deletes the object.
//
// The state: the extension hands the logic one state object; it is both the
// logic's state (State(), get_State) and the bag its values are read from
// (StateValues()). HasStateValues() tells whether the logic has it yet.
class CKelvLogicImpl : public CKelvUnknown, public IKelvDispatchImpl<ISBLogic>, public CSBContainerRootConsumerImpl
{
public:
    // Inline so that the object counts among the live objects of the module
    // that makes it.
    KELV_PER_MODULE explicit CKelvLogicImpl(REFCLSID clsid)
        : CSBContainerRootConsumerImpl(clsid), m_clsid(clsid)
    {
    }
    ~CKelvLogicImpl() override;

    KELV_DELEGATE_IUNKNOWN

    // ISBLogic. Errors carry the class identifier and IID_ISBLogic.
    // The state; E_UNEXPECTED (and null) before the state was made.
    HRESULT get_State(ISBState** state) override;
    // Keeps the extension (replacing an earlier one) and the instance data;
    // nothing else. A null extension gives E_POINTER.
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override;
    // The extension; E_UNEXPECTED (and null) before a connection.
    HRESULT get_Extension(ISBExtension** extension) override;

    // Runs the disconnection hook when the logic is connected to an
    // extension, then lets the extension, instance data and state go. Returns
    // the hook's result (the references go in any case).
    HRESULT OnDisconnect();
    // Asks the extension for the logic's state (of the given state class,
    // GUID_NULL for the ordinary one) and keeps it, replacing an earlier one.
    // Without an extension: E_UNEXPECTED.
    HRESULT CreateContainedState(REFGUID stateClass);

    // The connection hook, run by the framework's connection; S_OK here.
    virtual HRESULT InitialiseOnConnect();
    // The disconnection hook, run by OnDisconnect; S_OK here.
    virtual HRESULT Shutdown();

    bool HasStateValues() const noexcept { return static_cast<bool>(m_state); }
    ISBState* StateValues() const noexcept { return m_state.get(); }
    ISBState* State() const noexcept { return m_state.get(); }
    ISBExtension* Extension() const noexcept { return m_extension.get(); }
    const KelvVariant& InstanceData() const noexcept { return m_instanceData; }
    bool IsConnected() const noexcept { return static_cast<bool>(m_extension); }
    const CLSID& ClassId() const noexcept { return m_clsid; }

    // Answers IUnknown, ISBLogic and ISBContainerRootConsumer.
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

protected:
    // The framework's connection sequence (step 3 above); errors are mapped
    // with GUID_NULL as class and interface.
    HRESULT ConnectLogic(ISBExtension* extension, VARIANT instanceData);
    HRESULT OnContainerRootDisconnecting() override;

private:
    CLSID m_clsid;
    KelvComPtr<ISBExtension> m_extension;
    KelvVariant m_instanceData;
    KelvComPtr<ISBState> m_state;
};

// The logic template: CKelvLogicImpl plus the dual interface Itf. Itf and
// IDispatch are answered with the Itf part; ISBLogic too when Itf derives
// from it, otherwise (an event interface derived from IDispatch alone) with
// the logic base's own ISBLogic part. libid and the three option values are
// kept for the record; this framework serves no type information.
template <const CLSID* clsid, class Itf, const IID* iid, const GUID* libid, int option1, int option2, int option3>
class IKelvLogicImpl : public CKelvLogicImpl, public IKelvDispatchImpl<Itf>
{
public:
    IKelvLogicImpl() : CKelvLogicImpl(*clsid) {}

    KELV_DELEGATE_IUNKNOWN

    HRESULT get_State(ISBState** state) override { return CKelvLogicImpl::get_State(state); }
    // The framework's connection: see CKelvLogicImpl.
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override
    {
        return ConnectLogic(extension, instanceData);
    }
    HRESULT get_Extension(ISBExtension** extension) override { return CKelvLogicImpl::get_Extension(extension); }

    HRESULT DelegatedQueryInterface(REFIID riid, void** out) override
    {
        if (riid == *iid || riid == IID_IDispatch)
            return FinishQI(static_cast<Itf*>(this), out);
        if constexpr (std::is_base_of_v<ISBLogic, Itf>) {
            if (riid == IID_ISBLogic)
                return FinishQI(static_cast<Itf*>(this), out);
        }
        return CKelvLogicImpl::DelegatedQueryInterface(riid, out);
    }
};
