// The requests of the logic object that this build does not answer yet:
// each fails with E_NOTIMPL naming itself. A request moves out of this file
// when it is built.
#include "setup/Zelm.h"

HRESULT CZelm::get_ForcefieldEditor(IQoForcefieldEditor** ppEditor)
{
    if (ppEditor)
        *ppEditor = nullptr;
    return NotAvailable("IQoEditedForcefieldConsumer::ForcefieldEditor");
}

HRESULT CZelm::ForcefieldSavedTo(BSTR)
{
    return NotAvailable("IQoEditedForcefieldConsumer::ForcefieldSavedTo");
}

HRESULT CZelm::SuggestSavePath(BSTR, BSTR* pSuggestedDirectory)
{
    if (pSuggestedDirectory)
        *pSuggestedDirectory = nullptr;
    return NotAvailable("IQoEditedForcefieldConsumer::SuggestSavePath");
}
