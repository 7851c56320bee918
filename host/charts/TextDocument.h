// The text document ("SDDocuments.TextDocument"): a text kept byte for byte
// and saved as a plain text file (".txt", an engine deck ".gin", a forcefield
// library ".lib"). The file holds the text only, so a
// document read from it is named after the file and gets a new identity.
#pragma once

#include "host/charts/FileDocument.h"

#include <string>

namespace HostCharts {

class TextDocument final : public FileDocument, public ISDTextDocument {
public:
    static KelvComPtr<TextDocument> Create();
    // The text document behind any interface of it; null for anything else.
    static TextDocument* From(IUnknown* object);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    const std::string& Text() const { return m_text; }
    // Replaces the text (a document read from its file); not modified.
    void Load(std::string text);

    // A text holds no objects, but it is a document the user works on: its
    // contents scope names the document and holds nothing, so that the
    // scope processors make empty scopes of it.
    HRESULT get_ContentsAsScope(ISBScope** ppScope) override;

    // ISDTextDocument
    HRESULT get_Text(BSTR* pText) override;
    HRESULT put_Text(BSTR text) override;

private:
    TextDocument();
    std::string m_text;
};

// The whole file, byte for byte, within the bound of its kind (a deck
// ".gin" that of a deck, a library ".lib" that of a library, any other
// text that of a document). Throws std::runtime_error naming the file.
std::string ReadTextFile(const std::string& path);
// Writes the text byte for byte through a temporary beside the file.
// Throws std::runtime_error naming the file.
void WriteTextFile(const std::string& path, const std::string& text);

} // namespace HostCharts
