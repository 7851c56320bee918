// The document manager: the documents of the project (open ones by path and
// identifier, private ones, imported and referenced ones), their folders for
// jobs and exports, and the container root's document service.
//
// Documents themselves belong to the document model; the manager knows them
// through document types registered by ProgID, each with the file
// extensions it reads and the functions that make, load and save one.
#pragma once

#include "host/managers/HostContext.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace QzHost {

struct DocumentType {
    std::string progId; // "SDDocuments.Atomistic3dDocument"
    // Extensions of its files, with the dot; the first is that of new files.
    std::vector<std::string> extensions;
    // Exporter and format ProgIDs whose files `save` writes.
    std::vector<std::string> exporters;
    // A new, empty document. Required.
    std::function<KelvComPtr<ISBDocumentRoot>()> create;
    // A new document read from the file, its URL the path (throws on a bad
    // file). Without it the type's files cannot be opened.
    std::function<KelvComPtr<ISBDocumentRoot>(const std::string& path)> open;
    // Writes the document to the file (throws when it cannot).
    std::function<void(ISBDocumentRoot*, const std::string& path)> save;
    // Records the path of the document's own file ("" for none).
    std::function<void(ISBDocumentRoot*, const std::string& url)> setUrl;
    // Whether the document changed since it was last loaded or saved; when
    // not given, every document with a file counts as changed.
    std::function<bool(ISBDocumentRoot*)> isModified;
};

class DocumentManager final : public CKelvUnknown, public ISBDocumentManager, public ISBDocumentFolders {
public:
    static KelvComPtr<DocumentManager> Create(std::shared_ptr<HostContext> context);

    // The document's file is one the user named (on the command line): its
    // saves go where its links lead, as a path the user typed. Every other
    // file of the project is not written through a link leading outside it.
    void TakeAsUsersOwn(ISBDocumentRoot* document);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISBDocumentManager
    HRESULT FindDocument(BSTR path, ISBDocumentRoot** ppDocument) override;
    HRESULT FindDocumentByID(BSTR documentID, ISBDocumentRoot** ppDocument) override;
    HRESULT NewPrivateDocument(BSTR docTypeProgID, VARIANT varData, ISBDocumentRoot** ppDocument) override;
    HRESULT NewProjectDocument(BSTR bstrDocTypeProgID, BSTR bstrProjectPath, LONG nCreateFlags, VARIANT varDocName,
                               ISBDocumentRoot** ppDocument) override;
    HRESULT ImportDocument(LONG flags, BSTR path, BSTR docTypeProgID, BSTR importerProgID, VARIANT varImportData,
                           ISBDocumentRoot** ppDocument) override;
    HRESULT ExportDocument(ISBDocumentRoot* pDocument, LONG flags, BSTR exporterProgID, VARIANT varExportData,
                           BSTR path) override;
    HRESULT ImportDocumentReference(LONG flags, BSTR path, ISBDocumentRoot** ppDocument) override;
    HRESULT PurgeDocument(ISBDocumentRoot* pDocument, LONG flags) override;
    // Writes every modified project document with a file to it; one that
    // cannot be written leaves the rest written and fails the call.
    HRESULT Synchronize() override;
    HRESULT AssociateDocument(ISBDocumentRoot* pDocument, BSTR handlerProgID, BSTR associatedPath) override;
    // ISBDocumentFolders
    HRESULT MakeDocumentFolder(BSTR title, LONG flags, BSTR* pProjectRelativePath) override;

    // The host's own access.
    void RegisterType(const DocumentType& type);
    const DocumentType* FindType(const std::string& progId) const;
    const DocumentType* TypeOfFile(const std::string& path) const;

    // Opens the document file at path (or hands the open one). Throws
    // KelvResult for a missing file, an unknown type or a bad file.
    KelvComPtr<ISBDocumentRoot> Open(const std::string& path);
    // Adds a document that the application made itself.
    void Add(const KelvComPtr<ISBDocumentRoot>& document, const std::string& progId, bool isPrivate);
    std::vector<KelvComPtr<ISBDocumentRoot>> Documents() const;
    // The open document whose file is at path (null when none).
    KelvComPtr<ISBDocumentRoot> Opened(const std::string& path) const;

    struct Association {
        KelvComPtr<ISBDocumentRoot> document;
        std::string handlerProgId;
        std::string associatedPath;
    };
    const std::vector<Association>& Associations() const { return m_associations; }

    // Information of a project file that is not an open document.
    KelvComPtr<ISBDocumentInfo> FileInfo(const std::string& path);

    void Clear();

private:
    explicit DocumentManager(std::shared_ptr<HostContext> context);

    struct Entry {
        KelvComPtr<ISBDocumentRoot> document;
        std::shared_ptr<const DocumentType> type;
        bool isPrivate = false;
    };

    std::shared_ptr<const DocumentType> RequireType(const std::string& progId) const;
    std::shared_ptr<const DocumentType> TypeOf(ISBDocumentRoot* document) const;
    Entry* FindEntry(ISBDocumentRoot* document);
    KelvComPtr<ISBDocumentRoot> Load(const std::string& normalPath, const std::shared_ptr<const DocumentType>& type);
    std::string ProjectPath(const std::string& path) const;
    // Saves the document into its file of the project, which is not written
    // through a link leading outside the project.
    void Save(const DocumentType& type, ISBDocumentRoot* document, const std::string& path) const;

    std::shared_ptr<HostContext> m_context;
    std::vector<std::shared_ptr<const DocumentType>> m_types;
    std::vector<Entry> m_documents;
    std::vector<Association> m_associations;
    std::map<std::string, KelvComPtr<ISBDocumentInfo>> m_fileInfos;
    std::vector<std::string> m_usersOwn;
};

// The document service of the container root.
class DocumentService final : public CKelvUnknown, public ISBDocumentService {
public:
    static KelvComPtr<DocumentService> Create(std::shared_ptr<HostContext> context,
                                              KelvComPtr<DocumentManager> documents);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT Refresh() override;
    // An open document's information, else that of an existing file in the
    // project documents folder; else S_FALSE and null.
    HRESULT GetDocumentInfo(BSTR path, ISBDocumentInfo** ppInfo) override;
    // Records the request and hands out a view object that holds the document.
    HRESULT OpenDocument(ISBDocumentRoot* pDocument, IUnknown** ppView) override;

private:
    DocumentService(std::shared_ptr<HostContext> context, KelvComPtr<DocumentManager> documents);
    std::shared_ptr<HostContext> m_context;
    KelvComPtr<DocumentManager> m_documents;
};

} // namespace QzHost
