// The experimental observables of a fitting run: seven parallel arrays in
// the state of the logic "ObservableData" of "QorZelm.Extension", one entry
// per observable row. The deck writer asks which structures have rows in
// use, under which names, and writes each structure's "observable" block.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorvira/StateHelper.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CZelmObservableInfo
{
public:
    // Reads the rows from the "ObservableData" state; each structure
    // identifier is looked up among the project's documents (null when
    // none). Arrays of unequal length: KelvResult E_UNEXPECTED naming the
    // shorter array.
    explicit CZelmObservableInfo(const KelvComPtr<ISBContainerRoot>& root);
    virtual ~CZelmObservableInfo();

    CZelmObservableInfo(const CZelmObservableInfo&) = delete;
    CZelmObservableInfo& operator=(const CZelmObservableInfo&) = delete;

    // The distinct structures with at least one row in use, in the order of
    // their first such row. A row whose identifier names no document gives a
    // null entry (see CheckUsedStructuresFound).
    std::vector<KelvComPtr<ISBDocumentRoot>> GetUsedStructures() const;
    // Structure -> name: the name of the last row in use of the structure.
    std::map<ISBDocumentRoot*, std::string> GetUsedStructureNames() const;
    // What refuses the rows in use before a deck is written, each a
    // KelvResult E_UNEXPECTED naming the row's structure name and
    // identifier: an identifier that names no document, a document that is
    // no structure (a chart), a kind the block has no keyword for, a
    // piezoelectric second index above 3; and a structure name that no deck's
    // name line can hold (a line break, a control character, a double quote):
    // ZelmDeckLines::DeckText's refusal.
    void CheckUsedStructuresFound() const;
    // The "observable" block of the structure: its rows in use, in row order.
    // A kind outside 1 to 11: E_UNEXPECTED "Observable not recognized"; a
    // piezoelectric second index above 3: E_UNEXPECTED "Piezoelectric 2nd
    // index out of range".
    std::string WriteObservables(ISBDocumentRoot* structure) const;

    std::size_t RowCount() const { return m_structures.size(); }

private:
    void LoadRows();
    // Whether the document holds an atomistic model (a chart does not).
    bool IsStructureDocument(const KelvComPtr<ISBDocumentRoot>& document) const;

    KelvComPtr<ISBContainerRoot> m_root;
    std::vector<KelvComPtr<ISBDocumentRoot>> m_structures;
    std::vector<std::string> m_structureIds;
    std::vector<std::string> m_structureNames;
    std::vector<LONG> m_observables;
    std::vector<LONG> m_firstIndices;
    std::vector<LONG> m_secondIndices;
    std::vector<double> m_values;
    std::vector<bool> m_used;
    std::unique_ptr<CStateHelper> m_state;
};
