#include "forcefield/TwoBodyForms.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include <boost/make_shared.hpp>

#include "kelv/kelv.h"
#include "common/FieldParsing.h"
#include "common/ParseField.h"

namespace {

std::size_t At(int position)
{
    return static_cast<std::size_t>(position);
}

bool InRange(int position, std::size_t size)
{
    return position >= 0 && At(position) < size;
}

std::string TrimmedLine(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text + "\n";
}

}  // namespace

// ---------------------------------------------------------------------------
// COptionRulesFunctionalForm

bool COptionRulesFunctionalForm::SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                                                  std::vector<CBooleanOption>& booleans,
                                                  std::vector<CParameter>& parameters) const
{
    if (!InRange(index, booleans.size()))
        return false;
    if (m_testUnchanged && booleans[At(index)].GetValue() == value)
        return true;
    for (const Rule& rule : m_rules) {
        if (index < rule.first || index > rule.last)
            continue;
        switch (rule.kind) {
        case RuleKind::Group:
            SetExclusiveBooleanOption(booleans, index, value, rule.first, rule.last);
            break;
        case RuleKind::Lone:
            booleans[At(index)].SetValue(value);
            break;
        case RuleKind::ParameterSet:
            ApplyParameterSet(index, value, integers, booleans, parameters);
            break;
        case RuleKind::EnergyUnits:
            ConvertParameterUnits(EnergyParameters(parameters), booleans, index, value, m_kjmol, m_kcal);
            break;
        }
        return true;
    }
    return true;
}

void COptionRulesFunctionalForm::ParseFunctionalFormLine(const TokenList& tokens,
                                                         std::vector<CBooleanOption>& booleans,
                                                         std::vector<CIntegerOption>& integers,
                                                         std::vector<CDoubleOption>& doubles,
                                                         std::vector<CParameter>& parameters) const
{
    if (!HasParameterSets() || m_kjmol == NotFound || tokens.empty()) {
        CFunctionalForm::ParseFunctionalFormLine(tokens, booleans, integers, doubles, parameters);
        return;
    }
    TokenList others(1, tokens.front());
    std::vector<int> units;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const int position = IndexOfBooleanOption(tokens[i]);
        if (position == m_kjmol || position == m_kcal)
            units.push_back(position);
        else
            others.push_back(tokens[i]);
    }
    CFunctionalForm::ParseFunctionalFormLine(others, booleans, integers, doubles, parameters);
    std::sort(units.begin(), units.end());
    for (int position : units)
        SetBooleanOption(position, true, integers, booleans, parameters);
}

int COptionRulesFunctionalForm::BooleanPosition(const std::string& name) const
{
    return IndexOfBooleanOption(name);
}

int COptionRulesFunctionalForm::ParameterPosition(const std::string& name) const
{
    const ParameterDescriptionList& descriptions = GetParameterDescriptions();
    for (std::size_t i = 0; i < descriptions.size(); ++i) {
        if (descriptions[i]->GetName() == name)
            return static_cast<int>(i);
    }
    return NotFound;
}

int COptionRulesFunctionalForm::RequirePosition(const std::string& name) const
{
    const int position = BooleanPosition(name);
    if (position == NotFound)
        throw std::logic_error("The form \"" + GetKeyword() + "\" has no option \"" + name + "\"");
    return position;
}

void COptionRulesFunctionalForm::AddGroup(const std::vector<std::string>& names)
{
    std::vector<int> positions;
    for (const std::string& name : names) {
        const int position = BooleanPosition(name);
        if (position != NotFound)
            positions.push_back(position);
    }
    if (positions.empty())
        return;
    std::sort(positions.begin(), positions.end());
    if (positions.back() - positions.front() + 1 != static_cast<int>(positions.size()))
        throw std::logic_error("The options of a group of the form \"" + GetKeyword() + "\" are not adjacent");
    m_rules.push_back(Rule{RuleKind::Group, positions.front(), positions.back()});
}

void COptionRulesFunctionalForm::AddLone(const std::string& name)
{
    const int position = RequirePosition(name);
    m_rules.push_back(Rule{RuleKind::Lone, position, position});
}

void COptionRulesFunctionalForm::AddParameterSet(const std::string& name)
{
    const int position = RequirePosition(name);
    m_rules.push_back(Rule{RuleKind::ParameterSet, position, position});
}

void COptionRulesFunctionalForm::AddEnergyUnits()
{
    m_kjmol = RequirePosition("kjmol");
    m_kcal = RequirePosition("kcal");
    if (m_kcal != m_kjmol + 1)
        throw std::logic_error("The unit options of the form \"" + GetKeyword() + "\" are not adjacent");
    m_rules.push_back(Rule{RuleKind::EnergyUnits, m_kjmol, m_kcal});
}

void COptionRulesFunctionalForm::AddStandardGroups()
{
    AddGroup({"intra", "inter"});
    AddGroup({"bond", "x12", "x13", "mol", "o14"});
}

bool COptionRulesFunctionalForm::HasParameterSets() const
{
    return std::any_of(m_rules.begin(), m_rules.end(),
                       [](const Rule& rule) { return rule.kind == RuleKind::ParameterSet; });
}

void COptionRulesFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                                   std::vector<CBooleanOption>& booleans,
                                                   std::vector<CParameter>&) const
{
    booleans[At(index)].SetValue(value);
}

bool COptionRulesFunctionalForm::IsEnergyBearing(const CParameter& parameter)
{
    return parameter.GetDescription()->GetUnit().compare(0, 2, "eV") == 0;
}

std::list<CParameter*> COptionRulesFunctionalForm::EnergyParameters(std::vector<CParameter>& parameters)
{
    std::list<CParameter*> energies;
    for (CParameter& parameter : parameters) {
        if (IsEnergyBearing(parameter))
            energies.push_back(&parameter);
    }
    return energies;
}

int COptionRulesFunctionalForm::CurrentEnergyUnit(const std::vector<CBooleanOption>& booleans) const
{
    const bool kjmol = InRange(m_kjmol, booleans.size()) && booleans[At(m_kjmol)].GetValue();
    const bool kcal = InRange(m_kcal, booleans.size()) && booleans[At(m_kcal)].GetValue();
    return EnergyUnitFromFlags(kjmol, kcal);
}

void COptionRulesFunctionalForm::ClearEnergyUnits(std::vector<CBooleanOption>& booleans) const
{
    if (InRange(m_kcal, booleans.size()))
        booleans[At(m_kcal)].SetValue(false);
    if (InRange(m_kjmol, booleans.size()))
        booleans[At(m_kjmol)].SetValue(false);
}

CParameter COptionRulesFunctionalForm::FreshParameter(int position, const std::vector<CBooleanOption>& booleans) const
{
    CParameter parameter(GetParameterDescriptions().at(At(position)));
    const int unit = CurrentEnergyUnit(booleans);
    if (unit != UnitEV && IsEnergyBearing(parameter)) {
        parameter.SetValue(ConvertEnergyUnits(parameter.GetValue(), UnitEV, unit));
        parameter.SetCustomUnit(ReplaceUnitLabel(parameter.GetUnit(), EnergyUnitLabel(UnitEV), EnergyUnitLabel(unit)));
    }
    return parameter;
}

std::string COptionRulesFunctionalForm::FixedDecimalText(double value)
{
    std::ostringstream text;
    text << std::fixed << std::showpoint << std::setprecision(10) << value;
    const std::string fixed = text.str();
    char* end = nullptr;
    const double back = std::strtod(fixed.c_str(), &end);
    return back == value ? fixed : FormatValue(value);
}

void COptionRulesFunctionalForm::ApplyHigherOrderConstant(int index, bool value,
                                                          std::vector<CBooleanOption>& booleans,
                                                          std::vector<CParameter>& parameters, int cubicOption,
                                                          int cubic, int quartic) const
{
    booleans[At(index)].SetValue(value);
    const bool isCubic = index == cubicOption;
    const bool cubicOn = InRange(cubicOption, booleans.size()) && booleans[At(cubicOption)].GetValue();
    const std::size_t position = (isCubic || !cubicOn) ? 1 : 2;
    const int description = isCubic ? cubic : quartic;
    const std::string& name = GetParameterDescriptions().at(At(description))->GetName();
    if (value) {
        const std::size_t at = std::min(position, parameters.size());
        parameters.insert(parameters.begin() + static_cast<std::ptrdiff_t>(at), FreshParameter(description, booleans));
    } else if (position < parameters.size() && parameters[position].GetName() == name) {
        parameters.erase(parameters.begin() + static_cast<std::ptrdiff_t>(position));
    }
}

// ---------------------------------------------------------------------------
// CGlueFunctionalForm

CGlueFunctionalForm::CGlueFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddEnergyUnits();
}

std::string CGlueFunctionalForm::WriteInteractionLine(const std::vector<CParameter>& parameters,
                                                      const std::vector<CBooleanOption>&,
                                                      const std::vector<CIntegerOption>&) const
{
    std::string text;
    std::size_t count = 0;
    for (const CParameter& parameter : parameters) {
        text += FixedDecimalText(parameter.GetValue()) + " ";
        ++count;
        if (count == 3 || count == 8)
            text += "\n";
        else if (count == 7 || count == 12)
            text += "& \n";
    }
    for (const CParameter& parameter : parameters) {
        if (parameter.IsFittable())
            text += parameter.IsToBeFitted() ? "1 " : "0 ";
    }
    return text + "\n";
}

// ---------------------------------------------------------------------------
// CLennardFunctionalForm

CLennardFunctionalForm::CLennardFunctionalForm(const std::string& displayName, const std::string& keyword,
                                               const ParameterDescriptionList& parameters,
                                               const BooleanOptionDescriptionList& booleans,
                                               const IntegerOptionDescriptionList& integers,
                                               const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_a(ParameterPosition("A")),
      m_b(ParameterPosition("B")),
      m_epsilon(ParameterPosition("epsilon")),
      m_sigma(ParameterPosition("sigma"))
{
    AddParameterSet("epsilon");
    AddLone("zero");
    AddLone("esff");
    AddGroup({"combine", "geometric"});
    AddStandardGroups();
    AddGroup({"ener", "grad"});
    AddLone("all");
    AddEnergyUnits();
}

void CLennardFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    if (InRange(m_epsilon, parameters.size()))
        parameters.erase(parameters.begin() + m_epsilon, parameters.end());
}

void CLennardFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                               std::vector<CBooleanOption>& booleans,
                                               std::vector<CParameter>& parameters) const
{
    ClearEnergyUnits(booleans);
    const ParameterDescriptionList& descriptions = GetParameterDescriptions();
    if (parameters.size() >= 2) {
        parameters[0] = CParameter(descriptions.at(At(value ? m_epsilon : m_a)));
        parameters[1] = CParameter(descriptions.at(At(value ? m_sigma : m_b)));
    }
    booleans[At(index)].SetValue(value);
}

// ---------------------------------------------------------------------------
// CBoTwoBodyFunctionalForm

CBoTwoBodyFunctionalForm::CBoTwoBodyFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                   const ParameterDescriptionList& parameters,
                                                   const BooleanOptionDescriptionList& booleans,
                                                   const IntegerOptionDescriptionList& integers,
                                                   const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddEnergyUnits();
    AddParameterSet("combine");
}

void CBoTwoBodyFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                                 std::vector<CBooleanOption>& booleans,
                                                 std::vector<CParameter>& parameters) const
{
    ClearEnergyUnits(booleans);
    parameters.clear();
    if (value) {
        // The combined shape's parameters own their descriptions.
        parameters.emplace_back(boost::make_shared<CParameterDescription>("chiR", "", 1.0, true, false));
        parameters.emplace_back(boost::make_shared<CParameterDescription>("chiA", "", 1.0, true, false));
    } else {
        for (const ParameterDescriptionPtr& description : GetParameterDescriptions())
            parameters.emplace_back(description);
    }
    booleans[At(index)].SetValue(value);
}

// ---------------------------------------------------------------------------
// Forms whose options are groups, lone options and the energy-unit pair

CBuckFunctionalForm::CBuckFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddGroup({"ener", "grad"});
    AddEnergyUnits();
}

CEamPotentialShiftFunctionalForm::CEamPotentialShiftFunctionalForm(const std::string& displayName,
                                                                   const std::string& keyword,
                                                                   const ParameterDescriptionList& parameters,
                                                                   const BooleanOptionDescriptionList& booleans,
                                                                   const IntegerOptionDescriptionList& integers,
                                                                   const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddGroup({"ener", "grad"});
    AddGroup({"kjmol", "kcal", "au"});
}

CBuck4FunctionalForm::CBuck4FunctionalForm(const std::string& displayName, const std::string& keyword,
                                           const ParameterDescriptionList& parameters,
                                           const BooleanOptionDescriptionList& booleans,
                                           const IntegerOptionDescriptionList& integers,
                                           const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddEnergyUnits();
}

CEnerGradFunctionalForm::CEnerGradFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                 const ParameterDescriptionList& parameters,
                                                 const BooleanOptionDescriptionList& booleans,
                                                 const IntegerOptionDescriptionList& integers,
                                                 const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddGroup({"ener", "grad"});
    AddEnergyUnits();
}

CTsuneyukiFunctionalForm::CTsuneyukiFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                   const ParameterDescriptionList& parameters,
                                                   const BooleanOptionDescriptionList& booleans)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, IntegerOptionDescriptionList(),
                                 DoubleOptionDescriptionList())
{
    AddStandardGroups();
    AddLone("form2");
}

CMorsFunctionalForm::CMorsFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddGroup({"ener", "grad"});
    AddLone("etaper");
    AddEnergyUnits();
}

CQerfcFunctionalForm::CQerfcFunctionalForm(const std::string& displayName, const std::string& keyword,
                                           const ParameterDescriptionList& parameters,
                                           const BooleanOptionDescriptionList& booleans,
                                           const IntegerOptionDescriptionList& integers,
                                           const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddGroup({"au", "nm", "pm"});
    AddGroup({"ener", "grad"});
}

CLongFunctionalForm::CLongFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddEnergyUnits();
}

CSQHarmonicFunctionalForm::CSQHarmonicFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                     const ParameterDescriptionList& parameters,
                                                     const BooleanOptionDescriptionList& booleans,
                                                     const IntegerOptionDescriptionList& integers,
                                                     const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddLone("grad");
    AddEnergyUnits();
}

CGeneralFunctionalForm::CGeneralFunctionalForm(const std::string& displayName, const std::string& keyword,
                                               const ParameterDescriptionList& parameters,
                                               const BooleanOptionDescriptionList& booleans,
                                               const IntegerOptionDescriptionList& integers,
                                               const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddGroup({"ener", "grad"});
    AddStandardGroups();
    AddEnergyUnits();
}

CDampFunctionalForm::CDampFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleans,
                                         const IntegerOptionDescriptionList& integers,
                                         const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddEnergyUnits();
}

CCoulombFunctionalForm::CCoulombFunctionalForm(const std::string& displayName, const std::string& keyword,
                                               const ParameterDescriptionList& parameters,
                                               const BooleanOptionDescriptionList& booleans,
                                               const IntegerOptionDescriptionList& integers,
                                               const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
}

// ---------------------------------------------------------------------------
// CLjBufferedFunctionalForm

CLjBufferedFunctionalForm::CLjBufferedFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                     const ParameterDescriptionList& parameters,
                                                     const BooleanOptionDescriptionList& booleans,
                                                     const IntegerOptionDescriptionList& integers,
                                                     const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles)
{
    AddStandardGroups();
    AddEnergyUnits();
}

void CLjBufferedFunctionalForm::ParseFunctionalFormLine(const TokenList& tokens,
                                                        std::vector<CBooleanOption>& booleans,
                                                        std::vector<CIntegerOption>& integers,
                                                        std::vector<CDoubleOption>& doubles,
                                                        std::vector<CParameter>& parameters) const
{
    if (tokens.size() < 3)
        throw KelvResult(E_UNEXPECTED, "Missing exponents for ljbuffered");

    Init(booleans);
    Init(integers);
    Init(doubles);
    Init(parameters);

    // The first number is "n" (integer option 1), the second "m" (0).
    SetIntegerOption(1, ParseField<int>(tokens[1], 0), integers, booleans, parameters);
    SetIntegerOption(0, ParseField<int>(tokens[2], 0), integers, booleans, parameters);

    for (std::size_t i = 3; i < tokens.size(); ++i) {
        const int position = IndexOfBooleanOption(tokens[i]);
        if (position != NotFound) {
            SetBooleanOption(position, true, integers, booleans, parameters);
            continue;
        }
        double scale14 = 0.0;
        try {
            scale14 = GetFieldAsDouble(tokens[i], 0);
        } catch (const KelvResult&) {
            throw KelvResult(E_UNEXPECTED, "invalid option for ljbuffered functionalForm.");
        }
        if (i + 1 < tokens.size())
            throw KelvResult(E_UNEXPECTED, "Too many options for ljbuffered");
        SetDoubleOption(0, scale14, integers, booleans, doubles, parameters);
    }
}

std::string CLjBufferedFunctionalForm::WriteFunctionalFormLine(const std::vector<CBooleanOption>& booleans,
                                                               const std::vector<CIntegerOption>& integers,
                                                               const std::vector<CDoubleOption>& doubles) const
{
    std::string line = GetKeyword() + " ";
    if (integers.size() >= 2)
        line += std::to_string(integers[1].GetValue()) + " " + std::to_string(integers[0].GetValue()) + " ";
    line += WriteBooleanOptions(booleans) + WriteDoubleOptions(doubles);
    return TrimmedLine(line);
}

// ---------------------------------------------------------------------------
// CHarmonicFunctionalForm

CHarmonicFunctionalForm::CHarmonicFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                 const ParameterDescriptionList& parameters,
                                                 const BooleanOptionDescriptionList& booleans,
                                                 const IntegerOptionDescriptionList& integers,
                                                 const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_k3Option(BooleanPosition("k3")),
      m_k3(ParameterPosition("k3")),
      m_k4(ParameterPosition("k4")),
      m_firstExtra(std::min(m_k3, m_k4))
{
    AddParameterSet("k3");
    AddParameterSet("k4");
    AddStandardGroups();
    AddEnergyUnits();
    AddGroup({"ener", "grad"});
}

void CHarmonicFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    if (InRange(m_firstExtra, parameters.size()))
        parameters.erase(parameters.begin() + m_firstExtra, parameters.end());
}

void CHarmonicFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>&,
                                                std::vector<CBooleanOption>& booleans,
                                                std::vector<CParameter>& parameters) const
{
    ApplyHigherOrderConstant(index, value, booleans, parameters, m_k3Option, m_k3, m_k4);
}

// ---------------------------------------------------------------------------
// CPolynomialFunctionalForm

CPolynomialFunctionalForm::CPolynomialFunctionalForm(const std::string& displayName, const std::string& keyword,
                                                     const ParameterDescriptionList& parameters,
                                                     const BooleanOptionDescriptionList& booleans,
                                                     const IntegerOptionDescriptionList& integers,
                                                     const DoubleOptionDescriptionList& doubles)
    : COptionRulesFunctionalForm(displayName, keyword, parameters, booleans, integers, doubles),
      m_harmonic(BooleanPosition("harmonic")),
      m_r0(ParameterPosition("r0")),
      m_rmin(ParameterPosition("rmin")),
      m_rmax(ParameterPosition("rmax"))
{
    AddParameterSet("harmonic");
    AddStandardGroups();
    AddEnergyUnits();
    for (int i = 0; i <= CNorderValidator::MaximumOrder; ++i) {
        if (ParameterPosition("coefficient" + std::to_string(i)) != i)
            throw std::logic_error("The coefficients of \"" + keyword + "\" are not in order");
    }
}

int CPolynomialFunctionalForm::Order(const std::vector<CIntegerOption>& integers) const
{
    return integers.empty() ? CNorderValidator::MaximumOrder : integers.front().GetValue();
}

void CPolynomialFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    CFunctionalForm::Init(parameters);
    if (InRange(m_r0, parameters.size()))
        parameters.erase(parameters.begin() + m_r0);
}

void CPolynomialFunctionalForm::ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                                                  std::vector<CBooleanOption>& booleans,
                                                  std::vector<CParameter>& parameters) const
{
    booleans[At(index)].SetValue(value);
    const std::size_t position = At(Order(integers) + 1);
    if (value) {
        const std::size_t at = std::min(position, parameters.size());
        parameters.insert(parameters.begin() + static_cast<std::ptrdiff_t>(at), FreshParameter(m_r0, booleans));
    } else if (position < parameters.size() && parameters[position].GetName() == "r0") {
        parameters.erase(parameters.begin() + static_cast<std::ptrdiff_t>(position));
    }
}

bool CPolynomialFunctionalForm::SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                                                 std::vector<CBooleanOption>& booleans,
                                                 std::vector<CParameter>& parameters) const
{
    if (!InRange(index, integers.size()))
        return false;
    // The option's validator refuses an order outside 1 to 5 before anything
    // changes.
    integers[At(index)].SetValue(value);

    std::vector<CParameter> rebuilt;
    for (int i = 0; i <= value; ++i)
        rebuilt.push_back(FreshParameter(i, booleans));
    if (InRange(m_harmonic, booleans.size()) && booleans[At(m_harmonic)].GetValue())
        rebuilt.push_back(FreshParameter(m_r0, booleans));
    rebuilt.push_back(FreshParameter(m_rmin, booleans));
    rebuilt.push_back(FreshParameter(m_rmax, booleans));
    parameters.swap(rebuilt);
    return true;
}

void CPolynomialFunctionalForm::ParseFunctionalFormLine(const TokenList& tokens,
                                                        std::vector<CBooleanOption>& booleans,
                                                        std::vector<CIntegerOption>& integers,
                                                        std::vector<CDoubleOption>& doubles,
                                                        std::vector<CParameter>& parameters) const
{
    Init(booleans);
    Init(integers);
    Init(doubles);
    Init(parameters);

    std::size_t i = 1;
    for (; i < tokens.size(); ++i) {
        const int position = IndexOfBooleanOption(tokens[i]);
        if (position == NotFound)
            break;
        SetBooleanOption(position, true, integers, booleans, parameters);
    }
    if (i < tokens.size())
        SetDoubleOption(0, GetFieldAsDouble(tokens[i], 0), integers, booleans, doubles, parameters);
}

void CPolynomialFunctionalForm::ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                                                     const std::vector<CBooleanOption>&,
                                                     std::vector<CParameter>& parameters) const
{
    const TokenIterator flags = std::max(FindFitFlags(tokens), position);
    const std::size_t valueCount = static_cast<std::size_t>(flags - position);

    // The parameters that take values: all but hidden ones; the last two are
    // "rmin" and "rmax".
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (!parameters[i].IsHidden())
            shown.push_back(i);
    }
    const std::size_t count = shown.size();
    if (count < 2 || valueCount + 1 < count)
        throw KelvResult(E_UNEXPECTED, "Insufficient params for polynomial");
    if (valueCount > count)
        throw KelvResult(E_UNEXPECTED, "Too many params for polynomial");

    // Read every number first, so that a bad token changes nothing.
    std::vector<double> values;
    for (TokenIterator token = position; token != flags; ++token)
        values.push_back(GetFieldAsDouble(*token, 0));

    std::size_t next = 0;
    for (std::size_t j = 0; j + 2 < count; ++j)
        parameters[shown[j]].SetValue(values[next++]);
    CParameter& rmin = parameters[shown[count - 2]];
    if (valueCount == count)
        rmin.SetValue(values[next++]);
    else
        rmin.SetToDefaultValue();
    parameters[shown[count - 1]].SetValue(values[next]);

    ParseFitFlags(flags, position, tokens, parameters);
}

std::string CPolynomialFunctionalForm::WriteFunctionalFormLine(const std::vector<CBooleanOption>& booleans,
                                                               const std::vector<CIntegerOption>& integers,
                                                               const std::vector<CDoubleOption>& doubles) const
{
    std::string text = TrimmedLine(GetKeyword() + " " + WriteBooleanOptions(booleans) + WriteDoubleOptions(doubles));
    if (!integers.empty())
        text += TrimmedLine(WriteIntegerOptions(integers));
    return text;
}

// ---------------------------------------------------------------------------
// CNorderValidator

bool CNorderValidator::Validate(int value) const
{
    if (value >= MinimumOrder && value <= MaximumOrder)
        return true;
    throw KelvResult(E_UNEXPECTED, KelvFormat("Value is invalid. Permitted range is %1 to %2.")
                                       << MinimumOrder << MaximumOrder);
}
