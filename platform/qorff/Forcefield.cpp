#include "qorff/Forcefield.h"

#include <algorithm>
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
}

CForcefield::~CForcefield() = default;

CAtomType& CForcefield::AddAtomType(const std::string& name, double charge)
{
    CheckAtomTypeName(name);
    AtomTypePtr atomType(new CAtomType(name, charge, std::string(), m_nextAtomTypeId++));
    m_atomTypes.push_back(atomType);
    return *atomType;
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
    m_interactions.erase(std::remove_if(m_interactions.begin(), m_interactions.end(),
                                        [&](const InteractionEntry& entry) {
                                            return std::find(entry.atomTypes.begin(), entry.atomTypes.end(),
                                                             atomType) != entry.atomTypes.end();
                                        }),
                         m_interactions.end());
    m_atomTypes.erase(std::find(m_atomTypes.begin(), m_atomTypes.end(), atomType));
}

AtomTypePtr CForcefield::GetAtomTypePtr(const std::string& name) const
{
    for (const AtomTypePtr& atomType : m_atomTypes) {
        if (atomType->GetName() == name)
            return atomType;
    }
    throw KelvResult(E_UNEXPECTED, "Unknown atom type \"" + name + "\"");
}

CAtomType& CForcefield::GetAtomType(const std::string& name) const
{
    return *GetAtomTypePtr(name);
}

bool CForcefield::HasAtomType(const std::string& name) const
{
    return std::any_of(m_atomTypes.begin(), m_atomTypes.end(),
                       [&](const AtomTypePtr& atomType) { return atomType->GetName() == name; });
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
    std::list<unsigned> ids;
    for (const std::string& name : atomTypes) {
        given.push_back(GetAtomTypePtr(name));
        ids.push_back(given.back()->GetId());
    }
    const std::list<unsigned> ordered = type.GetCanonicalOrdering(ids);

    // The ordering must be a rearrangement of the atom types given.
    std::vector<AtomTypePtr> result;
    std::vector<AtomTypePtr> left = given;
    for (unsigned id : ordered) {
        const auto found = std::find_if(left.begin(), left.end(),
                                        [id](const AtomTypePtr& atomType) { return atomType->GetId() == id; });
        if (found == left.end())
            break;
        result.push_back(*found);
        left.erase(found);
    }
    if (!left.empty() || result.size() != given.size())
        throw KelvResult(E_UNEXPECTED, "The interaction type \"" + type.GetName() +
                                           "\" gave no valid order of the atom types " + JoinNames(atomTypes) + ".");
    return result;
}

std::list<std::string> CForcefield::GetInteractionNamesOfType(const std::string& type,
                                                              const std::list<std::string>& atomTypes) const
{
    const InteractionTypePtr interactionType = m_serverDescription->GetInteractionType(type);
    const std::vector<AtomTypePtr> canonical = CanonicalAtomTypes(*interactionType, atomTypes);
    std::list<std::string> names;
    for (const FunctionalFormPtr& form : interactionType->GetFunctionalForms()) {
        const bool used = std::any_of(m_interactions.begin(), m_interactions.end(), [&](const InteractionEntry& entry) {
            return entry.type == interactionType && entry.atomTypes == canonical &&
                   entry.interaction->GetFunctionalForm() == form;
        });
        if (used)
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
    const std::vector<AtomTypePtr> canonical = CanonicalAtomTypes(*interactionType, atomTypes);
    std::vector<InteractionPtr> found;
    for (const InteractionEntry& entry : m_interactions) {
        if (entry.type == interactionType && entry.atomTypes == canonical)
            found.push_back(entry.interaction);
    }
    return found;
}

const CForcefield::InteractionEntry& CForcefield::FindEntry(const std::string& type, const std::string& form,
                                                            const std::list<std::string>& atomTypes, int id) const
{
    const InteractionTypePtr interactionType = m_serverDescription->GetInteractionType(type);
    const FunctionalFormPtr functionalForm = interactionType->GetFunctionalForm(form);
    const std::vector<AtomTypePtr> canonical = CanonicalAtomTypes(*interactionType, atomTypes);
    for (const InteractionEntry& entry : m_interactions) {
        if (entry.type == interactionType && entry.atomTypes == canonical &&
            entry.interaction->GetFunctionalForm() == functionalForm && entry.interaction->GetId() == id)
            return entry;
    }
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
    int id = 0;
    for (bool taken = true; taken; ++id) {
        taken = std::any_of(m_interactions.begin(), m_interactions.end(), [&](const InteractionEntry& entry) {
            return entry.type == type && entry.atomTypes == atomTypes &&
                   entry.interaction->GetFunctionalForm() == interaction->GetFunctionalForm() &&
                   entry.interaction->GetId() == id;
        });
        if (!taken)
            break;
    }
    interaction->SetId(id);
    m_interactions.push_back(InteractionEntry{type, std::move(atomTypes), interaction});
    return *interaction;
}

CInteraction& CForcefield::AddInteraction(const CInteraction& interaction, const std::list<std::string>& atomTypes)
{
    const FunctionalFormPtr& form = interaction.GetFunctionalForm();
    InteractionTypePtr type = m_serverDescription->FindTypeOfForm(*form);
    if (!type)
        throw KelvResult(E_UNEXPECTED, "The functional form \"" + form->GetKeyword() +
                                           "\" is not registered with the server \"" +
                                           m_serverDescription->GetName() + "\".");
    std::vector<AtomTypePtr> canonical = CanonicalAtomTypes(*type, atomTypes);
    return Insert(type, std::move(canonical), InteractionPtr(new CInteraction(interaction)));
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
    const InteractionPtr interaction = entry.interaction;
    m_interactions.erase(std::find_if(m_interactions.begin(), m_interactions.end(),
                                      [&](const InteractionEntry& e) { return e.interaction == interaction; }));
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
