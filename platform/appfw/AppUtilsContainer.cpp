#include "appfw/AppUtilsContainer.h"

#include "appfw/HostCall.h"

using namespace AppFrameworkDetail;

namespace AppUtils
{
namespace Container
{
namespace
{
// An item of a host collection looked up by name: E_INVALIDARG (the hosts'
// answer for an unknown name) or no object means "not there".
template <class Collection, class Item>
KelvComPtr<Item> FindByName(Collection* collection, const std::string& name)
{
    KelvComPtr<Item> item;
    KelvVariant index(name);
    const HRESULT hr = collection->Item(index.Get(), item.Receive());
    if (hr == E_INVALIDARG) {
        DiscardErrorInfo();
        return nullptr;
    }
    Call(hr);
    return item;
}
} // namespace

KelvComPtr<ISBLogic> GetLogic(const std::string& logicName, ISBExtension* extension)
{
    Kelv::CheckNullDereference(extension);
    return FindByName<ISBExtension, ISBLogic>(extension, logicName);
}

KelvComPtr<ISBLogic> GetLogic(const std::string& logicName, const std::string& extensionName,
                              ISBContainerRoot* root)
{
    Kelv::CheckNullDereference(root);
    KelvComPtr<ISBExtensions> extensions;
    Call(root->get_Extensions(extensions.Receive()));
    extensions = Required(std::move(extensions), "The container root has no extensions.");
    KelvComPtr<ISBExtension> extension = FindByName<ISBExtensions, ISBExtension>(extensions.get(), extensionName);
    if (!extension)
        return nullptr;
    return GetLogic(logicName, extension.get());
}

KelvVariant GetStatePropertyValue(const std::string& key, ISBState* state, bool mustExist)
{
    Kelv::CheckNullDereference(state);
    KelvBSTR name(key);
    VARIANT_BOOL has = VARIANT_FALSE;
    Call(state->HasProperty(name.Get(), &has));
    if (has == VARIANT_FALSE) {
        if (mustExist)
            throw KelvResult(E_INVALIDARG, "The state has no property '" + key + "'.");
        return KelvVariant();
    }
    KelvVariant value;
    Call(state->GetPropertyValue(name.Get(), value.Receive()));
    return value;
}

KelvComPtr<ISBDocumentRoot> FindDocumentRoot(const std::string& documentID, ISBContainerRoot* root,
                                             bool mustExist)
{
    Kelv::CheckNullDereference(root);
    KelvComPtr<ISBDocumentManager> manager;
    Call(root->get_DocumentManager(manager.Receive()));
    manager = Required(std::move(manager), "The container root has no document manager.");
    KelvComPtr<ISBDocumentRoot> document;
    Call(manager->FindDocumentByID(KelvBSTR(documentID).Get(), document.Receive()));
    if (!document && mustExist)
        throw KelvResult(E_INVALIDARG, "No document of the project has the identifier '" + documentID + "'.");
    return document;
}

KelvComPtr<ISBDocumentInfo> GetDocumentInfo(ISBDocumentRoot* document)
{
    Kelv::CheckNullDereference(document);
    KelvComPtr<ISBDocumentInfo> info;
    Call(document->get_DocumentInfo(info.Receive()));
    return Required(std::move(info), "The document has no document information.");
}

KelvComPtr<ISBOperation> CreateOperation(ISBContainerRoot* root, LONG kind, const std::string& text)
{
    Kelv::CheckNullDereference(root);
    KelvComPtr<ISBOperationManager> manager;
    Call(root->get_OperationManager(manager.Receive()));
    manager = Required(std::move(manager), "The container root has no operation manager.");
    KelvBSTR bstr(text);
    KelvComPtr<ISBOperation> operation;
    Call(manager->CreateOperation(bstr.Get(), bstr.Get(), kind, operation.Receive()));
    return Required(std::move(operation), "The operation manager opened no operation.");
}
} // namespace Container
} // namespace AppUtils
