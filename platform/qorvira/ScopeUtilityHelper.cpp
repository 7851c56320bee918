#include "qorvira/ScopeUtilityHelper.h"

CScopeUtilityHelper::CScopeUtilityHelper(ISBContainerRoot* root)
{
    Kelv::CheckNullDereference(root);
    KelvComPtr<IQoScopeUtility> utility;
    Kelv::KelvCreateImpl("QorQMUtilities.ScopeUtility", nullptr, CLSCTX_SERVER, IID_IQoScopeUtility,
                         utility.ReceiveVoid(), true);
    if (!utility)
        throw KelvResult(E_UNEXPECTED, "The scope utility could not be created.");
    KelvResult::Check(utility->Initialise(root));
    m_scopeUtility = std::move(utility);
}

CScopeUtilityHelper::~CScopeUtilityHelper()
{
    if (m_scopeUtility)
        m_scopeUtility->Shutdown();
}
