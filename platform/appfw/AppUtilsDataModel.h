// Data-model utilities of the host's application framework: the named atom
// sets of a document's model ("SurfaceAtoms", "AttachmentLayer") and the
// property templates that write a property on every object of a scope.
//
// The sets are those of the document's model (ISBDocumentRoot::ModelDocument,
// asked for ISDNamedSets); the container root is accepted for the callers'
// convenience and not needed. Pointer arguments other than the root must be
// non-null (null throws the framework's null-pointer error, KelvResult
// E_POINTER). Host calls follow the host-call convention: a code other than
// S_OK is recorded as the last error and a failure is thrown as KelvResult
// with the host's error text.
#pragma once

#include <string>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

namespace AppUtils
{
namespace DataModel
{
// True when the document's model has a set of that name.
bool HasSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot* root);
// Makes an empty set (visible: listed for the user); an existing set stays as it is.
void CreateSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot* root, bool visible);
// Removes the set (its objects stay in the model); no such set changes nothing.
void DeleteSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot* root);
// True when the set holds no object, also when there is no such set.
bool SetIsEmpty(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot* root);
// True when the object is in the set.
bool ObjectBelongsToSet(IUnknown* object, const std::string& name, ISBDocumentRoot* document,
                        ISBContainerRoot* root);
// Adds an object of the model to the set (once). No such set: the host's error.
void AddObjectToSet(IUnknown* object, const std::string& name, ISBDocumentRoot* document, ISBContainerRoot* root);
// Takes an object out of the set (nothing when it is not in it).
void RemoveObjectFromSet(IUnknown* object, const std::string& name, ISBDocumentRoot* document,
                         ISBContainerRoot* root);
// Makes the document's selection exactly the objects of the set.
void SetSelectionToSet(const std::string& name, ISBDocumentRoot* document, ISBContainerRoot* root);
// The objects of the set of the scope's document, as a scope. A scope of no
// document throws KelvResult E_UNEXPECTED; no such set, the host's error.
KelvComPtr<ISBScope> GetSetAsScope(const std::string& name, ISBScope* scope, ISBContainerRoot* root);

// The template of the named data-model property ("IsSelected", "XYZ",
// "DistanceAlongAxis"), from the host's property service; its
// SetValueOnScope writes a value on every object of a scope.
KelvComPtr<ISDPropertyTemplate> GetNamedPropertyTemplate(const std::string& name);
} // namespace DataModel
} // namespace AppUtils
