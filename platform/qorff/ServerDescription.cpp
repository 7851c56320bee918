#include "qorff/ServerDescription.h"

#include <algorithm>

#include "kelv/kelv.h"

namespace {
bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}
}  // namespace

CServerDescription::CServerDescription(const std::string& serverName, bool ignoreKeywordCase)
    : CObjectWithName(serverName), m_ignoreCase(ignoreKeywordCase)
{
}

CServerDescription::~CServerDescription() = default;

bool CServerDescription::FindForm(const std::string& keyword, FormEntry& entry) const
{
    for (const boost::shared_ptr<CInteractionType>& type : m_types) {
        for (const boost::shared_ptr<CFunctionalForm>& form : type->GetFunctionalForms()) {
            const bool same = m_ignoreCase ? EqualIgnoringCase(form->GetKeyword(), keyword)
                                           : form->GetKeyword() == keyword;
            if (same) {
                entry.type = type.get();
                entry.form = form.get();
                return true;
            }
        }
    }
    return false;
}

const std::string& CServerDescription::GetTypeOfFunctionalForm(const std::string& keyword) const
{
    FormEntry entry{};
    if (!FindForm(keyword, entry))
        throw KelvResult(E_UNEXPECTED, "Unknown functional form \"" + keyword + "\"");
    return entry.type->GetName();
}

bool CServerDescription::HasFunctionalForm(const std::string& keyword) const
{
    FormEntry entry{};
    return FindForm(keyword, entry);
}

const std::string& CServerDescription::GetFunctionalFormFullName(const std::string& keyword) const
{
    FormEntry entry{};
    if (!FindForm(keyword, entry))
        throw KelvResult(E_UNEXPECTED, "Unknown functional form \"" + keyword + "\"");
    return entry.form->GetName();
}

bool CServerDescription::CanFit() const
{
    return false;
}

bool CServerDescription::ResolveFunctionalFormKeyword(const std::string& word, std::string& resolved) const
{
    FormEntry entry{};
    if (!FindForm(word, entry))
        return false;
    resolved = entry.form->GetKeyword();
    return true;
}

void CServerDescription::AddInteractionType(const boost::shared_ptr<CInteractionType>& type)
{
    if (!type)
        throw KelvResult(E_UNEXPECTED, "A null interaction type cannot be registered.");
    if (HasInteractionType(type->GetName()))
        throw KelvResult(E_UNEXPECTED, "The interaction type \"" + type->GetName() + "\" is already registered.");
    m_types.push_back(type);
}

boost::shared_ptr<CInteractionType> CServerDescription::GetInteractionType(const std::string& name) const
{
    for (const boost::shared_ptr<CInteractionType>& type : m_types) {
        if (type->GetName() == name)
            return type;
    }
    throw KelvResult(E_UNEXPECTED, "Unknown interaction type \"" + name + "\"");
}

bool CServerDescription::HasInteractionType(const std::string& name) const
{
    return std::any_of(m_types.begin(), m_types.end(),
                       [&](const boost::shared_ptr<CInteractionType>& type) { return type->GetName() == name; });
}

std::list<std::string> CServerDescription::GetInteractionTypeNames() const
{
    std::list<std::string> names;
    for (const boost::shared_ptr<CInteractionType>& type : m_types)
        names.push_back(type->GetName());
    return names;
}

boost::shared_ptr<CInteractionType> CServerDescription::FindTypeOfForm(const CFunctionalForm& form) const
{
    for (const boost::shared_ptr<CInteractionType>& type : m_types) {
        for (const boost::shared_ptr<CFunctionalForm>& known : type->GetFunctionalForms()) {
            if (known.get() == &form)
                return type;
        }
    }
    return boost::shared_ptr<CInteractionType>();
}
