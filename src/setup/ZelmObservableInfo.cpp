#include "setup/ZelmObservableInfo.h"

#include "appfw/AppUtilsContainer.h"
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
    for (std::size_t i = 0; i < m_structures.size(); ++i) {
        if (m_used[i] && !m_structures[i])
            throw KelvResult(E_UNEXPECTED, "The observables name the structure \"" + MessageText::Excerpt(m_structureNames[i]) +
                                               "\" (document identifier \"" + MessageText::Excerpt(m_structureIds[i]) +
                                               "\"), which is not in the project.");
        // The name is written between double quotes on the structure's
        // name line.
        if (m_used[i])
            ZelmDeckLines::DeckText(m_structureNames[i], "fit observable structure name", true);
    }
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
            throw KelvResult(E_UNEXPECTED, "Observable not recognized");
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
                throw KelvResult(E_UNEXPECTED, "Piezoelectric 2nd index out of range");
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
