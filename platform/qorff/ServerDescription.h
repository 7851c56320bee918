// What a simulation server's forcefields can hold: its interaction types
// with their functional forms.
#pragma once

#include <list>
#include <string>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include "qorff/InteractionType.h"
#include "qorff/ObjectWithName.h"

// Keyword lookups (GetTypeOfFunctionalForm, HasFunctionalForm,
// GetFunctionalFormFullName, ResolveFunctionalFormKeyword) of this base
// compare a word with the registered form keywords exactly, or without
// regard to ASCII letter case when the description was built with
// ignoreKeywordCase true. A server description is normally held by
// boost::shared_ptr (the editor does so); forcefields built over it then
// keep it alive.
class CServerDescription : public CObjectWithName,
                           public boost::enable_shared_from_this<CServerDescription> {
public:
    CServerDescription(const std::string& serverName, bool ignoreKeywordCase);
    ~CServerDescription() override;

    // Name of the interaction type that registers the form; throws
    // KelvResult (E_UNEXPECTED) for an unknown keyword.
    virtual const std::string& GetTypeOfFunctionalForm(const std::string& keyword) const;
    virtual bool HasFunctionalForm(const std::string& keyword) const;
    // Display name of the form; throws KelvResult (E_UNEXPECTED) for an
    // unknown keyword.
    virtual const std::string& GetFunctionalFormFullName(const std::string& keyword) const;
    // Whether the server can fit forcefield parameters; this base: false.
    virtual bool CanFit() const;
    // The registered keyword that the word stands for; this base accepts
    // registered keywords only. False leaves `resolved` untouched.
    virtual bool ResolveFunctionalFormKeyword(const std::string& word, std::string& resolved) const;

    // Registers a type (kept in registration order). A null type or a
    // second type of the same name throws KelvResult (E_UNEXPECTED).
    void AddInteractionType(const boost::shared_ptr<CInteractionType>& type);
    // Throws KelvResult (E_UNEXPECTED) for an unknown name; never null.
    boost::shared_ptr<CInteractionType> GetInteractionType(const std::string& name) const;
    bool HasInteractionType(const std::string& name) const;
    std::list<std::string> GetInteractionTypeNames() const;
    const std::vector<boost::shared_ptr<CInteractionType>>& GetInteractionTypes() const { return m_types; }

    // The type that holds this very form object, or null.
    boost::shared_ptr<CInteractionType> FindTypeOfForm(const CFunctionalForm& form) const;

    const std::string& GetServerName() const { return GetName(); }
    bool IgnoresKeywordCase() const { return m_ignoreCase; }

private:
    struct FormEntry {
        const CInteractionType* type;
        const CFunctionalForm* form;
    };
    bool FindForm(const std::string& keyword, FormEntry& entry) const;

    bool m_ignoreCase;
    std::vector<boost::shared_ptr<CInteractionType>> m_types;
};

using ServerDescriptionPtr = boost::shared_ptr<CServerDescription>;
