#include "forcefield/ZelmFunctionalForm.h"

#include <algorithm>
#include <cstddef>

#include "common/FieldParsing.h"

namespace {

double ReadField(const std::string& token)
{
    return GetFieldAsDouble(token, 0);
}

}  // namespace

CZelmFunctionalForm::CZelmFunctionalForm(const std::string& displayName, const std::string& keyword,
                                         const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleanOptions,
                                         const IntegerOptionDescriptionList& integerOptions,
                                         const DoubleOptionDescriptionList& doubleOptions)
    : CFunctionalForm(displayName, keyword, parameters, booleanOptions, integerOptions, doubleOptions)
{
}

CZelmFunctionalForm::CZelmFunctionalForm(const std::string& name, const ParameterDescriptionList& parameters,
                                         const BooleanOptionDescriptionList& booleanOptions,
                                         const IntegerOptionDescriptionList& integerOptions,
                                         const DoubleOptionDescriptionList& doubleOptions)
    : CFunctionalForm(name, name, parameters, booleanOptions, integerOptions, doubleOptions)
{
}

CZelmFunctionalForm::~CZelmFunctionalForm() = default;

void CZelmFunctionalForm::ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                                               const std::vector<CBooleanOption>&,
                                               std::vector<CParameter>& parameters) const
{
    const TokenIterator flags = FindFitFlags(tokens);
    ReadParameterValues(parameters, position, flags, tokens);
    ParseFitFlags(flags, position, tokens, parameters);
}

TokenIterator CZelmFunctionalForm::FindFitFlags(const TokenList& tokens)
{
    return FindTrailingFitFlags(tokens);
}

void CZelmFunctionalForm::ReadParameterValues(std::vector<CParameter>& parameters, TokenIterator firstValue,
                                              TokenIterator firstFlag, const TokenList& tokens)
{
    ReadValues(parameters, firstValue, firstFlag, tokens, &ReadField);
}

void CZelmFunctionalForm::ParseFitFlags(TokenIterator firstFlag, TokenIterator firstValue, const TokenList& tokens,
                                        std::vector<CParameter>& parameters)
{
    // Tokens before the values (atom types) are never flags.
    ApplyFitFlags(std::max(firstFlag, firstValue), tokens, parameters);
}

void CZelmFunctionalForm::SetExclusiveBooleanOption(std::vector<CBooleanOption>& options, int index, bool value,
                                                    int first, int last)
{
    for (int i = std::max(first, 0); i <= last && static_cast<std::size_t>(i) < options.size(); ++i)
        options[static_cast<std::size_t>(i)].SetValue(i == index ? value : false);
}

bool CZelmFunctionalForm::ConvertParameterUnits(const std::list<CParameter*>& parameters,
                                                std::vector<CBooleanOption>& options, int index, bool value,
                                                int kjIndex, int kcalIndex) const
{
    if (index != kjIndex && index != kcalIndex)
        return false;
    const auto flag = [&options](int i) {
        return i >= 0 && static_cast<std::size_t>(i) < options.size() && options[static_cast<std::size_t>(i)].GetValue();
    };
    const int oldUnit = EnergyUnitFromFlags(flag(kjIndex), flag(kcalIndex));
    SetExclusiveBooleanOption(options, index, value, kjIndex, kcalIndex);
    const int newUnit = EnergyUnitFromFlags(flag(kjIndex), flag(kcalIndex));
    for (CParameter* parameter : parameters) {
        if (!parameter)
            continue;
        parameter->SetValue(ConvertEnergyUnits(parameter->GetValue(), oldUnit, newUnit));
        parameter->SetCustomUnit(
            ReplaceUnitLabel(parameter->GetUnit(), EnergyUnitLabel(oldUnit), EnergyUnitLabel(newUnit)));
    }
    return true;
}

bool CZelmFunctionalForm::ChangeUnits(CParameter& parameter, std::vector<CBooleanOption>& options, int index,
                                      bool value, int kjIndex, int kcalIndex) const
{
    return ConvertParameterUnits(std::list<CParameter*>{&parameter}, options, index, value, kjIndex, kcalIndex);
}

double CZelmFunctionalForm::EnergyUnitInEV(int unit)
{
    switch (unit) {
    case UnitKJMol:
        return 0.010364348;
    case UnitKcal:
        return 0.043393453;
    default:
        return 1.0;
    }
}

const std::string& CZelmFunctionalForm::EnergyUnitLabel(int unit)
{
    static const std::string labels[] = {"eV", "kJ/mol", "kcal"};
    return (unit == UnitKJMol || unit == UnitKcal) ? labels[unit] : labels[UnitEV];
}

double CZelmFunctionalForm::ConvertEnergyUnits(double value, int from, int to)
{
    if (from == to)
        return value;
    double result = value;
    if (from == UnitKJMol || from == UnitKcal)
        result *= EnergyUnitInEV(from);
    if (to == UnitKJMol || to == UnitKcal)
        result /= EnergyUnitInEV(to);
    return result;
}

int CZelmFunctionalForm::EnergyUnitFromFlags(bool kjmol, bool kcal)
{
    if (kjmol)
        return UnitKJMol;
    if (kcal)
        return UnitKcal;
    return UnitEV;
}

std::string CZelmFunctionalForm::ReplaceUnitLabel(const std::string& unit, const std::string& from,
                                                  const std::string& to)
{
    const std::string::size_type at = unit.find(from);
    if (from.empty() || at == std::string::npos)
        return unit;
    std::string result = unit;
    result.replace(at, from.size(), to);
    return result;
}
