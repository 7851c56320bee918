#pragma once
// Finding and making project documents through the host's document manager.
// Every failing host call is thrown as KelvResult with the host's error.

#include "hostapi/hostapi.h"
#include "kelv/KelvComPtr.h"

#include <string>

class CDocManagementUtility {
public:
    // A null root makes every operation throw KelvResult E_POINTER.
    explicit CDocManagementUtility(const KelvComPtr<ISBContainerRoot>& root);
    explicit CDocManagementUtility(ISBContainerRoot* root);

    // The project document stored at base + extension (for instance the
    // structure document "<results>/<seed>" + ".qsd"); null when the project
    // holds none.
    KelvComPtr<ISBDocumentRoot> FindDocument(const std::string& base, const std::string& extension) const;

    // The project document `name` in `folder` (a separator between them is
    // supplied when the folder lacks one). When there is none, a new project
    // document of the type docTypeProgID is made there, named after the file
    // name without its extension, and `created` is set true; otherwise
    // `created` is set false.
    KelvComPtr<ISBDocumentRoot> FindOrCreateDocument(const std::string& folder, const std::string& name,
                                                     const std::string& docTypeProgID, bool& created) const;

    // Links the document to the document file at associatedPath through the
    // event handler handlerProgID.
    void AssociateDocuments(const KelvComPtr<ISBDocumentRoot>& document, const std::string& handlerProgID,
                            const std::string& associatedPath) const;

private:
    KelvComPtr<ISBDocumentManager> DocumentManager() const;

    KelvComPtr<ISBContainerRoot> m_root;
};
