#include "qorff/Forcefield.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <sstream>

#include "kelv/kelv.h"

namespace {

std::string JoinNames(const std::list<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty())
            text += ", ";
        text += "\"" + name + "\"";
    }
    return text;
}

}  // namespace

CForcefield::CForcefield(const std::string& path, const CServerDescription& serverDescription)
    : m_path(path), m_serverDescription(&serverDescription)
{
    // Keep the description alive with us when it is shared.
    m_serverDescriptionHold = serverDescription.weak_from_this().lock();
    m_atomTypesNamedAt = CNameableObject::RenameCount();
}

CForcefield::~CForcefield() = default;

CAtomType& CForcefield::AddAtomType(const std::string& name, double charge)
{
    CheckAtomTypeName(name);
    AtomTypePtr atomType(new CAtomType(name, charge, std::string(), m_nextAtomTypeId++));
    m_atomTypes.push_back(atomType);
    m_atomTypesByName.emplace(name, atomType);
    return *atomType;
}

const std::unordered_map<std::string, AtomTypePtr>& CForcefield::AtomTypesByName() const
{
    const unsigned long long renames = CNameableObject::RenameCount();
    if (renames != m_atomTypesNamedAt) {
        m_atomTypesByName.clear();
        for (const AtomTypePtr& atomType : m_atomTypes)
            m_atomTypesByName.emplace(atomType->GetName(), atomType);
        m_atomTypesNamedAt = renames;
    }
    return m_atomTypesByName;
}

void CForcefield::CheckAtomTypeName(const std::string& name) const
{
    if (name.empty())
        throw KelvResult(E_UNEXPECTED, "An atom type needs a name.");
    if (HasAtomType(name))
        throw KelvResult(E_UNEXPECTED, "The atom type \"" + name + "\" already exists.");
}

void CForcefield::RenameAtomType(const CAtomType& atomType, const std::string& newName)
{
    const auto found = std::find_if(m_atomTypes.begin(), m_atomTypes.end(),
                                    [&](const AtomTypePtr& held) { return held.get() == &atomType; });
    if (found == m_atomTypes.end())
        throw KelvResult(E_UNEXPECTED, "The atom type \"" + atomType.GetName() + "\" is no longer in the forcefield.");
    if (newName == atomType.GetName())
        return;
    CheckAtomTypeName(newName);
    (*found)->SetName(newName);
}

void CForcefield::RemoveAtomType(const std::string& name)
{
    const AtomTypePtr atomType = GetAtomTypePtr(name);
    const auto names = [&](const std::vector<AtomTypePtr>& atomTypes) {
        return std::find(atomTypes.begin(), atomTypes.end(), atomType) != atomTypes.end();
    };
    m_interactions.remove_if([&](const InteractionEntry& entry) { return names(entry.atomTypes); });
    // Every interaction between atom types that include this one is gone, so
    // are the indexes of those atom types.
    const auto joins = [&](const IndexKey& key) {
        return std::find(key.ids.begin(), key.ids.end(), atomType->GetId()) != key.ids.end();
    };
    for (auto held = m_index.begin(); held != m_index.end();)
        held = joins(held->first) ? m_index.erase(held) : std::next(held);
    for (auto group = m_freeIds.begin(); group != m_freeIds.end();)
        group = joins(group->first) ? m_freeIds.erase(group) : std::next(group);
    m_atomTypes.erase(std::find(m_atomTypes.begin(), m_atomTypes.end(), atomType));
    // Another atom type may have the same name (after a rename).
    m_atomTypesByName.erase(name);
    for (const AtomTypePtr& other : m_atomTypes) {
        if (other->GetName() == name) {
            m_atomTypesByName.emplace(name, other);
            break;
        }
    }
}

AtomTypePtr CForcefield::GetAtomTypePtr(const std::string& name) const
{
    const auto& byName = AtomTypesByName();
    const auto found = byName.find(name);
    if (found != byName.end())
        return found->second;
    throw KelvResult(E_UNEXPECTED, "Unknown atom type \"" + name + "\"");
}

CAtomType& CForcefield::GetAtomType(const std::string& name) const
{
    return *GetAtomTypePtr(name);
}

bool CForcefield::HasAtomType(const std::string& name) const
{
    return AtomTypesByName().count(name) != 0;
}

std::list<std::string> CForcefield::GetAtomTypeNames() const
{
    std::list<std::string> names;
    for (const AtomTypePtr& atomType : m_atomTypes)
        names.push_back(atomType->GetName());
    return names;
}

std::list<const CAtomType*> CForcefield::GetAtomTypes() const
{
    std::list<const CAtomType*> atomTypes;
    for (const AtomTypePtr& atomType : m_atomTypes)
        atomTypes.push_back(atomType.get());
    return atomTypes;
}

std::vector<AtomTypePtr> CForcefield::CanonicalAtomTypes(const CInteractionType& type,
                                                         const std::list<std::string>& atomTypes) const
{
    if (atomTypes.size() != static_cast<std::size_t>(std::max(0, type.GetNumberOfAtoms()))) {
        std::ostringstream message;
        message << "An interaction of the type \"" << type.GetName() << "\" joins " << type.GetNumberOfAtoms()
                << " atom types, not " << atomTypes.size() << " (" << JoinNames(atomTypes) << ").";
        throw KelvResult(E_UNEXPECTED, message.str());
    }
    std::vector<AtomTypePtr> given;
    given.reserve(atomTypes.size());
    std::list<unsigned> ids;
    for (const std::string& name : atomTypes) {
        given.push_back(GetAtomTypePtr(name));
        ids.push_back(given.back()->GetId());
    }
    const std::list<unsigned> ordered = type.GetCanonicalOrdering(ids);

    // The ordering must be a rearrangement of the atom types given: each one
    // taken from `given` is cleared there.
    std::vector<AtomTypePtr> result;
    result.reserve(given.size());
    for (unsigned id : ordered) {
        const auto found = std::find_if(given.begin(), given.end(), [id](const AtomTypePtr& atomType) {
            return atomType && atomType->GetId() == id;
        });
        if (found == given.end())
            break;
        result.push_back(std::move(*found));
        found->reset();
    }
    if (result.size() != atomTypes.size())
        throw KelvResult(E_UNEXPECTED, "The interaction type \"" + type.GetName() +
                                           "\" gave no valid order of the atom types " + JoinNames(atomTypes) + ".");
    return result;
}

bool CForcefield::GroupLess::operator()(const IndexKey& a, const IndexKey& b) const
{
    const std::less<const void*> before;
    if (a.type != b.type)
        return before(a.type, b.type);
    if (a.ids != b.ids)
        return a.ids < b.ids;
    return before(a.form, b.form);
}

bool CForcefield::KeyLess::operator()(const IndexKey& a, const IndexKey& b) const
{
    const GroupLess group;
    if (group(a, b))
        return true;
    if (group(b, a))
        return false;
    return a.id < b.id;
}

CForcefield::IndexKey CForcefield::KeyOf(const CInteractionType& type, const std::vector<AtomTypePtr>& atomTypes,
                                         const CFunctionalForm* form, int id)
{
    IndexKey key{&type, {}, form, id};
    for (const AtomTypePtr& atomType : atomTypes)
        key.ids.push_back(atomType->GetId());
    return key;
}

CForcefield::Index::const_iterator CForcefield::FindGroup(const IndexKey& key) const
{
    IndexKey first = key;
    first.id = std::numeric_limits<int>::min();
    const auto found = m_index.lower_bound(first);
    if (found == m_index.end() || GroupLess()(key, found->first))
        return m_index.end();
    return found;
}

std::list<std::string> CForcefield::GetInteractionNamesOfType(const std::string& type,
                                                              const std::list<std::string>& atomTypes) const
{
    const InteractionTypePtr interactionType = m_serverDescription->GetInteractionType(type);
    IndexKey key = KeyOf(*interactionType, CanonicalAtomTypes(*interactionType, atomTypes), nullptr, 0);
    std::list<std::string> names;
    for (const FunctionalFormPtr& form : interactionType->GetFunctionalForms()) {
        key.form = form.get();
        if (FindGroup(key) != m_index.end())
            names.push_back(form->GetName());
    }
    return names;
}

std::list<std::string> CForcefield::GetUnusedInteractionsOfType(const std::string& type,
                                                                const std::list<std::string>& atomTypes) const
{
    const InteractionTypePtr interactionType = m_serverDescription->GetInteractionType(type);
    const std::list<std::string> used = GetInteractionNamesOfType(type, atomTypes);
    std::list<std::string> names;
    for (const std::string& name : interactionType->GetFunctionalFormNames()) {
        if (std::find(used.begin(), used.end(), name) == used.end())
            names.push_back(name);
    }
    return names;
}

std::vector<InteractionPtr> CForcefield::GetInteractions(const std::string& type,
                                                         const std::list<std::string>& atomTypes) const
{
    const InteractionTypePtr interactionType = m_serverDescription->GetInteractionType(type);
    const IndexKey key = KeyOf(*interactionType, CanonicalAtomTypes(*interactionType, atomTypes), nullptr,
                               std::numeric_limits<int>::min());
    // Every form's interactions (the neighbours from the lowest form on),
    // put back into the order of addition.
    std::vector<const Held*> byRank;
    for (auto held = m_index.lower_bound(key);
         held != m_index.end() && held->first.type == key.type && held->first.ids == key.ids; ++held)
        byRank.push_back(&held->second);
    std::sort(byRank.begin(), byRank.end(), [](const Held* a, const Held* b) { return a->rank < b->rank; });
    std::vector<InteractionPtr> found;
    found.reserve(byRank.size());
    for (const Held* held : byRank)
        found.push_back(held->entry->interaction);
    return found;
}

const CForcefield::InteractionEntry& CForcefield::FindEntry(const std::string& type, const std::string& form,
                                                            const std::list<std::string>& atomTypes, int id) const
{
    const InteractionTypePtr interactionType = m_serverDescription->GetInteractionType(type);
    const FunctionalFormPtr functionalForm = interactionType->GetFunctionalForm(form);
    const auto held =
        m_index.find(KeyOf(*interactionType, CanonicalAtomTypes(*interactionType, atomTypes), functionalForm.get(), id));
    if (held != m_index.end())
        return *held->second.entry;
    std::ostringstream message;
    message << "No interaction \"" << form << "\" of the type \"" << type << "\" with the id " << id
            << " between " << JoinNames(atomTypes) << ".";
    throw KelvResult(E_UNEXPECTED, message.str());
}

CInteraction& CForcefield::GetInteraction(const std::string& type, const std::string& form,
                                          const std::list<std::string>& atomTypes, int id) const
{
    return *FindEntry(type, form, atomTypes, id).interaction;
}

InteractionPtr CForcefield::GetInteractionPtr(const std::string& type, const std::string& form,
                                              const std::list<std::string>& atomTypes, int id) const
{
    return FindEntry(type, form, atomTypes, id).interaction;
}

CInteraction& CForcefield::Insert(const InteractionTypePtr& type, std::vector<AtomTypePtr> atomTypes,
                                  const InteractionPtr& interaction)
{
    IndexKey key = KeyOf(*type, atomTypes, interaction->GetFunctionalForm().get(), 0);
    // The lowest id no interaction of the same form between the same atom
    // types holds: a freed one, else the one above the highest.
    const auto freed = m_freeIds.find(key);
    if (freed != m_freeIds.end()) {
        key.id = *freed->second.begin();
        freed->second.erase(freed->second.begin());
        if (freed->second.empty())
            m_freeIds.erase(freed);
    } else {
        IndexKey last = key;
        last.id = std::numeric_limits<int>::max();
        auto after = m_index.upper_bound(last);
        if (after != m_index.begin() && !GroupLess()(std::prev(after)->first, key))
            key.id = std::prev(after)->first.id + 1;
    }
    interaction->SetId(key.id);
    m_interactions.push_back(InteractionEntry{type, std::move(atomTypes), interaction});
    m_index.emplace(std::move(key), Held{std::prev(m_interactions.end()), m_nextRank++});
    return *interaction;
}

CInteraction& CForcefield::AddInteraction(const CInteraction& interaction, const std::list<std::string>& atomTypes)
{
    return AdoptInteraction(InteractionPtr(new CInteraction(interaction)), atomTypes);
}

CInteraction& CForcefield::AdoptInteraction(const InteractionPtr& interaction, const std::list<std::string>& atomTypes)
{
    const FunctionalFormPtr& form = interaction->GetFunctionalForm();
    InteractionTypePtr type = m_serverDescription->FindTypeOfForm(*form);
    if (!type)
        throw KelvResult(E_UNEXPECTED, "The functional form \"" + form->GetKeyword() +
                                           "\" is not registered with the server \"" +
                                           m_serverDescription->GetName() + "\".");
    std::vector<AtomTypePtr> canonical = CanonicalAtomTypes(*type, atomTypes);
    return Insert(type, std::move(canonical), interaction);
}

CInteraction& CForcefield::AddInteraction(const std::string& type, const std::string& form,
                                          const std::list<std::string>& atomTypes)
{
    const InteractionTypePtr interactionType = m_serverDescription->GetInteractionType(type);
    const FunctionalFormPtr functionalForm = interactionType->GetFunctionalForm(form);
    std::vector<AtomTypePtr> canonical = CanonicalAtomTypes(*interactionType, atomTypes);
    return Insert(interactionType, std::move(canonical), InteractionPtr(new CInteraction(functionalForm)));
}

void CForcefield::RemoveInteraction(const std::string& type, const std::string& form,
                                    const std::list<std::string>& atomTypes, int id)
{
    const InteractionEntry& entry = FindEntry(type, form, atomTypes, id);
    const auto held =
        m_index.find(KeyOf(*entry.type, entry.atomTypes, entry.interaction->GetFunctionalForm().get(), id));
    const IndexKey key = held->first;
    m_interactions.erase(held->second.entry);
    const auto next = m_index.erase(held);
    const bool highest = next == m_index.end() || GroupLess()(key, next->first);
    if (!highest) {
        m_freeIds[key].insert(id);
        return;
    }
    // The highest id of the group is gone: the freed ids above the new
    // highest are above it no more (and a group left empty starts again
    // at 0).
    const auto freed = m_freeIds.find(key);
    if (freed == m_freeIds.end())
        return;
    const auto group = FindGroup(key);
    if (group == m_index.end()) {
        m_freeIds.erase(freed);
        return;
    }
    const int newHighest = std::prev(next)->first.id;
    freed->second.erase(freed->second.upper_bound(newHighest), freed->second.end());
    if (freed->second.empty())
        m_freeIds.erase(freed);
}

const std::string& CForcefield::GetDescription() const
{
    return m_description;
}

void CForcefield::SetDescription(const std::string& description)
{
    m_description = description;
}

const std::string& CForcefield::GetTypeOfFunctionalForm(const std::string& form) const
{
    return m_serverDescription->GetTypeOfFunctionalForm(form);
}

CForcefield::InteractionMap CForcefield::GetAllInteractions() const
{
    InteractionMap all;
    for (const InteractionEntry& entry : m_interactions) {
        std::string line;
        for (const AtomTypePtr& atomType : entry.atomTypes)
            line += atomType->GetName() + " ";
        line += entry.interaction->WriteInteractionLine();
        all[entry.interaction->WriteFunctionalFormLine()].push_back(line);
    }
    return all;
}

void CForcefield::MarkAllParametersNoFit()
{
    for (const InteractionEntry& entry : m_interactions)
        entry.interaction->MarkAllParametersNoFit();
}
