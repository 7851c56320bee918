// Container utilities of the host's application framework: logics of an
// extension, state values, documents by identifier, document information
// and undoable operations.
//
// Every pointer argument must be non-null (null throws the framework's
// null-pointer error, KelvResult E_POINTER). Host calls follow the host-call
// convention: a code other than S_OK is recorded as the last error and a
// failure is thrown as KelvResult with the host's error text.
#pragma once

#include <string>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

namespace AppUtils
{
namespace Container
{
// The logic named logicName of the extension; null when the extension holds
// no logic of that name.
KelvComPtr<ISBLogic> GetLogic(const std::string& logicName, ISBExtension* extension);

// The logic named logicName of the extension named extensionName, found
// through the container root's extensions; null when there is no such
// extension or no such logic in it.
KelvComPtr<ISBLogic> GetLogic(const std::string& logicName, const std::string& extensionName,
                              ISBContainerRoot* root);

// The value of the state property `key`. A state without that property gives
// an empty variant, or, with mustExist set, throws KelvResult E_INVALIDARG
// naming the key.
KelvVariant GetStatePropertyValue(const std::string& key, ISBState* state, bool mustExist);

// The document of the project whose document identifier is documentID
// (through the root's document manager). None gives null, or, with
// mustExist set, throws KelvResult E_INVALIDARG naming the identifier. A
// failing look-up throws in either case.
KelvComPtr<ISBDocumentRoot> FindDocumentRoot(const std::string& documentID, ISBContainerRoot* root,
                                             bool mustExist);

// The document's information (name, path, document properties).
KelvComPtr<ISBDocumentInfo> GetDocumentInfo(ISBDocumentRoot* document);

// Opens an undoable operation of the given kind (SBOperationKind: 0 an
// ordinary step, 3 a model or selection update) whose name and description
// are `text`. Every document change made while the caller holds the result
// forms one step of the user's undo history; releasing it closes the step.
KelvComPtr<ISBOperation> CreateOperation(ISBContainerRoot* root, LONG kind, const std::string& text);
} // namespace Container
} // namespace AppUtils
