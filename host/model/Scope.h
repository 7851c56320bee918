// Scopes: lists of objects of one document (atoms, bonds, pi-systems or the
// model as a whole), and the named scope processors that filter and
// normalise them.
#pragma once

#include "host/model/Document.h"

#include <memory>
#include <string>
#include <vector>

namespace HostModel {

// Names of the scope processors.
inline constexpr const char* ProcessorSymmetryParent = "Normalization:Model3d!SymmetryParent";
inline constexpr const char* ProcessorPeriodicParent = "Normalization:Model3d!PeriodicParent";
inline constexpr const char* ProcessorAtom = "Filter:Model3d!Atom";
inline constexpr const char* ProcessorIsSelected = "Filter:Model3d!!IsSelected";
inline constexpr const char* ProcessorPiSystem = "Filter:Model3d!PiSystem";
inline constexpr const char* ProcessorDocumentRoot = "DocumentRootCoercion:AtomisticSimpleModel3d";

class Scope {
public:
    // An empty scope of no document.
    Scope() = default;
    Scope(std::shared_ptr<Document> document, std::vector<Handle> objects);

    // Every atom, bond and pi-system of the document, in document order.
    static Scope Contents(const std::shared_ptr<Document>& document);
    // The model object alone (processing it works on the whole contents).
    static Scope Model(const std::shared_ptr<Document>& document);
    // The atoms of a named set, in document order (a missing set: empty).
    static Scope OfSet(const std::shared_ptr<Document>& document, const std::string& setName);

    const std::shared_ptr<Document>& GetDocument() const { return m_document; }
    // The objects that still exist, in scope order.
    std::vector<Handle> Objects() const;
    std::size_t Count() const { return Objects().size(); }
    bool IsEmpty() const { return Count() == 0; }

private:
    std::shared_ptr<Document> m_document;
    std::vector<Handle> m_objects;
};

// Applies a named processor:
// - "Normalization:Model3d!SymmetryParent": every atom is replaced by its
//   symmetry parent; other objects stay; each object once, in document order.
// - "Normalization:Model3d!PeriodicParent": every atom is its own periodic
//   parent (this host keeps no periodic display copies); each object once,
//   in document order.
// - "Filter:Model3d!Atom", "Filter:Model3d!PiSystem": the atoms, or the
//   pi-systems, in scope order.
// - "Filter:Model3d!!IsSelected": the selected atoms, in scope order.
// - "DocumentRootCoercion:AtomisticSimpleModel3d": the model object of the
//   scope's document; empty for a scope of no document.
// The model object in a scope stands for the whole contents. An unknown
// processor name throws ModelError.
Scope ProcessScope(const Scope& scope, const std::string& processor);

bool IsKnownProcessor(const std::string& processor);

} // namespace HostModel
