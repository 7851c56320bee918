#include "qorqm/CDocManagementUtility.h"

#include "qorqm/PathUtilities.h"

#include "kelv/KelvBSTR.h"
#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"
#include "kelv/KelvVariant.h"

CDocManagementUtility::CDocManagementUtility(const KelvComPtr<ISBContainerRoot>& root) : m_root(root) {}

CDocManagementUtility::CDocManagementUtility(ISBContainerRoot* root) : m_root(root) {}

KelvComPtr<ISBDocumentManager> CDocManagementUtility::DocumentManager() const {
    KelvComPtr<ISBDocumentManager> manager;
    KelvResult::Check(m_root->get_DocumentManager(manager.Receive()));
    Kelv::CheckNullDereference(manager.get());
    return manager;
}

KelvComPtr<ISBDocumentRoot> CDocManagementUtility::FindDocument(const std::string& base,
                                                                const std::string& extension) const {
    const KelvComPtr<ISBDocumentManager> manager = DocumentManager();
    const KelvBSTR path(base + extension);
    KelvComPtr<ISBDocumentRoot> document;
    KelvResult::Check(manager->FindDocument(path.Get(), document.Receive()));
    return document;
}

KelvComPtr<ISBDocumentRoot> CDocManagementUtility::FindOrCreateDocument(const std::string& folder,
                                                                        const std::string& name,
                                                                        const std::string& docTypeProgID,
                                                                        bool& created) const {
    created = false;
    const KelvComPtr<ISBDocumentManager> manager = DocumentManager();
    const std::string fullPath = PathUtilities::Join(folder, name);
    const KelvBSTR path(fullPath);
    KelvComPtr<ISBDocumentRoot> document;
    KelvResult::Check(manager->FindDocument(path.Get(), document.Receive()));
    if (document) {
        return document;
    }
    const KelvBSTR progId(docTypeProgID);
    const KelvVariant documentName(PathUtilities::ExtensionRemoved(PathUtilities::FileNameFromPath(fullPath)));
    KelvResult::Check(manager->NewProjectDocument(progId.Get(), path.Get(), 0, documentName.Get(), document.Receive()));
    Kelv::CheckNullDereference(document.get());
    created = true;
    return document;
}

void CDocManagementUtility::AssociateDocuments(const KelvComPtr<ISBDocumentRoot>& document,
                                               const std::string& handlerProgID,
                                               const std::string& associatedPath) const {
    Kelv::CheckNullDereference(document.get());
    const KelvComPtr<ISBDocumentManager> manager = DocumentManager();
    const KelvBSTR handler(handlerProgID);
    const KelvBSTR path(associatedPath);
    KelvResult::Check(manager->AssociateDocument(document.get(), handler.Get(), path.Get()));
}
