#include "forcefield/CoreShellForms.h"

#include <cstddef>

#include <boost/make_shared.hpp>

namespace {

std::size_t At(int position)
{
    return static_cast<std::size_t>(position);
}

// Positions of the descriptions of "bsm": harmonic "K", "r0", exponential
// "K", "rho"; the last description ("r0") is never made into a parameter.
constexpr int HarmonicK = 0;
constexpr int ExponentialK = 2;
constexpr int Rho = 3;
constexpr std::size_t HarmonicSize = 2;

}  // namespace

CBoFunctionalForm::CBoFunctionalForm(const std::string& displayName, const std::string& keyword,
                                     const ParameterDescriptionList& parameters,
                                     const BooleanOptionDescriptionList& booleans,
                                     const IntegerOptionDescriptionList& integers,
                                     const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddParameterSet("theta");
}

void CBoFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                          std::vector<CBooleanOption>& booleans,
                                          std::vector<CParameter>& parameters) const
{
    booleans[At(index)].SetValue(value);
    if (value) {
        // The angular terms' parameters own their descriptions.
        for (const char* name : {"c", "d", "h"})
            parameters.emplace_back(boost::make_shared<CParameterDescription>(name, "", 0.0, true, false));
    } else if (parameters.size() > 4) {
        parameters.erase(parameters.end() - 3, parameters.end());
    }
}

CBsmFunctionalForm::CBsmFunctionalForm(const std::string& displayName, const std::string& keyword,
                                       const ParameterDescriptionList& parameters,
                                       const BooleanOptionDescriptionList& booleans,
                                       const IntegerOptionDescriptionList& integers,
                                       const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_exponential(BooleanPosition("exponential")),
      m_singleExponential(BooleanPosition("single_exponential"))
{
    AddEnergyUnits();
    AddParameterSet("exponential");
    AddParameterSet("single_exponential");
}

void CBsmFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    if (parameters.size() > HarmonicSize)
        parameters.erase(parameters.begin() + static_cast<std::ptrdiff_t>(HarmonicSize), parameters.end());
}

void CBsmFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                           std::vector<CBooleanOption>& booleans,
                                           std::vector<CParameter>& parameters) const
{
    booleans[At(index)].SetValue(value);
    const auto on = [&booleans](int position) {
        return position >= 0 && At(position) < booleans.size() && booleans[At(position)].GetValue();
    };
    const bool exponential = on(m_exponential) || on(m_singleExponential);
    const ParameterDescriptionList& descriptions = GetParameterDescriptions();
    if (exponential && parameters.size() <= HarmonicSize) {
        ClearEnergyUnits(booleans);
        const CParameter k(descriptions.at(At(ExponentialK)));
        if (parameters.empty())
            parameters.push_back(k);
        else
            parameters[0] = k;
        parameters.insert(parameters.begin() + 1, CParameter(descriptions.at(At(Rho))));
    } else if (!exponential && parameters.size() > HarmonicSize) {
        ClearEnergyUnits(booleans);
        parameters[0] = CParameter(descriptions.at(At(HarmonicK)));
        parameters.erase(parameters.begin() + 1);
    }
}

CSpringFunctionalForm::CSpringFunctionalForm(const std::string& displayName, const std::string& keyword,
                                             const ParameterDescriptionList& parameters,
                                             const BooleanOptionDescriptionList& booleans,
                                             const IntegerOptionDescriptionList& integers,
                                             const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddEnergyUnits();
}
