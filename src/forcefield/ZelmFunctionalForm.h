// The common base of the engine's functional forms: interaction lines with
// trailing fit flags, exclusive groups of boolean options and energy-unit
// conversion.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "qorff/FunctionalForm.h"

class CZelmFunctionalForm : public CFunctionalForm {
public:
    // Energy units by index: 0 eV, 1 kJ/mol, 2 kcal.
    enum EnergyUnit { UnitEV = 0, UnitKJMol = 1, UnitKcal = 2 };

    CZelmFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters,
                        const BooleanOptionDescriptionList& booleanOptions,
                        const IntegerOptionDescriptionList& integerOptions,
                        const DoubleOptionDescriptionList& doubleOptions);
    // One name serving as display name and keyword.
    CZelmFunctionalForm(const std::string& name, const ParameterDescriptionList& parameters,
                        const BooleanOptionDescriptionList& booleanOptions,
                        const IntegerOptionDescriptionList& integerOptions,
                        const DoubleOptionDescriptionList& doubleOptions);
    ~CZelmFunctionalForm() override;

    // Values from `position`, then trailing "0"/"1" fit flags (see
    // CFunctionalForm for the rules). Values are read with
    // GetFieldAsDouble. A line with fewer values than the interaction's
    // parameters need (counted over the parameters passed in) throws
    // KelvResult (E_UNEXPECTED) naming the line, with no parameter changed.
    void ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                              const std::vector<CBooleanOption>& booleans,
                              std::vector<CParameter>& parameters) const override;

    // The three steps of ParseInteractionLine.
    static TokenIterator FindFitFlags(const TokenList& tokens);
    static void ReadParameterValues(std::vector<CParameter>& parameters, TokenIterator firstValue,
                                    TokenIterator firstFlag, const TokenList& tokens);
    static void ParseFitFlags(TokenIterator firstFlag, TokenIterator firstValue, const TokenList& tokens,
                              std::vector<CParameter>& parameters);

    // Sets option `index` to `value` and every other option from `first` to
    // `last` (inclusive, within the list) to false, each through its own
    // setter. Nothing happens when first > last.
    static void SetExclusiveBooleanOption(std::vector<CBooleanOption>& options, int index, bool value,
                                          int first, int last);

    // For index kjIndex or kcalIndex: sets the pair exclusively and converts
    // the listed parameters' values and unit texts from the old energy unit
    // to the new one; true. Any other index: false, nothing changed.
    bool ConvertParameterUnits(const std::list<CParameter*>& parameters, std::vector<CBooleanOption>& options,
                               int index, bool value, int kjIndex, int kcalIndex) const;
    bool ChangeUnits(CParameter& parameter, std::vector<CBooleanOption>& options, int index, bool value,
                     int kjIndex, int kcalIndex) const;

    static double ConvertEnergyUnits(double value, int from, int to);
    static int EnergyUnitFromFlags(bool kjmol, bool kcal);
    static std::string ReplaceUnitLabel(const std::string& unit, const std::string& from, const std::string& to);
    // "eV", "kJ/mol", "kcal"; eV for any other index.
    static const std::string& EnergyUnitLabel(int unit);
    // Value of one unit in eV; 1 for any other index.
    static double EnergyUnitInEV(int unit);
};
