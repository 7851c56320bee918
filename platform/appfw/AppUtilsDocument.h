// Document and scope utilities of the host's application framework: the
// scope manager, the whole-model scope of a scope, named scope processing,
// the objects of a scope and the document that holds it.
//
// Pointer arguments must be non-null unless said (null throws the
// framework's null-pointer error, KelvResult E_POINTER). Host calls follow
// the host-call convention: a code other than S_OK is recorded as the last
// error and a failure is thrown as KelvResult with the host's error text.
// The functions that take the container root only to find a scope's
// document may be given a null root: a scope knows its own document.
#pragma once

#include <string>
#include <vector>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

namespace AppUtils
{
namespace Document
{
// The container root's scope manager.
KelvComPtr<ISBScopeManager> GetScopeManager(ISBContainerRoot* root);

// The whole contents of the document that holds the scope. A scope of no
// document throws KelvResult E_UNEXPECTED.
KelvComPtr<ISBScope> CompleteModelScope(ISBScope* scope, ISBContainerRoot* root);

// The scope that the named processor ("Normalization:Model3d!SymmetryParent",
// "Filter:Model3d!Atom", ...) makes of the scope, through the root's scope
// manager or the given one.
KelvComPtr<ISBScope> ProcessScope(ISBScope* scope, const std::string& processor, ISBContainerRoot* root);
KelvComPtr<ISBScope> ProcessScope(ISBScope* scope, const std::string& processor, ISBScopeManager* manager);

// The number of objects of the scope; a null scope holds none.
LONG CountScopeObjects(ISBScope* scope);
// True when the scope holds no object (also for a null scope).
bool ScopeIsEmpty(ISBScope* scope);

// The objects of the scope in scope order, each as ISDObject. An object
// that does not answer ISDObject throws the framework's query-interface
// failure.
std::vector<KelvComPtr<ISDObject>> ObjectArrayFromScope(ISBScope* scope);

// The objects of the scope after the filter processor, as the host's
// collection (Count, Item counted from 1).
KelvComPtr<ISBScopeObjects> ObjectsFromScope(ISBScope* scope, const std::string& filter, ISBScopeManager* manager);

// The document that holds the scope; null when it belongs to none.
KelvComPtr<ISBDocumentRoot> DocumentFromScope(ISBScope* scope, ISBContainerRoot* root);
} // namespace Document
} // namespace AppUtils
