#include "appfw/AppUtilsDocument.h"

#include "appfw/HostCall.h"

using namespace AppFrameworkDetail;

namespace AppUtils
{
namespace Document
{
namespace
{
KelvComPtr<ISBScopeObjects> Objects(ISBScope* scope)
{
    Kelv::CheckNullDereference(scope);
    KelvComPtr<ISBScopeObjects> objects;
    Call(scope->get_Objects(objects.Receive()));
    return Required(std::move(objects), "The scope has no object collection.");
}
} // namespace

KelvComPtr<ISBScopeManager> GetScopeManager(ISBContainerRoot* root)
{
    Kelv::CheckNullDereference(root);
    KelvComPtr<ISBScopeManager> manager;
    Call(root->get_ScopeManager(manager.Receive()));
    return Required(std::move(manager), "The container root has no scope manager.");
}

KelvComPtr<ISBScope> CompleteModelScope(ISBScope* scope, ISBContainerRoot* root)
{
    Kelv::CheckNullDereference(scope);
    KelvComPtr<ISBDocumentRoot> document = DocumentFromScope(scope, root);
    if (!document)
        throw KelvResult(E_UNEXPECTED, "The scope belongs to no document.");
    KelvComPtr<ISBScope> contents;
    Call(document->get_ContentsAsScope(contents.Receive()));
    return Required(std::move(contents), "The document has no contents scope.");
}

KelvComPtr<ISBScope> ProcessScope(ISBScope* scope, const std::string& processor, ISBContainerRoot* root)
{
    Kelv::CheckNullDereference(scope);
    return ProcessScope(scope, processor, GetScopeManager(root).get());
}

KelvComPtr<ISBScope> ProcessScope(ISBScope* scope, const std::string& processor, ISBScopeManager* manager)
{
    Kelv::CheckNullDereference(scope);
    Kelv::CheckNullDereference(manager);
    KelvComPtr<ISBScope> result;
    Call(manager->ProcessScope(scope, KelvBSTR(processor).Get(), result.Receive()));
    return Required(std::move(result), "The scope processor '" + processor + "' gave no scope.");
}

LONG CountScopeObjects(ISBScope* scope)
{
    if (!scope)
        return 0;
    LONG count = 0;
    Call(Objects(scope)->get_Count(&count));
    return count;
}

bool ScopeIsEmpty(ISBScope* scope)
{
    return CountScopeObjects(scope) <= 0;
}

std::vector<KelvComPtr<ISDObject>> ObjectArrayFromScope(ISBScope* scope)
{
    KelvComPtr<ISBScopeObjects> objects = Objects(scope);
    LONG count = 0;
    Call(objects->get_Count(&count));
    std::vector<KelvComPtr<ISDObject>> result;
    result.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (LONG i = 1; i <= count; ++i) {
        KelvComPtr<IUnknown> item;
        Call(objects->Item(i, item.Receive()));
        result.push_back(item.QueryInterface<ISDObject>());
    }
    return result;
}

KelvComPtr<ISBScopeObjects> ObjectsFromScope(ISBScope* scope, const std::string& filter, ISBScopeManager* manager)
{
    return Objects(ProcessScope(scope, filter, manager).get());
}

KelvComPtr<ISBDocumentRoot> DocumentFromScope(ISBScope* scope, ISBContainerRoot*)
{
    Kelv::CheckNullDereference(scope);
    KelvComPtr<ISBDocumentRoot> document;
    Call(scope->get_DocumentRoot(document.Receive()));
    return document;
}
} // namespace Document
} // namespace AppUtils
