// The scope manager: the default and the active scope, and the named scope
// processors, which the document model supplies.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <functional>
#include <string>

namespace QzHost {

class ScopeManager final : public CKelvUnknown, public ISBScopeManager {
public:
    // Runs a processor on a scope; throws KelvResult (E_INVALIDARG for an
    // unknown processor).
    using Processor = std::function<KelvComPtr<ISBScope>(ISBScope* scope, const std::string& processor)>;

    static KelvComPtr<ScopeManager> Create();

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT ProcessScope(ISBScope* pScope, BSTR processor, ISBScope** ppResult) override;
    // S_FALSE and null when there is none.
    HRESULT get_DefaultScope(ISBScope** ppScope) override;
    HRESULT get_ActiveScope(ISBScope** ppScope) override;

    void SetProcessor(Processor processor) { m_processor = std::move(processor); }
    void SetDefaultScope(const KelvComPtr<ISBScope>& scope) { m_defaultScope = scope; }
    void SetActiveScope(const KelvComPtr<ISBScope>& scope) { m_activeScope = scope; }
    void Clear();

private:
    ScopeManager() = default;
    Processor m_processor;
    KelvComPtr<ISBScope> m_defaultScope;
    KelvComPtr<ISBScope> m_activeScope;
};

} // namespace QzHost
