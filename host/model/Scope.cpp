#include "host/model/Scope.h"

#include <algorithm>
#include <set>

namespace HostModel {

namespace {

// Replaces the model object by the whole contents and drops objects that no
// longer exist, keeping scope order otherwise.
std::vector<Handle> Expanded(const Scope& scope)
{
    std::vector<Handle> r;
    const auto& document = scope.GetDocument();
    if (!document)
        return r;
    for (Handle h : scope.Objects()) {
        if (h == ModelHandle) {
            for (Handle c : Scope::Contents(document).Objects())
                r.push_back(c);
        } else {
            r.push_back(h);
        }
    }
    return r;
}

std::vector<Handle> UniqueInDocumentOrder(const Document& document, std::vector<Handle> objects)
{
    std::sort(objects.begin(), objects.end(), [&](Handle a, Handle b) {
        return document.DocumentOrder(a) < document.DocumentOrder(b);
    });
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    return objects;
}

} // namespace

Scope::Scope(std::shared_ptr<Document> document, std::vector<Handle> objects)
    : m_document(std::move(document)), m_objects(std::move(objects))
{
    if (!m_document)
        m_objects.clear();
}

Scope Scope::Contents(const std::shared_ptr<Document>& document)
{
    std::vector<Handle> objects;
    if (document) {
        for (const Atom& a : document->Atoms())
            objects.push_back(a.handle);
        for (const Bond& b : document->Bonds())
            objects.push_back(b.handle);
        for (const PiSystem& p : document->PiSystems())
            objects.push_back(p.handle);
    }
    return Scope(document, objects);
}

Scope Scope::Model(const std::shared_ptr<Document>& document)
{
    return Scope(document, {ModelHandle});
}

Scope Scope::OfSet(const std::shared_ptr<Document>& document, const std::string& setName)
{
    if (!document)
        return Scope();
    return Scope(document, document->SetAtoms(setName));
}

std::vector<Handle> Scope::Objects() const
{
    std::vector<Handle> r;
    if (!m_document)
        return r;
    for (Handle h : m_objects)
        if (m_document->KindOf(h) != Document::Kind::None)
            r.push_back(h);
    return r;
}

bool IsKnownProcessor(const std::string& p)
{
    return p == ProcessorSymmetryParent || p == ProcessorPeriodicParent || p == ProcessorAtom ||
           p == ProcessorIsSelected || p == ProcessorPiSystem || p == ProcessorDocumentRoot;
}

Scope ProcessScope(const Scope& scope, const std::string& processor)
{
    if (!IsKnownProcessor(processor))
        throw ModelError("Unknown scope processor '" + processor + "'.");
    const std::shared_ptr<Document>& document = scope.GetDocument();
    if (!document)
        return Scope();
    if (processor == ProcessorDocumentRoot)
        return Scope::Model(document);

    std::vector<Handle> objects = Expanded(scope);
    std::vector<Handle> result;
    if (processor == ProcessorSymmetryParent) {
        for (Handle h : objects)
            result.push_back(document->FindAtom(h) ? document->SymmetryParent(h) : h);
        result = UniqueInDocumentOrder(*document, result);
    } else if (processor == ProcessorPeriodicParent) {
        result = UniqueInDocumentOrder(*document, objects);
    } else if (processor == ProcessorAtom) {
        for (Handle h : objects)
            if (document->FindAtom(h))
                result.push_back(h);
    } else if (processor == ProcessorIsSelected) {
        for (Handle h : objects)
            if (const Atom* a = document->FindAtom(h); a && a->selected)
                result.push_back(h);
    } else if (processor == ProcessorPiSystem) {
        for (Handle h : objects)
            if (document->KindOf(h) == Document::Kind::PiSystem)
                result.push_back(h);
    }
    return Scope(document, result);
}

} // namespace HostModel
