#include "host/managers/ScopeManager.h"

#include "host/managers/HostCall.h"

namespace QzHost {

KelvComPtr<ScopeManager> ScopeManager::Create()
{
    return KelvComPtr<ScopeManager>::Adopt(new ScopeManager());
}

HRESULT ScopeManager::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBScopeManager)
        return FinishQI(static_cast<ISBScopeManager*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT ScopeManager::ProcessScope(ISBScope* pScope, BSTR processor, ISBScope** ppResult)
{
    return HostCall(IID_ISBScopeManager, [&] {
        RequireOut(ppResult);
        *ppResult = nullptr;
        const std::string name = Narrow(processor);
        Log("ScopeManager", "ProcessScope", {pScope ? "scope" : "null", Quote(name)});
        if (!pScope)
            Fail(E_INVALIDARG, "A scope processor needs a scope.");
        if (!m_processor)
            Fail(E_NOTIMPL, "The application has no scope processors.");
        StoreInterface(ppResult, m_processor(pScope, name));
    });
}

HRESULT ScopeManager::get_DefaultScope(ISBScope** ppScope)
{
    return HostCall(IID_ISBScopeManager, [&]() -> HRESULT {
        RequireOut(ppScope);
        StoreInterface(ppScope, m_defaultScope);
        return m_defaultScope ? S_OK : S_FALSE;
    });
}

HRESULT ScopeManager::get_ActiveScope(ISBScope** ppScope)
{
    return HostCall(IID_ISBScopeManager, [&]() -> HRESULT {
        RequireOut(ppScope);
        StoreInterface(ppScope, m_activeScope);
        return m_activeScope ? S_OK : S_FALSE;
    });
}

void ScopeManager::Clear()
{
    m_defaultScope.Release();
    m_activeScope.Release();
    m_processor = nullptr;
}

} // namespace QzHost
