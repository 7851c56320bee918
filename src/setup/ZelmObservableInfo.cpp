#include "setup/ZelmObservableInfo.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/AppUtilsDocument.h"
#include "qorqm/MessageText.h"
#include "setup/DeckLines.h"

#include <algorithm>
#include <sstream>
#include <utility>

namespace {

// Keyword line of each observable kind that has one (kind 1 writes nothing).
const char* KeywordOf(LONG kind)
{
    switch (kind) {
    case 2: return "bulk_modulus";
    case 3: return "shear_modulus";
    case 4: return "energy_of_configuration";
    case 5: return "frequency";
    case 6: return "srefractive ";
    case 7: return "hfrefractive ";
    case 8: return "piezoelectric";
    case 9: return "sdlc";
    case 10: return "hfdlc";
    case 11: return "elastic";
    default: return nullptr;
    }
}

const char* const kObservableNotRecognized = "Observable not recognized";
const char* const kPiezoelectricIndex = "Piezoelectric 2nd index out of range";

} // namespace

CZelmObservableInfo::CZelmObservableInfo(const KelvComPtr<ISBContainerRoot>& root)
    : m_root(root),
      m_state(CStateHelper::CreateStateHelper(root.get(), "QorZelm.Extension", "ObservableData"))
{
    LoadRows();
}

CZelmObservableInfo::~CZelmObservableInfo() = default;

void CZelmObservableInfo::LoadRows()
{
    m_state->GetStateArray("StructureIDArray", m_structureIds);
    m_structures.clear();
    for (const std::string& id : m_structureIds)
        m_structures.push_back(AppUtils::Container::FindDocumentRoot(id, m_root.get(), false));
    m_state->GetStateArray("StructureNameArray", m_structureNames);
    m_state->GetStateArray("ObservableArray", m_observables);
    m_state->GetStateArray("FirstIndexArray", m_firstIndices);
    m_state->GetStateArray("SecondIndexArray", m_secondIndices);
    m_state->GetStateArray("ValueArray", m_values);
    m_state->GetStateArray("UseObservable", m_used);

    // The user interface keeps the arrays of equal length; rows are never
    // read past the end of any of them.
    const std::pair<const char*, std::size_t> sizes[] = {
        {"StructureIDArray", m_structureIds.size()},   {"StructureNameArray", m_structureNames.size()},
        {"ObservableArray", m_observables.size()},     {"FirstIndexArray", m_firstIndices.size()},
        {"SecondIndexArray", m_secondIndices.size()}, {"ValueArray", m_values.size()},
        {"UseObservable", m_used.size()}};
    std::size_t longest = 0;
    for (const auto& entry : sizes)
        longest = std::max(longest, entry.second);
    for (const auto& entry : sizes) {
        if (entry.second < longest) {
            std::ostringstream message;
            message << "The observable data array \"" << entry.first << "\" holds " << entry.second
                    << " entries, fewer than the " << longest << " observable rows.";
            throw KelvResult(E_UNEXPECTED, message.str());
        }
    }
}

std::vector<KelvComPtr<ISBDocumentRoot>> CZelmObservableInfo::GetUsedStructures() const
{
    std::vector<KelvComPtr<ISBDocumentRoot>> used;
    for (std::size_t i = 0; i < m_structures.size(); ++i) {
        if (!m_used[i])
            continue;
        if (std::find(used.begin(), used.end(), m_structures[i]) == used.end())
            used.push_back(m_structures[i]);
    }
    return used;
}

std::map<ISBDocumentRoot*, std::string> CZelmObservableInfo::GetUsedStructureNames() const
{
    std::map<ISBDocumentRoot*, std::string> names;
    for (std::size_t i = 0; i < m_structures.size(); ++i)
        if (m_used[i])
            names[m_structures[i].get()] = m_structureNames[i];
    return names;
}

void CZelmObservableInfo::CheckUsedStructuresFound() const
{
    const auto named = [&](std::size_t i) {
        return "The observables name the structure \"" + MessageText::Excerpt(m_structureNames[i]) +
               "\" (document identifier \"" + MessageText::Excerpt(m_structureIds[i]) + "\")";
    };
    const auto row = [&](std::size_t i) {
        return "The observable row " + std::to_string(i + 1) + " (structure \"" +
               MessageText::Excerpt(m_structureNames[i]) + "\")";
    };
    for (std::size_t i = 0; i < m_structures.size(); ++i) {
        if (!m_used[i])
            continue;
        if (!m_structures[i])
            throw KelvResult(E_UNEXPECTED, named(i) + ", which is not in the project.");
        // The name is written between double quotes on the structure's
        // name line.
        ZelmDeckLines::DeckText(m_structureNames[i], "fit observable structure name", true);
        if (!IsStructureDocument(m_structures[i]))
            throw KelvResult(E_UNEXPECTED, named(i) + ", which is not a structure document: an observable "
                                                      "belongs to a 3D atomistic document (.qsd).");
        // The rules the block is written by, so that a row the deck cannot
        // hold is refused before anything is written.
        const LONG kind = m_observables[i];
        if (kind != 1 && !KeywordOf(kind))
            throw KelvResult(E_UNEXPECTED, row(i) + " has the kind " + std::to_string(kind) +
                                               ", which is not one of 1 to 11: " + kObservableNotRecognized + ".");
        if (kind == 8 && m_secondIndices[i] > 3)
            throw KelvResult(E_UNEXPECTED, row(i) + " has the piezoelectric second index " +
                                               std::to_string(m_secondIndices[i]) + ", which is above 3: " +
                                               kPiezoelectricIndex + ".");
    }
}

bool CZelmObservableInfo::IsStructureDocument(const KelvComPtr<ISBDocumentRoot>& document) const
{
    // A chart or a text document has no atomistic model to write.
    KelvComPtr<ISBScope> contents;
    const HRESULT hr = document->get_ContentsAsScope(contents.Receive());
    if (FAILED(hr) || !contents) {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) == S_OK && info)
            info->Release();
        return false;
    }
    const KelvComPtr<ISBScope> model =
        AppUtils::Document::ProcessScope(contents.get(), "DocumentRootCoercion:AtomisticSimpleModel3d", m_root.get());
    return AppUtils::Document::CountScopeObjects(model.get()) > 0;
}

std::string CZelmObservableInfo::WriteObservables(ISBDocumentRoot* structure) const
{
    std::ostringstream block;
    block << "observable" << "\n";
    for (std::size_t i = 0; i < m_structures.size(); ++i) {
        if (m_structures[i].get() != structure || !m_used[i])
            continue;
        const LONG kind = m_observables[i];
        if (kind == 1)
            continue;
        const char* keyword = KeywordOf(kind);
        if (!keyword)
            throw KelvResult(E_UNEXPECTED, kObservableNotRecognized);
        block << keyword << "\n";
        switch (kind) {
        case 2:
        case 3:
        case 4:
            break;
        case 5:
        case 6:
        case 7:
            block << m_firstIndices[i] << " ";
            break;
        case 8: {
            block << m_firstIndices[i] << " ";
            const LONG axis = m_secondIndices[i];
            if (axis > 3)
                throw KelvResult(E_UNEXPECTED, kPiezoelectricIndex);
            if (axis >= 1)
                block << "xyz"[axis - 1] << " ";
            break;
        }
        default:
            block << m_firstIndices[i] << " " << m_secondIndices[i] << " ";
            break;
        }
        block << m_values[i] << "\n";
    }
    block << "end" << "\n" << "\n";
    return block.str();
}
