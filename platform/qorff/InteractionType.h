// An interaction type: a named family of functional forms over a fixed
// number of atom types.
#pragma once

#include <list>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "qorff/FunctionalForm.h"
#include "qorff/ObjectWithName.h"

class CInteractionType : public CObjectWithName {
public:
    CInteractionType(const std::string& name, int numberOfAtoms);
    ~CInteractionType() override;

    // The canonical order of the identifiers of an interaction's atom types.
    // This base keeps the order given.
    virtual std::list<unsigned> GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const;

    // Registers a form (kept in registration order). A null form, or a form
    // whose keyword or display name is already registered here, throws
    // KelvResult (E_UNEXPECTED).
    void AddFunctionalForm(const boost::shared_ptr<CFunctionalForm>& form);

    // The form registered under that keyword or, failing that, that display
    // name (exact comparison). Throws KelvResult (E_UNEXPECTED) when there is
    // none; never returns null.
    boost::shared_ptr<CFunctionalForm> GetFunctionalForm(const std::string& keywordOrName) const;
    bool HasFunctionalForm(const std::string& keywordOrName) const;

    // Display names, in registration order.
    std::list<std::string> GetFunctionalFormNames() const;
    // Keywords, in registration order.
    std::list<std::string> GetFunctionalFormKeywords() const;
    const std::vector<boost::shared_ptr<CFunctionalForm>>& GetFunctionalForms() const { return m_forms; }

    int GetNumberOfAtoms() const { return m_numberOfAtoms; }

private:
    const boost::shared_ptr<CFunctionalForm>* Find(const std::string& keywordOrName) const;

    int m_numberOfAtoms;
    std::vector<boost::shared_ptr<CFunctionalForm>> m_forms;
};

using InteractionTypePtr = boost::shared_ptr<CInteractionType>;
