// A forcefield: atom types and the interactions between them.
#pragma once

#include <list>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <boost/container/small_vector.hpp>
#include <boost/shared_ptr.hpp>

#include "qorff/AtomType.h"
#include "qorff/Interaction.h"
#include "qorff/ServerDescription.h"

// Ownership: atom types and interactions are held by boost::shared_ptr, and
// the forcefield keeps its server description alive when that description is
// itself held by a boost::shared_ptr. Whoever takes a handle (the *Ptr
// accessors) keeps the object valid after it leaves the forcefield or the
// forcefield ends; the references returned by the other accessors are valid
// while the object is in the forcefield.
//
// An interaction is identified by its interaction type, its functional form
// (keyword or display name), its atom types and its id. The atom types of an
// interaction are kept in the canonical order of its type
// (CInteractionType::GetCanonicalOrdering over the atom types' ids); lists of
// atom-type names given to the operations below may come in any order and
// are put into canonical order first. Unknown names (atom types, interaction
// types, forms, ids) and an atom-type list whose length differs from the
// type's number of atoms throw KelvResult (E_UNEXPECTED); nothing returns
// null.
//
// The interactions are indexed by their type, form and canonical atom types:
// adding, finding and removing one takes logarithmic time in the number of
// interactions, and an atom type is found by its name in constant time (the
// name index follows renames of atom types). An interaction's id is the
// forcefield's: an id changed with CInteraction::SetId after the interaction
// was added is not seen by the index.
class CForcefield {
public:
    // Functional-form line (with its line break) to the interaction lines
    // under it (each with its line break), ordered by the form line.
    using InteractionMap = std::map<std::string, std::list<std::string>>;

    struct InteractionEntry {
        boost::shared_ptr<CInteractionType> type;
        std::vector<AtomTypePtr> atomTypes;  // canonical order
        InteractionPtr interaction;
    };
    // In order of addition.
    using InteractionEntryList = std::list<InteractionEntry>;

    CForcefield(const std::string& path, const CServerDescription& serverDescription);
    CForcefield(const CForcefield&) = delete;
    CForcefield& operator=(const CForcefield&) = delete;
    virtual ~CForcefield();

    // A name that CheckAtomTypeName refuses throws.
    virtual CAtomType& AddAtomType(const std::string& name, double charge);
    // Removes the atom type and every interaction that names it.
    virtual void RemoveAtomType(const std::string& name);
    virtual CAtomType& GetAtomType(const std::string& name) const;
    // In order of addition.
    virtual std::list<std::string> GetAtomTypeNames() const;
    virtual std::list<const CAtomType*> GetAtomTypes() const;
    // Display names of the type's forms that have (6) or have not (7) an
    // interaction between these atom types, in the type's registration order.
    virtual std::list<std::string> GetInteractionNamesOfType(const std::string& type,
                                                             const std::list<std::string>& atomTypes) const;
    virtual std::list<std::string> GetUnusedInteractionsOfType(const std::string& type,
                                                               const std::list<std::string>& atomTypes) const;
    // The interactions of the type between these atom types, in order of
    // addition.
    virtual std::vector<InteractionPtr> GetInteractions(const std::string& type,
                                                        const std::list<std::string>& atomTypes) const;
    virtual CInteraction& GetInteraction(const std::string& type, const std::string& form,
                                         const std::list<std::string>& atomTypes, int id) const;
    // Adds a copy of the interaction between the atom types; its type is the
    // one that registers its form. The copy gets the lowest id not yet used
    // by an interaction of the same form between the same atom types (an id
    // freed by a removal is given again).
    virtual CInteraction& AddInteraction(const CInteraction& interaction,
                                         const std::list<std::string>& atomTypes);
    // Adds a new interaction of the form at its defaults.
    virtual CInteraction& AddInteraction(const std::string& type, const std::string& form,
                                         const std::list<std::string>& atomTypes);
    virtual void RemoveInteraction(const std::string& type, const std::string& form,
                                   const std::list<std::string>& atomTypes, int id);
    virtual const std::string& GetDescription() const;
    virtual void SetDescription(const std::string& description);
    // The server description's answer for the form keyword.
    virtual const std::string& GetTypeOfFunctionalForm(const std::string& form) const;
    virtual void WriteLibrary(std::ostream& stream) const = 0;
    virtual void ReadLibrary(const std::string& path) = 0;

    const CServerDescription& GetServerDescription() const { return *m_serverDescription; }
    const std::string& GetPath() const { return m_path; }
    bool HasAtomType(const std::string& name) const;

    // Gives one of this forcefield's atom types a new name, once
    // CheckAtomTypeName accepts it; its own name again changes nothing. An
    // atom type that is no longer in the forcefield throws KelvResult
    // (E_UNEXPECTED).
    void RenameAtomType(const CAtomType& atomType, const std::string& newName);
    // Refuses, with KelvResult (E_UNEXPECTED), a name that a new or renamed
    // atom type may not take: this base refuses an empty name and a name
    // that an atom type of the forcefield has. A derived forcefield adds the
    // rules of its file format.
    virtual void CheckAtomTypeName(const std::string& name) const;

    // Every interaction as library text: the key is the interaction's
    // functional-form line; each line is the names of its atom types (in
    // canonical order, separated by one blank), one blank and the form's
    // interaction line. Lines under one key keep the order of addition.
    InteractionMap GetAllInteractions() const;

    // Clears the to-be-fitted state of every parameter of every interaction.
    void MarkAllParametersNoFit();

    AtomTypePtr GetAtomTypePtr(const std::string& name) const;
    InteractionPtr GetInteractionPtr(const std::string& type, const std::string& form,
                                     const std::list<std::string>& atomTypes, int id) const;
    const InteractionEntryList& GetInteractionEntries() const { return m_interactions; }

protected:
    // Adds the interaction itself, not a copy, as AddInteraction adds one: a
    // reader that made it hands it over, so that a big library is not held
    // twice while it loads. The caller changes it no more.
    CInteraction& AdoptInteraction(const InteractionPtr& interaction, const std::list<std::string>& atomTypes);

private:
    // The atom types' ids of an interaction, in canonical order; held in
    // place for up to four atom types.
    using AtomTypeIds = boost::container::small_vector<unsigned, 4>;
    // Which interaction an index entry stands for: its type, its canonical
    // atom types, its form and its id, ordered in that order, so that the
    // interactions of one type between the same atom types are neighbours,
    // and so are those of one form among them.
    struct IndexKey {
        const CInteractionType* type;
        AtomTypeIds ids;
        const CFunctionalForm* form;
        int id;
    };
    struct KeyLess {
        bool operator()(const IndexKey& a, const IndexKey& b) const;
    };
    // The same order without the id: the interactions of one form between
    // the same atom types (a group).
    struct GroupLess {
        bool operator()(const IndexKey& a, const IndexKey& b) const;
    };
    // An interaction's place in the list and its rank in the order of
    // addition.
    struct Held {
        InteractionEntryList::iterator entry;
        unsigned long long rank;
    };
    using Index = std::map<IndexKey, Held, KeyLess>;

    // Atom types by name, built again after any rename; with two atom types
    // of one name, the first added.
    const std::unordered_map<std::string, AtomTypePtr>& AtomTypesByName() const;
    std::vector<AtomTypePtr> CanonicalAtomTypes(const CInteractionType& type,
                                                const std::list<std::string>& atomTypes) const;
    static IndexKey KeyOf(const CInteractionType& type, const std::vector<AtomTypePtr>& atomTypes,
                          const CFunctionalForm* form, int id);
    // The first index entry of the group of `key` (its id ignored), or the
    // end when the group is empty.
    Index::const_iterator FindGroup(const IndexKey& key) const;
    const InteractionEntry& FindEntry(const std::string& type, const std::string& form,
                                      const std::list<std::string>& atomTypes, int id) const;
    CInteraction& Insert(const boost::shared_ptr<CInteractionType>& type, std::vector<AtomTypePtr> atomTypes,
                         const InteractionPtr& interaction);

    std::string m_path;
    const CServerDescription* m_serverDescription;
    boost::shared_ptr<const CServerDescription> m_serverDescriptionHold;
    std::string m_description;
    std::vector<AtomTypePtr> m_atomTypes;
    mutable std::unordered_map<std::string, AtomTypePtr> m_atomTypesByName;
    mutable unsigned long long m_atomTypesNamedAt = 0;  // CNameableObject::RenameCount()
    unsigned m_nextAtomTypeId = 0;
    InteractionEntryList m_interactions;
    // One entry per interaction.
    Index m_index;
    // The ids below the highest id of a group that no interaction of the
    // group holds (freed by removals), kept for the groups that have any:
    // the lowest of them is the id the next interaction of the group gets,
    // else the one above the highest.
    std::map<IndexKey, std::set<int>, GroupLess> m_freeIds;
    unsigned long long m_nextRank = 0;
};

using ForcefieldPtr = boost::shared_ptr<CForcefield>;
