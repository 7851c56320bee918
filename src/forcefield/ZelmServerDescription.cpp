#include "forcefield/ZelmServerDescription.h"

#include <algorithm>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "forcefield/CoreShellInteractionType.h"
#include "forcefield/FourBodyInteractionType.h"
#include "forcefield/ManyBodyInteractionType.h"
#include "forcefield/ThreeBodyInteractionType.h"
#include "forcefield/TwoBodyInteractionType.h"
#include "kelv/kelv.h"

namespace {

const char* const kUnresolved = "Unknown or ambiguous functional form";

// The one word that stands only for itself: without this rule it would
// resolve to the shorter "buck".
const char* const kFourRangeBuckingham = "buck4";

using InteractionTypeFactory = boost::shared_ptr<CInteractionType> (*)();

template <class Type>
boost::shared_ptr<CInteractionType> Make()
{
    return boost::shared_ptr<CInteractionType>(new Type);
}

// The engine's interaction types, in registration order; each type adds its
// line here.
std::vector<InteractionTypeFactory> InteractionTypes()
{
    return {
        &Make<CZelmCoreShellInteractionType>,
        &Make<CZelmTwoBodyInteractionType>,
        &Make<CZelmThreeBodyInteractionType>,
        &Make<CZelmFourBodyInteractionType>,
        &Make<CZelmManyBodyInteractionType>,
    };
}

}  // namespace

CZelmServerDescription::CZelmServerDescription() : CServerDescription("Zelm", false)
{
    for (InteractionTypeFactory make : InteractionTypes())
        AddInteractionType(make());
}

CZelmServerDescription::~CZelmServerDescription() = default;

bool CZelmServerDescription::ResolveFunctionalFormKeyword(const std::string& word, std::string& resolved) const
{
    if (word == kFourRangeBuckingham) {
        resolved = word;
        return true;
    }
    if (word.size() < 3)
        return false;
    // No registered keyword is longer than the longest one: the prefixes
    // tried are that short at most, whatever the length of the word.
    std::string::size_type longest = 0;
    for (const boost::shared_ptr<CInteractionType>& type : GetInteractionTypes()) {
        for (const boost::shared_ptr<CFunctionalForm>& form : type->GetFunctionalForms())
            longest = std::max(longest, form->GetKeyword().size());
    }
    // A registered keyword stands for itself; otherwise the longest
    // registered keyword that begins the word, so that a keyword that
    // begins with another ("sw2j" and "sw2") is not taken for the shorter.
    for (std::string::size_type length = std::min(word.size(), longest); length >= 3; --length) {
        const std::string prefix = word.substr(0, length);
        if (prefix == kFourRangeBuckingham && length != word.size())
            continue;
        if (CServerDescription::HasFunctionalForm(prefix)) {
            resolved = prefix;
            return true;
        }
    }
    return false;
}

bool CZelmServerDescription::HasFunctionalForm(const std::string& word) const
{
    std::string resolved;
    return ResolveFunctionalFormKeyword(word, resolved) && CServerDescription::HasFunctionalForm(resolved);
}

const std::string& CZelmServerDescription::GetTypeOfFunctionalForm(const std::string& word) const
{
    std::string resolved;
    if (!ResolveFunctionalFormKeyword(word, resolved) || !CServerDescription::HasFunctionalForm(resolved))
        throw KelvResult(E_UNEXPECTED, kUnresolved);
    return CServerDescription::GetTypeOfFunctionalForm(resolved);
}

const std::string& CZelmServerDescription::GetFunctionalFormFullName(const std::string& word) const
{
    std::string resolved;
    if (!ResolveFunctionalFormKeyword(word, resolved) || !CServerDescription::HasFunctionalForm(resolved))
        throw KelvResult(E_UNEXPECTED, kUnresolved);
    return CServerDescription::GetFunctionalFormFullName(resolved);
}

bool CZelmServerDescription::CanFit() const
{
    return true;
}
