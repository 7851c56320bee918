#include "host/charts/FileDocument.h"

#include "host/managers/HostCall.h"
#include "host/model/Document.h"

namespace HostCharts {

using QzHost::Fail;
using QzHost::HostCall;
using QzHost::Log;
using QzHost::Narrow;
using QzHost::Quote;
using QzHost::RequireOut;
using QzHost::StoreString;

FileDocument::FileDocument(std::string kind, bool keepsHeader) : m_kind(std::move(kind)), m_keepsHeader(keepsHeader)
{
    m_header.id = HostModel::NewDocumentId();
}

HRESULT FileDocument::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBDocumentRoot)
        return FinishQI(static_cast<ISBDocumentRoot*>(this), out);
    if (iid == IID_ISBDocumentInfo)
        return FinishQI(static_cast<ISBDocumentInfo*>(this), out);
    if (iid == IID_IHostFileDocument)
        return FinishQI(static_cast<IHostFileDocument*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

FileDocument* FileDocument::From(IUnknown* object)
{
    if (!object)
        return nullptr;
    IHostFileDocument* own = nullptr;
    if (FAILED(object->QueryInterface(IID_IHostFileDocument, reinterpret_cast<void**>(&own))) || !own)
        return nullptr;
    FileDocument* document = own->Document();
    own->Release();
    return document;
}

HRESULT FileDocument::get_ContentsAsScope(ISBScope** ppScope)
{
    return HostCall(IID_ISBDocumentRoot, [&] {
        RequireOut(ppScope);
        *ppScope = nullptr;
        Fail(E_NOTIMPL, "A " + m_kind + " holds no atoms and has no contents scope.");
    });
}

HRESULT FileDocument::get_DocumentID(BSTR* pID)
{
    return HostCall(IID_ISBDocumentRoot, [&] { StoreString(pID, m_header.id); });
}

HRESULT FileDocument::get_DocumentURL(BSTR* pURL)
{
    return HostCall(IID_ISBDocumentRoot, [&] { StoreString(pURL, m_url); });
}

HRESULT FileDocument::get_DocumentName(BSTR* pName)
{
    return HostCall(IID_ISBDocumentRoot, [&] { StoreString(pName, m_header.name); });
}

HRESULT FileDocument::get_ModelDocument(IUnknown** ppModel)
{
    return HostCall(IID_ISBDocumentRoot, [&] {
        RequireOut(ppModel);
        *ppModel = ControllingUnknown();
        (*ppModel)->AddRef();
    });
}

HRESULT FileDocument::get_DocumentInfo(ISBDocumentInfo** ppInfo)
{
    return HostCall(IID_ISBDocumentRoot, [&] {
        RequireOut(ppInfo);
        *ppInfo = static_cast<ISBDocumentInfo*>(this);
        AddRef();
    });
}

HRESULT FileDocument::CopyModelFrom(ISBDocumentRoot*)
{
    return HostCall(IID_ISBDocumentRoot, [&] { Fail(E_NOTIMPL, "A " + m_kind + " has no model to copy into."); });
}

HRESULT FileDocument::put_DocumentName(BSTR name)
{
    return HostCall(IID_ISBDocumentInfo, [&] {
        const std::string text = Narrow(name);
        Log(m_kind, "put_DocumentName", {Quote(m_url), Quote(text)});
        if (text != m_header.name && m_keepsHeader)
            m_modified = true;
        m_header.name = text;
    });
}

HRESULT FileDocument::GetDocumentProperty(BSTR name, VARIANT* pValue)
{
    return HostCall(IID_ISBDocumentInfo, [&]() -> HRESULT {
        RequireOut(pValue);
        VariantInit(pValue);
        const auto it = m_header.properties.find(Narrow(name));
        if (it == m_header.properties.end())
            return S_FALSE;
        *pValue = KelvVariant(it->second).Detach();
        return S_OK;
    });
}

HRESULT FileDocument::SetDocumentProperty(BSTR name, VARIANT value)
{
    return HostCall(IID_ISBDocumentInfo, [&] {
        const std::string property = Narrow(name);
        if (property.empty())
            Fail(E_INVALIDARG, "A document property needs a name.");
        Log(m_kind, "SetDocumentProperty", {Quote(m_url), Quote(property), QzHost::DescribeVariant(value)});
        // Properties are kept as text, as the file keeps them.
        const std::string text = KelvVariant(value).String();
        auto it = m_header.properties.find(property);
        if (it != m_header.properties.end() && it->second == text)
            return;
        m_header.properties[property] = text;
        if (m_keepsHeader)
            m_modified = true;
    });
}

} // namespace HostCharts
