// The application's container root: every host service is one of its
// properties; it also answers ISBDocumentServiceProvider.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

namespace QzHost {

class ContainerRoot final : public CKelvUnknown, public ISBContainerRoot, public ISBDocumentServiceProvider {
public:
    struct Services {
        KelvComPtr<ISBDiskManager> disk;
        KelvComPtr<ISBFolderManager> folders;
        KelvComPtr<ISBDocumentManager> documents;
        KelvComPtr<ISBStateManager> states;
        KelvComPtr<ISBJobManager> jobs;
        KelvComPtr<ISBOperationManager> operations;
        KelvComPtr<ISBModuleManager> modules;
        KelvComPtr<ISBScopeManager> scopes;
        KelvComPtr<ISBExtensions> extensions;
        KelvComPtr<ISBDocumentService> documentService;
        KelvComPtr<ISBPathService> paths;
    };

    static KelvComPtr<ContainerRoot> Create(const Services& services);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT get_DiskManager(ISBDiskManager** ppManager) override;
    HRESULT get_FolderManager(ISBFolderManager** ppManager) override;
    HRESULT get_DocumentManager(ISBDocumentManager** ppManager) override;
    HRESULT get_StateManager(ISBStateManager** ppManager) override;
    HRESULT get_JobManager(ISBJobManager** ppManager) override;
    HRESULT get_OperationManager(ISBOperationManager** ppManager) override;
    HRESULT get_ModuleManager(ISBModuleManager** ppManager) override;
    HRESULT get_ScopeManager(ISBScopeManager** ppManager) override;
    HRESULT get_Extensions(ISBExtensions** ppExtensions) override;
    HRESULT get_DocumentService(ISBDocumentService** ppService) override;
    HRESULT get_PathService(ISBPathService** ppService) override;

    // Lets every service go; afterwards each property fails with E_UNEXPECTED.
    void Clear();

private:
    explicit ContainerRoot(const Services& services) : m_services(services) {}
    template <class T>
    HRESULT Hand(const KelvComPtr<T>& service, T** out, const char* name);

    Services m_services;
};

} // namespace QzHost
