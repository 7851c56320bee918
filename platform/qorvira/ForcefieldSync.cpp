#include "qorvira/ForcefieldSync.h"

CForcefieldSync::~CForcefieldSync() = default;

void CForcefieldSync::Subscribe(ISBLogic* logic, ISBLogic* chooser)
{
    Kelv::CheckNullDereference(logic);
    Kelv::CheckNullDereference(chooser);
    m_chooser = KelvComPtr<ISBLogic>(chooser);
    m_logic = logic;
}

void CForcefieldSync::Unsubscribe() noexcept
{
    m_chooser.Release();
    m_logic = nullptr;
}
