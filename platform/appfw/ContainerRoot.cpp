#include "appfw/ContainerRoot.h"

#include "appfw/HostCall.h"

using namespace AppFrameworkDetail;

KelvComPtr<ISBDocumentManager> CContainerRoot::DocumentManager() const
{
    KelvComPtr<ISBDocumentManager> manager;
    Call(m_root->get_DocumentManager(manager.Receive()));
    return Required(std::move(manager), "The container root has no document manager.");
}
