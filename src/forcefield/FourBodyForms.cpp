#include "forcefield/FourBodyForms.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include <boost/make_shared.hpp>

#include "forcefield/FormRules.h"
#include "common/FieldParsing.h"

namespace {

std::ptrdiff_t Offset(int position)
{
    return static_cast<std::ptrdiff_t>(position);
}

std::size_t At(int position)
{
    return static_cast<std::size_t>(position);
}

}  // namespace

// ---------------------------------------------------------------------------
// CIgnoreMolFunctionalForm, CInversionFunctionalForm

int CIgnoreMolFunctionalForm::IndexOfBooleanOption(const std::string& keyword) const
{
    return FormRules::IndexOfOptionMolAsBond(*this, keyword);
}

CInversionFunctionalForm::CInversionFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                   const ParameterDescriptionList& parameters,
                                                   const BooleanOptionDescriptionList& booleans,
                                                   const IntegerOptionDescriptionList& integers,
                                                   const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddLone("squared");
    AddGroup({"intra", "inter", "bond", "mol"});
    AddEnergyUnits();
}

int CInversionFunctionalForm::IndexOfBooleanOption(const std::string& keyword) const
{
    return FormRules::IndexOfOptionMolAsBond(*this, keyword);
}

// ---------------------------------------------------------------------------
// CTorsFunctionalForm

CTorsFunctionalForm::CTorsFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : CIgnoreMolFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddGroup({"intra", "inter"});
    AddLone("bond");
    AddLone("dreiding");
    AddEnergyUnits();
    AddParameterSet("esff");
}

void CTorsFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                            std::vector<CBooleanOption>& booleans,
                                            std::vector<CParameter>& parameters) const
{
    // Every energy parameter is new, in eV.
    ClearEnergyUnits(booleans);
    struct Made {
        const char* name;
        const char* unit;
        bool fittable;
    };
    static const Made esffOn[] = {{"k1", "eV", true}, {"k2", "eV", true}};
    static const Made esffOff[] = {{"k", "eV", true}};
    static const Made rest[] = {{"n", "", false},           {"phi0", "degrees", false}, {"rmax12", "\xC5", false},
                                {"rmax23", "\xC5", false}, {"rmax34", "\xC5", false},  {"rmax41", "\xC5", false}};
    std::vector<CParameter> rebuilt;
    auto add = [&rebuilt](const Made& made) {
        rebuilt.emplace_back(
            boost::make_shared<CParameterDescription>(made.name, made.unit, 0.0, made.fittable, false));
    };
    if (value)
        std::for_each(std::begin(esffOn), std::end(esffOn), add);
    else
        std::for_each(std::begin(esffOff), std::end(esffOff), add);
    std::for_each(std::begin(rest), std::end(rest), add);
    parameters.swap(rebuilt);
    booleans[static_cast<std::size_t>(index)].SetValue(value);
}

// ---------------------------------------------------------------------------
// CFourFunctionalForm

CFourFunctionalForm::CFourFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : CIgnoreMolFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_k(ParameterPosition("k")),
      m_phi0(ParameterPosition("phi0")),
      m_k1(ParameterPosition("k1")),
      m_k2(ParameterPosition("k2"))
{
    const int count = static_cast<int>(parameters.size());
    if (m_k != 0 || m_phi0 != 2 || m_k1 != count - 2 || m_k2 != count - 1)
        throw std::logic_error("The parameters of \"" + keyword + "\" do not suit its \"esff\" switch");
    AddGroup({"intra", "inter", "bond"});
    AddLone("dreiding");
    AddEnergyUnits();
    AddParameterSet("esff");
}

void CFourFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    parameters.erase(parameters.begin() + Offset(m_k1), parameters.end());
}

void CFourFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                            std::vector<CBooleanOption>& booleans,
                                            std::vector<CParameter>& parameters) const
{
    // Every energy parameter that stays is replaced by a new one in eV.
    ClearEnergyUnits(booleans);
    const auto fresh = [this](int position) { return CParameter(GetParameterDescriptions().at(At(position))); };
    if (parameters.size() > At(m_phi0)) {
        // On: "k" becomes "k1", "phi0" goes, "k2" follows "k1". Off: back.
        parameters[At(m_k)] = fresh(value ? m_k1 : m_k);
        parameters.erase(parameters.begin() + Offset(value ? m_phi0 : m_k + 1));
        if (value)
            parameters.insert(parameters.begin() + Offset(m_k + 1), fresh(m_k2));
        else
            parameters.insert(parameters.begin() + Offset(m_phi0), fresh(m_phi0));
    }
    booleans[static_cast<std::size_t>(index)].SetValue(value);
}

// ---------------------------------------------------------------------------
// Forms of groups, lone options and energy units

CNoEsffFunctionalForm::CNoEsffFunctionalForm(const std::string& displayName, const std::string& keyword,
                                             const ParameterDescriptionList& parameters,
                                             const BooleanOptionDescriptionList& booleans,
                                             const IntegerOptionDescriptionList& integers,
                                             const DoubleOptionDescriptionList& doubles)
    : CIgnoreMolFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddGroup({"intra", "inter", "bond"});
    AddLone("dreiding");
    AddEnergyUnits();
}

CToraFunctionalForm::CToraFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddGroup({"intra", "bond"});
    AddLone("dreiding");
    AddEnergyUnits();
}

COutOfPlaneFunctionalForm::COutOfPlaneFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                     const ParameterDescriptionList& parameters,
                                                     const BooleanOptionDescriptionList& booleans,
                                                     const IntegerOptionDescriptionList& integers,
                                                     const DoubleOptionDescriptionList& doubles)
    : CIgnoreMolFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddGroup({"inter", "intra"});
    AddLone("bond");
    AddEnergyUnits();
    ActOnUnchangedValues();
}

// ---------------------------------------------------------------------------
// CRyckaertFunctionalForm

CRyckaertFunctionalForm::CRyckaertFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                 const ParameterDescriptionList& parameters,
                                                 const BooleanOptionDescriptionList& booleans,
                                                 const IntegerOptionDescriptionList& integers,
                                                 const DoubleOptionDescriptionList& doubles)
    : CIgnoreMolFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_firstCoefficient(ParameterPosition("coefficient0"))
{
    if (m_firstCoefficient == NotFound)
        throw std::logic_error("The form \"" + keyword + "\" has no coefficients");
}

void CRyckaertFunctionalForm::ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                                                   const std::vector<CBooleanOption>&,
                                                   std::vector<CParameter>& parameters) const
{
    const bool coefficientLine = position == tokens.begin() || tokens.size() <= 5;
    const TokenIterator first = coefficientLine ? tokens.begin() : position;
    const TokenIterator end = coefficientLine ? tokens.end() : std::max(FindFitFlags(tokens), position);
    const std::size_t from = coefficientLine ? static_cast<std::size_t>(m_firstCoefficient) : 0;

    // Read every word first, so that a bad word changes nothing.
    std::vector<std::pair<std::size_t, double>> values;
    TokenIterator word = first;
    for (std::size_t i = from; i < parameters.size() && word != end; ++i, ++word) {
        if (!parameters[i].IsHidden())
            values.emplace_back(i, GetFieldAsDouble(*word, 0));
    }
    for (const auto& value : values)
        parameters[value.first].SetValue(value.second);
    if (!coefficientLine)
        ParseFitFlags(end, position, tokens, parameters);
}

bool CRyckaertFunctionalForm::SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                                               std::vector<CBooleanOption>&,
                                               std::vector<CParameter>& parameters) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= integers.size())
        return false;
    CIntegerOption& order = integers[static_cast<std::size_t>(index)];
    if (order.GetValue() == value)
        return true;
    const int old = order.GetValue();
    order.SetValue(value);  // the order's validator refuses 0 or 6 here
    const std::size_t count = static_cast<std::size_t>(m_firstCoefficient + value + 1);
    if (value < old) {
        if (count < parameters.size())
            parameters.erase(parameters.begin() + static_cast<std::ptrdiff_t>(count), parameters.end());
    } else {
        const ParameterDescriptionList& descriptions = GetParameterDescriptions();
        while (parameters.size() < count && parameters.size() < descriptions.size())
            parameters.emplace_back(descriptions[parameters.size()]);
    }
    return true;
}
