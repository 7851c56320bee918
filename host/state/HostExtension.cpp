#include "host/state/HostExtension.h"

#include "host/managers/HostCall.h"

#include <algorithm>

namespace QzHost {

// ---------------------------------------------------------------- extension

KelvComPtr<HostExtension> HostExtension::Create(const std::string& name, const StateDefinitions& definitions)
{
    return KelvComPtr<HostExtension>::Adopt(new HostExtension(name, definitions));
}

HostExtension::HostExtension(const std::string& name, const StateDefinitions& definitions) : m_name(name)
{
    for (const LogicStateDefinition& logic : definitions.Logics()) {
        if (logic.extension == name)
            m_states.emplace_back(logic.logic, HostState::Create(logic));
    }
}

HRESULT HostExtension::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBExtension)
        return FinishQI(static_cast<ISBExtension*>(this), out);
    if (iid == IID_ISBLogics)
        return FinishQI(static_cast<ISBLogics*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT HostExtension::get_Name(BSTR* pName)
{
    return HostCall(IID_ISBExtension, [&] { StoreString(pName, m_name); });
}

HRESULT HostExtension::get_Logics(ISBLogics** ppLogics)
{
    return HostCall(IID_ISBExtension, [&] {
        RequireOut(ppLogics);
        *ppLogics = static_cast<ISBLogics*>(this);
        AddRef();
    });
}

HRESULT HostExtension::Item(VARIANT index, ISBLogic** ppLogic)
{
    return HostCall(IID_ISBLogics, [&] {
        RequireOut(ppLogic);
        *ppLogic = nullptr;
        KelvComPtr<ISBLogic> found;
        if (index.vt == VT_BSTR) {
            found = FindLogic(Narrow(index.bstrVal));
            if (!found)
                Fail(E_INVALIDARG, "The extension \"" + m_name + "\" has no logic \"" + Narrow(index.bstrVal) + "\".");
        } else {
            KelvVariant number;
            if (FAILED(VariantChangeType(number.Receive(), &index, 0, VT_I4)))
                Fail(E_INVALIDARG, "A logic is asked for by name or by position.");
            const LONG position = number.Get().lVal;
            if (position < 1 || position > static_cast<LONG>(m_logics.size()))
                Fail(E_INVALIDARG, "The extension \"" + m_name + "\" has no logic at position " +
                                       std::to_string(position) + ".");
            found = m_logics[static_cast<std::size_t>(position - 1)].logic;
        }
        StoreInterface(ppLogic, found);
    });
}

HRESULT HostExtension::get_Count(LONG* pCount)
{
    return HostCall(IID_ISBLogics, [&] {
        RequireOut(pCount);
        *pCount = static_cast<LONG>(m_logics.size());
    });
}

std::string HostExtension::NameOfLogic(ISBLogic* logic) const
{
    IUnknown* identity = Identity(logic);
    if (!identity)
        return std::string();
    for (const Entry& entry : m_logics) {
        if (Identity(entry.logic.get()) == identity)
            return entry.name;
    }
    return std::string();
}

HRESULT HostExtension::CreateContainedState(ISBLogic* pLogic, REFGUID stateClass, ISBState** ppState)
{
    return HostCall(IID_ISBExtension, [&] {
        RequireOut(ppState);
        *ppState = nullptr;
        const std::string name = NameOfLogic(pLogic);
        Log("Extension", "CreateContainedState", {Quote(m_name), Quote(name), GuidToString(stateClass)});
        if (name.empty())
            Fail(E_INVALIDARG, "The logic is not held by the extension \"" + m_name + "\".");
        if (stateClass != GUID_NULL)
            Fail(E_INVALIDARG, "The host has no state class " + GuidToString(stateClass) + ".");
        // A job handler held as "QMJobHandler#2" shares the state of its handler name.
        const std::string logicName = name.substr(0, name.find('#'));
        KelvComPtr<HostState> state = State(logicName);
        if (!state) {
            LogicStateDefinition empty;
            empty.logic = logicName;
            empty.extension = m_name;
            state = HostState::Create(empty);
            m_states.emplace_back(logicName, state);
        }
        StoreInterface(ppState, state);
    });
}

void HostExtension::AddLogic(const std::string& name, const KelvComPtr<ISBLogic>& logic)
{
    if (!logic)
        Fail(E_POINTER, "No logic was given for \"" + name + "\".");
    if (FindLogic(name))
        Fail(E_INVALIDARG, "The extension \"" + m_name + "\" already holds a logic \"" + name + "\".");
    m_logics.push_back(Entry{name, logic});
}

void HostExtension::RemoveLogic(const std::string& name)
{
    m_logics.erase(std::remove_if(m_logics.begin(), m_logics.end(), [&](const Entry& e) { return e.name == name; }),
                   m_logics.end());
}

KelvComPtr<ISBLogic> HostExtension::FindLogic(const std::string& name) const
{
    for (const Entry& entry : m_logics) {
        if (entry.name == name)
            return entry.logic;
    }
    return nullptr;
}

std::vector<std::string> HostExtension::LogicNames() const
{
    std::vector<std::string> names;
    for (const Entry& entry : m_logics)
        names.push_back(entry.name);
    return names;
}

void HostExtension::ConnectLogic(const std::string& name, ISBContainerRoot* root)
{
    KelvComPtr<ISBLogic> logic = FindLogic(name);
    if (!logic)
        Fail(E_INVALIDARG, "The extension \"" + m_name + "\" has no logic \"" + name + "\".");
    KelvComPtr<ISBContainerRootConsumer> consumer = logic.TryQueryInterface<ISBContainerRootConsumer>();
    if (consumer && root) {
        Log("Extension", "ConnectContainerRoot", {Quote(m_name), Quote(name)});
        KelvResult::Check(consumer->ConnectContainerRoot(root));
    }
    Log("Extension", "OnConnect", {Quote(m_name), Quote(name)});
    const std::string instance = name.substr(0, name.find('#'));
    KelvVariant instanceData(instance);
    const HRESULT hr = logic->OnConnect(static_cast<ISBExtension*>(this), instanceData.Get());
    if (FAILED(hr)) {
        KelvResult::SetLastError(hr);
        const KelvResult failure = KelvResult::LastErrorCheckNotS_OK();
        if (consumer && root)
            consumer->DisconnectContainerRoot();
        throw failure;
    }
}

HRESULT HostExtension::DisconnectLogic(const std::string& name)
{
    KelvComPtr<ISBLogic> logic = FindLogic(name);
    if (!logic)
        return S_FALSE;
    KelvComPtr<ISBContainerRootConsumer> consumer = logic.TryQueryInterface<ISBContainerRootConsumer>();
    if (!consumer)
        return S_OK;
    Log("Extension", "DisconnectContainerRoot", {Quote(m_name), Quote(name)});
    return consumer->DisconnectContainerRoot();
}

std::vector<std::string> HostExtension::DisconnectAll()
{
    std::vector<std::string> errors;
    for (auto it = m_logics.rbegin(); it != m_logics.rend(); ++it) {
        const HRESULT hr = DisconnectLogic(it->name);
        if (FAILED(hr)) {
            KelvResult::SetLastError(hr);
            errors.push_back(m_name + "!" + it->name + ": " + KelvResult::LastError().GetMessage());
        }
    }
    m_logics.clear();
    return errors;
}

KelvComPtr<HostState> HostExtension::State(const std::string& logic) const
{
    for (const auto& entry : m_states) {
        if (entry.first == logic)
            return entry.second;
    }
    return nullptr;
}

std::vector<std::string> HostExtension::StateNames() const
{
    std::vector<std::string> names;
    for (const auto& entry : m_states)
        names.push_back(entry.first);
    return names;
}

nlohmann::json HostExtension::StatesToJson() const
{
    nlohmann::json result = nlohmann::json::object();
    for (const auto& entry : m_states)
        result[entry.first] = entry.second->ToJson();
    return result;
}

void HostExtension::LoadStates(const nlohmann::json& states, const std::string& origin)
{
    if (!states.is_object())
        Fail(E_INVALIDARG, origin + ": the states of the extension \"" + m_name + "\" must be an object.");
    for (const auto& item : states.items()) {
        KelvComPtr<HostState> state = State(item.key());
        if (!state)
            Fail(E_INVALIDARG, origin + ": the extension \"" + m_name + "\" keeps no state for \"" + item.key() + "\".");
        state->LoadJson(item.value(), origin);
    }
}

void HostExtension::SetJobHandler(const std::string& handler, const std::string& progId)
{
    m_jobHandlers[handler] = progId;
}

std::string HostExtension::JobHandlerProgId(const std::string& handler) const
{
    const auto it = m_jobHandlers.find(handler);
    return it == m_jobHandlers.end() ? std::string() : it->second;
}

// ------------------------------------------------------------------ modules

KelvComPtr<HostModules> HostModules::Create()
{
    return KelvComPtr<HostModules>::Adopt(new HostModules());
}

HRESULT HostModules::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBModuleManager)
        return FinishQI(static_cast<ISBModuleManager*>(this), out);
    if (iid == IID_ISBExtensions)
        return FinishQI(static_cast<ISBExtensions*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT HostModules::GetExtension(BSTR name, ISBExtension** ppExtension)
{
    return HostCall(IID_ISBModuleManager, [&] {
        RequireOut(ppExtension);
        *ppExtension = nullptr;
        const std::string text = Narrow(name);
        Log("ModuleManager", "GetExtension", {Quote(text)});
        KelvComPtr<HostExtension> extension = Find(text);
        if (!extension)
            Fail(E_INVALIDARG, "The application has no extension \"" + text + "\".");
        *ppExtension = static_cast<ISBExtension*>(extension.get());
        (*ppExtension)->AddRef();
    });
}

HRESULT HostModules::get_Count(LONG* pCount)
{
    return HostCall(IID_ISBExtensions, [&] {
        RequireOut(pCount);
        *pCount = static_cast<LONG>(m_extensions.size());
    });
}

HRESULT HostModules::Item(VARIANT index, ISBExtension** ppExtension)
{
    return HostCall(IID_ISBExtensions, [&] {
        RequireOut(ppExtension);
        *ppExtension = nullptr;
        KelvComPtr<HostExtension> found;
        if (index.vt == VT_BSTR) {
            found = Find(Narrow(index.bstrVal));
            if (!found)
                Fail(E_INVALIDARG, "The application has no extension \"" + Narrow(index.bstrVal) + "\".");
        } else {
            KelvVariant number;
            if (FAILED(VariantChangeType(number.Receive(), &index, 0, VT_I4)))
                Fail(E_INVALIDARG, "An extension is asked for by name or by position.");
            const LONG position = number.Get().lVal;
            if (position < 1 || position > static_cast<LONG>(m_extensions.size()))
                Fail(E_INVALIDARG, "The application has no extension at position " + std::to_string(position) + ".");
            found = m_extensions[static_cast<std::size_t>(position - 1)];
        }
        *ppExtension = static_cast<ISBExtension*>(found.get());
        (*ppExtension)->AddRef();
    });
}

void HostModules::AddExtension(const KelvComPtr<HostExtension>& extension)
{
    if (Find(extension->Name()))
        Fail(E_INVALIDARG, "The application already has an extension \"" + extension->Name() + "\".");
    m_extensions.push_back(extension);
}

KelvComPtr<HostExtension> HostModules::Find(const std::string& name) const
{
    for (const KelvComPtr<HostExtension>& extension : m_extensions) {
        if (extension->Name() == name)
            return extension;
    }
    return nullptr;
}

void HostModules::Clear()
{
    m_extensions.clear();
}

HostModules::JobHandler HostModules::CreateJobHandler(const std::string& moniker, ISBContainerRoot* root)
{
    // "ModuleManager!<extension>!<handler>"
    const std::string prefix = "ModuleManager!";
    const std::size_t second = moniker.find('!', prefix.size());
    if (moniker.compare(0, prefix.size(), prefix) != 0 || second == std::string::npos || second + 1 >= moniker.size())
        Fail(E_INVALIDARG, "The notification handler \"" + moniker + "\" is not of the form ModuleManager!<extension>!<handler>.");
    const std::string extensionName = moniker.substr(prefix.size(), second - prefix.size());
    const std::string handlerName = moniker.substr(second + 1);

    JobHandler handler;
    handler.extension = Find(extensionName);
    if (!handler.extension)
        Fail(E_INVALIDARG, "The notification handler \"" + moniker + "\" names the extension \"" + extensionName +
                               "\", which the application does not have.");
    const std::string progId = handler.extension->JobHandlerProgId(handlerName);
    if (progId.empty())
        Fail(E_INVALIDARG, "The extension \"" + extensionName + "\" has no job handler \"" + handlerName + "\".");

    Log("ModuleManager", "CreateJobHandler", {Quote(moniker), Quote(progId)});
    KelvResult created = Kelv::KelvCreateImpl(progId, nullptr, CLSCTX_SERVER, IID_IUnknown,
                                              handler.object.ReceiveVoid(), false);
    if (created.Failed() || !handler.object)
        Fail(created.Failed() ? created.GetHRESULT() : E_NOINTERFACE,
             "The job handler \"" + progId + "\" cannot be created: " + created.GetMessage());

    KelvComPtr<ISBLogic> logic = handler.object.TryQueryInterface<ISBLogic>();
    handler.entryName = handlerName + "#" + std::to_string(++m_handlerCount);
    if (logic) {
        handler.extension->AddLogic(handler.entryName, logic);
        try {
            handler.extension->ConnectLogic(handler.entryName, root);
        } catch (...) {
            handler.extension->RemoveLogic(handler.entryName);
            throw;
        }
    } else if (KelvComPtr<ISBContainerRootConsumer> consumer = handler.object.TryQueryInterface<ISBContainerRootConsumer>();
               consumer && root) {
        KelvResult::Check(consumer->ConnectContainerRoot(root));
        handler.entryName.clear();
    } else {
        handler.entryName.clear();
    }
    return handler;
}

void HostModules::ReleaseJobHandler(JobHandler& handler)
{
    if (!handler.object)
        return;
    if (!handler.entryName.empty() && handler.extension) {
        handler.extension->DisconnectLogic(handler.entryName);
        handler.extension->RemoveLogic(handler.entryName);
    } else if (KelvComPtr<ISBContainerRootConsumer> consumer = handler.object.TryQueryInterface<ISBContainerRootConsumer>()) {
        consumer->DisconnectContainerRoot();
    }
    handler.object.Release();
    handler.extension.Release();
}

} // namespace QzHost
