#include "qorff/InteractionType.h"

#include "kelv/kelv.h"

CInteractionType::CInteractionType(const std::string& name, int numberOfAtoms)
    : CObjectWithName(name), m_numberOfAtoms(numberOfAtoms)
{
}

CInteractionType::~CInteractionType() = default;

std::list<unsigned> CInteractionType::GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const
{
    return atomTypeIds;
}

void CInteractionType::AddFunctionalForm(const boost::shared_ptr<CFunctionalForm>& form)
{
    if (!form)
        throw KelvResult(E_UNEXPECTED, "A null functional form cannot be registered with \"" + GetName() + "\".");
    for (const boost::shared_ptr<CFunctionalForm>& known : m_forms) {
        if (known->GetKeyword() == form->GetKeyword() || known->GetName() == form->GetName())
            throw KelvResult(E_UNEXPECTED, "The functional form \"" + form->GetKeyword() +
                                               "\" is already registered with \"" + GetName() + "\".");
    }
    m_forms.push_back(form);
}

const boost::shared_ptr<CFunctionalForm>* CInteractionType::Find(const std::string& keywordOrName) const
{
    for (const boost::shared_ptr<CFunctionalForm>& form : m_forms) {
        if (form->GetKeyword() == keywordOrName)
            return &form;
    }
    for (const boost::shared_ptr<CFunctionalForm>& form : m_forms) {
        if (form->GetName() == keywordOrName)
            return &form;
    }
    return nullptr;
}

boost::shared_ptr<CFunctionalForm> CInteractionType::GetFunctionalForm(const std::string& keywordOrName) const
{
    const boost::shared_ptr<CFunctionalForm>* form = Find(keywordOrName);
    if (!form)
        throw KelvResult(E_UNEXPECTED, "Unknown functional form \"" + keywordOrName + "\" for the interaction type \"" +
                                           GetName() + "\"");
    return *form;
}

bool CInteractionType::HasFunctionalForm(const std::string& keywordOrName) const
{
    return Find(keywordOrName) != nullptr;
}

std::list<std::string> CInteractionType::GetFunctionalFormNames() const
{
    std::list<std::string> names;
    for (const boost::shared_ptr<CFunctionalForm>& form : m_forms)
        names.push_back(form->GetName());
    return names;
}

std::list<std::string> CInteractionType::GetFunctionalFormKeywords() const
{
    std::list<std::string> keywords;
    for (const boost::shared_ptr<CFunctionalForm>& form : m_forms)
        keywords.push_back(form->GetKeyword());
    return keywords;
}
