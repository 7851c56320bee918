// Hands out the host's scope utility ("QorQMUtilities.ScopeUtility")
// initialised with a container root, and shuts it down again when the helper
// goes.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

class CScopeUtilityHelper
{
public:
    // Creates the scope utility and initialises it with the root. A null
    // root throws the framework's null-pointer error; a scope utility that
    // cannot be created or initialised throws KelvResult with the host's
    // error.
    explicit CScopeUtilityHelper(ISBContainerRoot* root);
    CScopeUtilityHelper(const CScopeUtilityHelper&) = delete;
    CScopeUtilityHelper& operator=(const CScopeUtilityHelper&) = delete;
    // Shuts the scope utility down (its answer is not examined).
    virtual ~CScopeUtilityHelper();

    // The initialised scope utility.
    const KelvComPtr<IQoScopeUtility>& GetScopeUtility() const noexcept { return m_scopeUtility; }
    IQoScopeUtility* operator->() const noexcept { return m_scopeUtility.get(); }

private:
    KelvComPtr<IQoScopeUtility> m_scopeUtility;
};
