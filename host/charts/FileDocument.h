// The common face of the host's documents that are not structures (charts
// and texts): the document root and its information (name, file path,
// identity, free-form properties) and the modified mark that decides whether
// the document manager writes the document back to its file.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <map>
#include <string>

namespace HostCharts {

// What every such document knows about itself besides its contents.
struct DocumentHeader {
    std::string name;
    std::string id; // "{XXXXXXXX-XXXX-...}", made when the document is made
    std::map<std::string, std::string> properties;
};

// Private interface through which the host finds its own documents of this
// family behind an ISBDocumentRoot a caller hands back.
inline constexpr IID IID_IHostFileDocument = HostApi::MakeGuid("3F7A2C91-64B0-4E1D-9C58-0B2E6D4A17F3");
class FileDocument;
struct IHostFileDocument : public IUnknown {
    static const IID& Iid() { return IID_IHostFileDocument; }
    virtual FileDocument* Document() = 0;
};

class FileDocument : public CKelvUnknown,
                     public ISBDocumentRoot,
                     public ISBDocumentInfo,
                     public IHostFileDocument {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // The document of this family behind any of its interfaces; null for
    // anything else (other documents, null).
    static FileDocument* From(IUnknown* object);

    const DocumentHeader& Header() const { return m_header; }
    // Replaces name, identity and properties (a document read from a file).
    void SetHeader(const DocumentHeader& header) { m_header = header; }
    const std::string& Url() const { return m_url; }
    void SetUrl(const std::string& url) { m_url = url; }

    // Whether the document changed since it was last read or written.
    bool IsModified() const { return m_modified; }
    void SetModifiedMark(bool modified) { m_modified = modified; }

    // ISBDocumentRoot
    // These documents hold no atoms: there is no scope of their contents.
    HRESULT get_ContentsAsScope(ISBScope** ppScope) override;
    HRESULT get_DocumentID(BSTR* pID) override;
    HRESULT get_DocumentURL(BSTR* pURL) override;
    HRESULT get_DocumentName(BSTR* pName) override;
    // The document object itself (it answers the document's own interface).
    HRESULT get_ModelDocument(IUnknown** ppModel) override;
    HRESULT get_DocumentInfo(ISBDocumentInfo** ppInfo) override;
    // Only structure documents have a model to copy: E_NOTIMPL.
    HRESULT CopyModelFrom(ISBDocumentRoot* pSource) override;

    // ISBDocumentInfo (get_DocumentName and get_DocumentURL are shared with
    // the root). Renaming and setting a property mark the document modified
    // when its file keeps them.
    HRESULT put_DocumentName(BSTR name) override;
    HRESULT GetDocumentProperty(BSTR name, VARIANT* pValue) override;
    HRESULT SetDocumentProperty(BSTR name, VARIANT value) override;

    // IHostFileDocument
    FileDocument* Document() override { return this; }

protected:
    // kind names the document in messages and the operation log
    // ("ChartDocument"); keepsHeader: its file stores name and properties.
    FileDocument(std::string kind, bool keepsHeader);

    const std::string& Kind() const { return m_kind; }

private:
    std::string m_kind;
    bool m_keepsHeader;
    DocumentHeader m_header;
    std::string m_url;
    bool m_modified = false;
};

} // namespace HostCharts
