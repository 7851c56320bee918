#include "appfw/AppUtilsDataModel.h"

#include "appfw/AppUtilsDocument.h"
#include "appfw/HostCall.h"

using namespace AppFrameworkDetail;

namespace AppUtils
{
namespace DataModel
{
namespace
{
KelvComPtr<ISDNamedSets> NamedSets(ISBDocumentRoot* document)
{
    Kelv::CheckNullDereference(document);
    KelvComPtr<IUnknown> model;
    Call(document->get_ModelDocument(model.Receive()));
    model = Required(std::move(model), "The document has no data model.");
    return model.QueryInterface<ISDNamedSets>();
}
} // namespace

bool HasSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*)
{
    VARIANT_BOOL has = VARIANT_FALSE;
    Call(NamedSets(document)->HasSet(KelvBSTR(name).Get(), &has));
    return has != VARIANT_FALSE;
}

void CreateSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*, bool visible)
{
    Call(NamedSets(document)->CreateSet(KelvBSTR(name).Get(), visible ? VARIANT_TRUE : VARIANT_FALSE));
}

void DeleteSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*)
{
    Call(NamedSets(document)->DeleteSet(KelvBSTR(name).Get()));
}

bool SetIsEmpty(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*)
{
    VARIANT_BOOL empty = VARIANT_TRUE;
    Call(NamedSets(document)->SetIsEmpty(KelvBSTR(name).Get(), &empty));
    return empty != VARIANT_FALSE;
}

bool ObjectBelongsToSet(IUnknown* object, const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*)
{
    Kelv::CheckNullDereference(object);
    VARIANT_BOOL belongs = VARIANT_FALSE;
    Call(NamedSets(document)->ObjectBelongsToSet(object, KelvBSTR(name).Get(), &belongs));
    return belongs != VARIANT_FALSE;
}

void AddObjectToSet(IUnknown* object, const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*)
{
    Kelv::CheckNullDereference(object);
    Call(NamedSets(document)->AddObjectToSet(object, KelvBSTR(name).Get()));
}

void RemoveObjectFromSet(IUnknown* object, const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*)
{
    Kelv::CheckNullDereference(object);
    Call(NamedSets(document)->RemoveObjectFromSet(object, KelvBSTR(name).Get()));
}

void SetSelectionToSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot*)
{
    Call(NamedSets(document)->SetSelectionToSet(KelvBSTR(name).Get()));
}

KelvComPtr<ISBScope> GetSetAsScope(const std::string& name, ISBScope* scope, ISBContainerRoot* root)
{
    KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root);
    if (!document)
        throw KelvResult(E_UNEXPECTED, "The scope belongs to no document.");
    KelvComPtr<ISBScope> set;
    Call(NamedSets(document.get())->GetSetAsScope(KelvBSTR(name).Get(), set.Receive()));
    return Required(std::move(set), "The set '" + name + "' gave no scope.");
}

KelvComPtr<ISDPropertyTemplate> GetNamedPropertyTemplate(const std::string& name)
{
    KelvComPtr<ISDPropertyService> service;
    Kelv::KelvCreateImpl(CLSID_SDPropertyService, nullptr, CLSCTX_SERVER, IID_ISDPropertyService,
                         service.ReceiveVoid(), true);
    service = Required(std::move(service), "The data-model property service could not be created.");
    KelvComPtr<ISDPropertyTemplate> propertyTemplate;
    Call(service->GetPropertyTemplate(KelvBSTR(name).Get(), propertyTemplate.Receive()));
    return Required(std::move(propertyTemplate), "The property service has no template for '" + name + "'.");
}
} // namespace DataModel
} // namespace AppUtils
