// Extensions and their logics: an extension ("QorZelm.Extension") holds named
// logic components and the state the host keeps for each of them; the module
// manager finds extensions by name and resolves job-handler monikers
// ("ModuleManager!QorZelm.Extension!QMJobHandler").
#pragma once

#include "host/state/HostState.h"
#include "host/state/StateDefinitions.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace QzHost {

class HostExtension final : public CKelvUnknown, public ISBExtension, public ISBLogics {
public:
    // A new extension with one state for every logic that the definitions
    // place in it (defaults filled in).
    static KelvComPtr<HostExtension> Create(const std::string& name, const StateDefinitions& definitions);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISBExtension (Item serves ISBLogics as well)
    HRESULT get_Name(BSTR* pName) override;
    HRESULT get_Logics(ISBLogics** ppLogics) override;
    HRESULT Item(VARIANT index, ISBLogic** ppLogic) override;
    HRESULT CreateContainedState(ISBLogic* pLogic, REFGUID stateClass, ISBState** ppState) override;
    // ISBLogics
    HRESULT get_Count(LONG* pCount) override;

    const std::string& Name() const { return m_name; }

    // Places a logic under a name (it must not be taken). The logic is not
    // connected here.
    void AddLogic(const std::string& name, const KelvComPtr<ISBLogic>& logic);
    // Takes a logic out (the caller disconnects it first).
    void RemoveLogic(const std::string& name);
    KelvComPtr<ISBLogic> FindLogic(const std::string& name) const;
    std::vector<std::string> LogicNames() const;

    // The connection sequence of a logic held under `name`: the container
    // root is connected (when the logic consumes it), then
    // ISBLogic::OnConnect(this extension, name). A failure throws KelvResult
    // with the logic's error; the container root is then disconnected again.
    void ConnectLogic(const std::string& name, ISBContainerRoot* root);
    // Disconnects the container root of the logic (the framework's shut-down
    // hook runs there). Returns the result of the disconnection.
    HRESULT DisconnectLogic(const std::string& name);
    // Disconnects every logic, last first, and lets them all go. Errors are
    // collected as texts.
    std::vector<std::string> DisconnectAll();

    // The state kept for a logic name (made from the definitions, or empty
    // when they name none); null when the extension keeps none.
    KelvComPtr<HostState> State(const std::string& logic) const;
    std::vector<std::string> StateNames() const;

    // The values of every state the extension keeps, as a JSON object
    // {logic: {property: value}} (co-classes left out).
    nlohmann::json StatesToJson() const;
    // Sets the values such an object names; a logic the extension keeps no
    // state for, or a bad value, throws KelvResult naming `origin`.
    void LoadStates(const nlohmann::json& states, const std::string& origin);

    // Job handlers: a handler name of monikers and the ProgID of its class.
    void SetJobHandler(const std::string& handler, const std::string& progId);
    std::string JobHandlerProgId(const std::string& handler) const;

private:
    HostExtension(const std::string& name, const StateDefinitions& definitions);
    std::string NameOfLogic(ISBLogic* logic) const;

    struct Entry {
        std::string name;
        KelvComPtr<ISBLogic> logic;
    };

    std::string m_name;
    std::vector<Entry> m_logics;
    std::vector<std::pair<std::string, KelvComPtr<HostState>>> m_states;
    std::map<std::string, std::string> m_jobHandlers;
};

// The module manager and the collection of all extensions.
class HostModules final : public CKelvUnknown, public ISBModuleManager, public ISBExtensions {
public:
    static KelvComPtr<HostModules> Create();

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISBModuleManager
    HRESULT GetExtension(BSTR name, ISBExtension** ppExtension) override;
    // ISBExtensions
    HRESULT get_Count(LONG* pCount) override;
    HRESULT Item(VARIANT index, ISBExtension** ppExtension) override;

    void AddExtension(const KelvComPtr<HostExtension>& extension);
    KelvComPtr<HostExtension> Find(const std::string& name) const;
    const std::vector<KelvComPtr<HostExtension>>& Extensions() const { return m_extensions; }
    void Clear();

    // A job handler for a moniker "ModuleManager!<extension>!<handler>": a new
    // object of the handler's class, placed in the extension under the handler
    // name and connected like a logic. Throws KelvResult with a clear message
    // when the moniker is malformed, names nothing, or the class cannot be
    // created or connected.
    struct JobHandler {
        KelvComPtr<HostExtension> extension;
        std::string entryName; // the name it is held under in the extension
        KelvComPtr<IUnknown> object;
    };
    JobHandler CreateJobHandler(const std::string& moniker, ISBContainerRoot* root);
    // Disconnects the handler and takes it out of its extension.
    void ReleaseJobHandler(JobHandler& handler);

private:
    HostModules() = default;
    std::vector<KelvComPtr<HostExtension>> m_extensions;
    LONG m_handlerCount = 0;
};

} // namespace QzHost
