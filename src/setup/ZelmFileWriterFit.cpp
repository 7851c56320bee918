// The structures of a Fit deck, each with its observables (current build).
#include "setup/ZelmFileWriter.h"

#include "setup/DeckLines.h"
#include "setup/ZelmObservableInfo.h"

namespace {

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

bool IsTrue(VARIANT_BOOL value)
{
    return value == VARIANT_TRUE;
}

} // namespace

void CZelmFileWriter::RefuseFitStructures(const KelvComPtr<ISBContainerRoot>& root, IQoScopeUtility* utility)
{
    const CZelmObservableInfo observables(root);
    observables.CheckUsedStructuresFound();
    for (const KelvComPtr<ISBDocumentRoot>& structure : observables.GetUsedStructures())
        RefuseStructureText(utility, structure.get());
}

void CZelmFileWriter::WriteStructures(std::ofstream& deck)
{
    const CZelmObservableInfo observables(m_root);
    // Structures in the order of their first observable row in use, so that
    // the same observables always give the same deck.
    const std::vector<KelvComPtr<ISBDocumentRoot>> structures = observables.GetUsedStructures();
    const std::map<ISBDocumentRoot*, std::string> names = observables.GetUsedStructureNames();
    // A row that names a structure no longer in the project fails before
    // anything of the structures is written.
    observables.CheckUsedStructuresFound();

    const KelvComPtr<ISBDocumentRoot> requestDocument = m_documentRoot;
    const std::map<long, long> requestMasks = m_fixedAxisMasks;
    try {
        for (const KelvComPtr<ISBDocumentRoot>& structure : structures) {
            KelvComPtr<ISBScope> contents;
            Check(structure->get_ContentsAsScope(contents.Receive()));
            VARIANT_BOOL needsConversion = VARIANT_FALSE;
            Check(m_scopeUtility->NeedsPrimitiveConversion(contents.get(), &needsConversion));
            if (IsTrue(needsConversion)) {
                KelvComPtr<ISBDocumentRoot> copy;
                KelvVariant noData;
                Check(m_documents->NewPrivateDocument(KelvBSTR("SDDocuments.Atomistic3dDocument").Get(), noData.Get(),
                                                      copy.Receive()));
                Kelv::CheckNullDereference(copy.get());
                Check(copy->CopyModelFrom(structure.get()));
                KelvComPtr<ISBScope> copyContents;
                Check(copy->get_ContentsAsScope(copyContents.Receive()));
                if (FAILED(m_scopeUtility->ConvertToPrimitive(copyContents.get())))
                    throw KelvResult(E_UNEXPECTED,
                                     "Could not convert system from conventional to primitive representation.");
                m_documentRoot = copy;
            } else {
                m_documentRoot = structure;
            }
            // Each structure's atom lines carry the fixing flags of its own
            // atoms.
            m_fixedAxisMasks.clear();
            CollectFixedAxisFlags(Contents());

            const auto name = names.find(structure.get());
            const std::string shown = name == names.end() ? std::string() : name->second;
            deck << "name \"" << ZelmDeckLines::DeckText(shown, "fit observable structure name", true) << "\"";
            WriteStructure(deck);
            deck.precision(6);
            deck.width(8);
            deck << observables.WriteObservables(structure.get());
        }
    } catch (...) {
        m_documentRoot = requestDocument;
        m_fixedAxisMasks = requestMasks;
        throw;
    }
    m_documentRoot = requestDocument;
    m_fixedAxisMasks = requestMasks;
}
