#include "host/charts/TextDocument.h"

#include "com/regularfile.h"

#include "host/charts/ChartFile.h"
#include "host/managers/HostCall.h"
#include "qorqm/PathUtilities.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace HostCharts {

using QzHost::HostCall;
using QzHost::Log;
using QzHost::Narrow;
using QzHost::Quote;
using QzHost::StoreString;

namespace {

// The objects of a scope that holds none.
class NoObjects final : public CKelvUnknown, public ISBScopeObjects {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBScopeObjects)
            return FinishQI(static_cast<ISBScopeObjects*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_Count(LONG* pCount) override
    {
        return HostCall(IID_ISBScopeObjects, [&] {
            QzHost::RequireOut(pCount);
            *pCount = 0;
        });
    }
    HRESULT Item(LONG, IUnknown** ppObject) override
    {
        return HostCall(IID_ISBScopeObjects, [&] {
            QzHost::RequireOut(ppObject);
            *ppObject = nullptr;
            QzHost::Fail(DISP_E_BADINDEX, "The scope holds no objects.");
        });
    }
};

// The contents scope of a text document.
class TextContents final : public CKelvUnknown, public ISBScope {
public:
    explicit TextContents(ISBDocumentRoot* document) : m_document(document) {}

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBScope)
            return FinishQI(static_cast<ISBScope*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_Objects(ISBScopeObjects** ppObjects) override
    {
        return HostCall(IID_ISBScope, [&] {
            QzHost::RequireOut(ppObjects);
            *ppObjects = nullptr;
            QzHost::StoreInterface(ppObjects, KelvComPtr<ISBScopeObjects>::Adopt(new NoObjects));
        });
    }
    HRESULT get_DocumentRoot(ISBDocumentRoot** ppDocument) override
    {
        return HostCall(IID_ISBScope, [&] {
            QzHost::StoreInterface(ppDocument, m_document);
        });
    }

private:
    KelvComPtr<ISBDocumentRoot> m_document;
};

} // namespace

KelvComPtr<TextDocument> TextDocument::Create()
{
    return KelvComPtr<TextDocument>::Adopt(new TextDocument());
}

TextDocument::TextDocument() : FileDocument("TextDocument", false) {}

TextDocument* TextDocument::From(IUnknown* object)
{
    return dynamic_cast<TextDocument*>(FileDocument::From(object));
}

HRESULT TextDocument::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISDTextDocument)
        return FinishQI(static_cast<ISDTextDocument*>(this), out);
    return FileDocument::DelegatedQueryInterface(iid, out);
}

HRESULT TextDocument::get_ContentsAsScope(ISBScope** ppScope)
{
    return HostCall(IID_ISBDocumentRoot, [&] {
        QzHost::RequireOut(ppScope);
        *ppScope = nullptr;
        const KelvComPtr<ISBScope> scope =
            KelvComPtr<ISBScope>::Adopt(new TextContents(static_cast<ISBDocumentRoot*>(this)));
        QzHost::StoreInterface(ppScope, scope);
    });
}

void TextDocument::Load(std::string text)
{
    m_text = std::move(text);
    SetModifiedMark(false);
}

HRESULT TextDocument::get_Text(BSTR* pText)
{
    return HostCall(IID_ISDTextDocument, [&] { StoreString(pText, m_text); });
}

HRESULT TextDocument::put_Text(BSTR text)
{
    return HostCall(IID_ISDTextDocument, [&] {
        std::string value = Narrow(text);
        Log("TextDocument", "put_Text", {Quote(Url()), std::to_string(value.size())});
        if (value == m_text)
            return;
        m_text = std::move(value);
        SetModifiedMark(true);
    });
}

std::string ReadTextFile(const std::string& path)
{
    std::string text;
    std::string why;
    const std::uint64_t bound = PathUtilities::MatchesExtension(path, ".gin")   ? RegularFile::Bound::Deck
                                : PathUtilities::MatchesExtension(path, ".lib") ? RegularFile::Bound::Library
                                                                                : RegularFile::Bound::Document;
    if (!RegularFile::ReadAll(path, text, why, bound))
        throw std::runtime_error(RegularFile::Failure("Unable to open the text document \"" + path + "\".", path, why));
    return text;
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    try {
        ReplaceFile(path, text);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("Unable to write the text document \"" + path + "\": " + e.what());
    }
}

} // namespace HostCharts
