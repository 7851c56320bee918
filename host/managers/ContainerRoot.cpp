#include "host/managers/ContainerRoot.h"

#include "host/managers/HostCall.h"

namespace QzHost {

KelvComPtr<ContainerRoot> ContainerRoot::Create(const Services& services)
{
    return KelvComPtr<ContainerRoot>::Adopt(new ContainerRoot(services));
}

HRESULT ContainerRoot::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBContainerRoot)
        return FinishQI(static_cast<ISBContainerRoot*>(this), out);
    if (iid == IID_ISBDocumentServiceProvider)
        return FinishQI(static_cast<ISBDocumentServiceProvider*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

template <class T>
HRESULT ContainerRoot::Hand(const KelvComPtr<T>& service, T** out, const char* name)
{
    return HostCall(IID_ISBContainerRoot, [&] {
        RequireOut(out);
        *out = nullptr;
        if (!service)
            Fail(E_UNEXPECTED, std::string("The application has no ") + name + " (it has shut down).");
        StoreInterface(out, service);
    });
}

HRESULT ContainerRoot::get_DiskManager(ISBDiskManager** ppManager)
{
    return Hand(m_services.disk, ppManager, "disk manager");
}

HRESULT ContainerRoot::get_FolderManager(ISBFolderManager** ppManager)
{
    return Hand(m_services.folders, ppManager, "folder manager");
}

HRESULT ContainerRoot::get_DocumentManager(ISBDocumentManager** ppManager)
{
    return Hand(m_services.documents, ppManager, "document manager");
}

HRESULT ContainerRoot::get_StateManager(ISBStateManager** ppManager)
{
    return Hand(m_services.states, ppManager, "state manager");
}

HRESULT ContainerRoot::get_JobManager(ISBJobManager** ppManager)
{
    return Hand(m_services.jobs, ppManager, "job manager");
}

HRESULT ContainerRoot::get_OperationManager(ISBOperationManager** ppManager)
{
    return Hand(m_services.operations, ppManager, "operation manager");
}

HRESULT ContainerRoot::get_ModuleManager(ISBModuleManager** ppManager)
{
    return Hand(m_services.modules, ppManager, "module manager");
}

HRESULT ContainerRoot::get_ScopeManager(ISBScopeManager** ppManager)
{
    return Hand(m_services.scopes, ppManager, "scope manager");
}

HRESULT ContainerRoot::get_Extensions(ISBExtensions** ppExtensions)
{
    return Hand(m_services.extensions, ppExtensions, "extensions");
}

HRESULT ContainerRoot::get_DocumentService(ISBDocumentService** ppService)
{
    return Hand(m_services.documentService, ppService, "document service");
}

HRESULT ContainerRoot::get_PathService(ISBPathService** ppService)
{
    return Hand(m_services.paths, ppService, "path service");
}

void ContainerRoot::Clear()
{
    m_services = Services();
}

} // namespace QzHost
