#include "forcefield/ThreeBodyForms.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "forcefield/FormRules.h"

// ---------------------------------------------------------------------------
// CThreeBodyGenericFunctionalForm

CThreeBodyGenericFunctionalForm::CThreeBodyGenericFunctionalForm(const std::string& displayName,
                                                                 const std::string& keyword,
                                                                 const ParameterDescriptionList& parameters,
                                                                 const BooleanOptionDescriptionList& booleans,
                                                                 const IntegerOptionDescriptionList& integers,
                                                                 const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddGroup({"intra", "inter"});
    AddLone("bond");
    AddEnergyUnits();
}

CThreeBodyGenericFunctionalForm::CThreeBodyGenericFunctionalForm(NoRules, const std::string& displayName,
                                                                 const std::string& keyword,
                                                                 const ParameterDescriptionList& parameters,
                                                                 const BooleanOptionDescriptionList& booleans,
                                                                 const IntegerOptionDescriptionList& integers,
                                                                 const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
}

int CThreeBodyGenericFunctionalForm::IndexOfBooleanOption(const std::string& keyword) const
{
    return FormRules::IndexOfOptionMolAsBond(*this, keyword);
}

// ---------------------------------------------------------------------------
// CSw3FunctionalForm

CSw3FunctionalForm::CSw3FunctionalForm(const std::string& displayName, const std::string& keyword,
                                       const ParameterDescriptionList& parameters,
                                       const BooleanOptionDescriptionList& booleans,
                                       const IntegerOptionDescriptionList& integers,
                                       const DoubleOptionDescriptionList& doubles)
    : CThreeBodyGenericFunctionalForm(NoRules(), displayName, keyword, parameters, booleans, integers, doubles)
{
    AddLone("modified");
    AddGroup({"intra", "inter"});
    AddLone("bond");
    AddEnergyUnits();
}

// ---------------------------------------------------------------------------
// CBacrossFunctionalForm

CBacrossFunctionalForm::CBacrossFunctionalForm(const std::string& displayName, const std::string& keyword,
                                               const ParameterDescriptionList& parameters,
                                               const BooleanOptionDescriptionList& booleans,
                                               const IntegerOptionDescriptionList& integers,
                                               const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddGroup({"intra", "inter"});
    AddLone("bond");
    AddEnergyUnits();
}

// ---------------------------------------------------------------------------
// CHydrogenFunctionalForm

CHydrogenFunctionalForm::CHydrogenFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                 const ParameterDescriptionList& parameters,
                                                 const BooleanOptionDescriptionList& booleans,
                                                 const IntegerOptionDescriptionList& integers,
                                                 const DoubleOptionDescriptionList& doubles)
    : CThreeBodyGenericFunctionalForm(NoRules(), displayName, keyword, parameters, booleans, integers, doubles),
      m_thetaMin(ParameterPosition("theta_min")),
      m_thetaMax(ParameterPosition("theta_max"))
{
    if (m_thetaMin == NotFound || m_thetaMax != m_thetaMin + 1)
        throw std::logic_error("The angle range of \"" + keyword + "\" is not a pair");
    AddGroup({"intra", "inter"});
    AddEnergyUnits();
    AddParameterSet("taper");
}

void CHydrogenFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    parameters.erase(parameters.begin() + m_thetaMin, parameters.begin() + m_thetaMax + 1);
}

bool CHydrogenFunctionalForm::SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                                               std::vector<CBooleanOption>&, std::vector<CParameter>&) const
{
    return FormRules::SetIntegerOptionOnly(index, value, integers);
}

void CHydrogenFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                                std::vector<CBooleanOption>& booleans,
                                                std::vector<CParameter>& parameters) const
{
    booleans[static_cast<std::size_t>(index)].SetValue(value);
    const std::size_t first = static_cast<std::size_t>(m_thetaMin);
    const bool present = first < parameters.size() && parameters[first].GetDescription() ==
                                                          GetParameterDescriptions()[first];
    if (value && !present) {
        const std::size_t at = std::min(first, parameters.size());
        parameters.insert(parameters.begin() + static_cast<std::ptrdiff_t>(at),
                          {FreshParameter(m_thetaMin, booleans), FreshParameter(m_thetaMax, booleans)});
    } else if (!value && present && first + 1 < parameters.size()) {
        parameters.erase(parameters.begin() + static_cast<std::ptrdiff_t>(first),
                         parameters.begin() + static_cast<std::ptrdiff_t>(first + 2));
    }
}

// ---------------------------------------------------------------------------
// CThreeBodyFunctionalForm

CThreeBodyFunctionalForm::CThreeBodyFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                   const ParameterDescriptionList& parameters,
                                                   const BooleanOptionDescriptionList& booleans,
                                                   const IntegerOptionDescriptionList& integers,
                                                   const DoubleOptionDescriptionList& doubles)
    : CThreeBodyGenericFunctionalForm(NoRules(), displayName, keyword, parameters, booleans, integers, doubles),
      m_k3Option(BooleanPosition("k3")),
      m_k3(ParameterPosition("k3")),
      m_k4(ParameterPosition("k4"))
{
    if (m_k3 == NotFound || m_k4 != m_k3 + 1 || static_cast<std::size_t>(m_k4) + 1 != parameters.size())
        throw std::logic_error("The constants \"k3\" and \"k4\" of \"" + keyword + "\" do not close its list");
    AddGroup({"exponential", "vessal", "cosine"});
    AddParameterSet("k3");
    AddParameterSet("k4");
    AddGroup({"intra", "inter"});
    AddGroup({"bond", "mol"});
    AddEnergyUnits();
}

void CThreeBodyFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    parameters.erase(parameters.begin() + m_k3, parameters.end());
}

void CThreeBodyFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                                 std::vector<CBooleanOption>& booleans,
                                                 std::vector<CParameter>& parameters) const
{
    ApplyHigherOrderConstant(index, value, booleans, parameters, m_k3Option, m_k3, m_k4);
}
