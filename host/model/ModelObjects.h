// The COM face of the document model: document roots, the model, scopes,
// atoms, lattices, the lattice frame, symmetry, named sets, the surface
// description and the property service. The host's managers use the
// functions here to hand documents and scopes to callers and to find the
// document behind an interface pointer that comes back.
#pragma once

#include "host/model/ComSupport.h"

namespace HostModel {

// The document root of a document (the same object while anyone holds it).
KelvComPtr<ISBDocumentRoot> DocumentRootFor(const std::shared_ptr<Document>& document);
// The document behind any object of this host's models (document root,
// model, scope, atom, lattice...); null for anything else.
std::shared_ptr<Document> DocumentOf(IUnknown* object);

// A scope object over a scope.
KelvComPtr<ISBScope> MakeScopeObject(const Scope& scope);
// The scope behind a scope object of this host (the model counts as the
// scope of itself); false for anything else.
bool TryScopeOf(IUnknown* object, Scope& scope);
// As TryScopeOf; a null or foreign scope throws KelvResult E_INVALIDARG.
Scope ScopeOf(IUnknown* object);
// Runs a named scope processor on a scope object of this host and gives the
// result as a new scope object; an unknown processor or a foreign scope
// throws KelvResult E_INVALIDARG, except that the document-root coercion of
// a scope of another kind of document gives an empty scope. The scope
// manager's ProcessScope.
KelvComPtr<ISBScope> ProcessScopeObject(ISBScope* scope, const std::string& processor);

// The model object of a document: a scope over the whole model that also
// answers ISDObject ("LatticeRepresentation"), ISDNamedSets,
// ISDSurfaceDescription and IQoAtomNumberingSource.
KelvComPtr<IUnknown> ModelObjectFor(const std::shared_ptr<Document>& document);
// The object of an atom, bond or pi-system (or the model for ModelHandle);
// an atom keeps its identity while anyone holds it. Throws ModelError for
// an unknown handle.
KelvComPtr<IUnknown> ObjectFor(const std::shared_ptr<Document>& document, Handle handle);
// The document and handle of an object of this host; false for anything else.
bool TryHandleOf(IUnknown* object, std::shared_ptr<Document>& document, Handle& handle);

// Lattice objects (ISDLattice3D or ISDLattice2D, with ISDObject), the
// lattice frame (ISDLatticeFrame) and the symmetry object (ISDObject with
// "AllOperatorElements"). Null when the document has no such lattice.
KelvComPtr<IUnknown> Lattice3DObjectFor(const std::shared_ptr<Document>& document);
KelvComPtr<IUnknown> Lattice2DObjectFor(const std::shared_ptr<Document>& document);
KelvComPtr<IUnknown> LatticeFrameFor(const std::shared_ptr<Document>& document);
KelvComPtr<IUnknown> SymmetryObjectFor(const std::shared_ptr<Document>& document);

// Create function of the property service (CLSID_SDPropertyService).
HRESULT CreatePropertyService(void** out);

// Names of the two document formats of ISBPersistable.
inline constexpr const char* FormatQsd = "SDModel3dImportExport.QSDImportExport";
inline constexpr const char* FormatQtd = "SDModel3dImportExport.QTDImportExport";

} // namespace HostModel
