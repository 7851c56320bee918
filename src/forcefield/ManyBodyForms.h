// The form classes of the many-body (embedded-atom) interaction type. Each
// form offers variants chosen by a group of exclusive boolean options; a
// variant holds only its own parameters, and choosing one rebuilds the
// parameter list at the defaults. Both write their values in fixed notation
// with ten decimals, and the "glue" variants over several lines.
#pragma once

#include <string>
#include <vector>

#include "forcefield/TwoBodyForms.h"

// The variants of a form: for each boolean option of the variant group (by
// position), the positions of its parameters in the order they take.
using VariantParameters = std::vector<std::vector<int>>;

// "eam_f", the embedding functional: "square_root", "power",
// "banerjea_smith", "johnson", "glue", "foiles". "power" and
// "banerjea_smith" carry the integer option "n"; the others none.
class CFunctionalFunctionalForm : public COptionRulesFunctionalForm {
public:
    CFunctionalFunctionalForm(const std::string& displayName, const std::string& keyword,
                              const ParameterDescriptionList& parameters,
                              const BooleanOptionDescriptionList& booleans,
                              const IntegerOptionDescriptionList& integers,
                              const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // "A" ("square_root").
    void Init(std::vector<CParameter>& parameters) const override;
    // None ("square_root" has no "n").
    void Init(std::vector<CIntegerOption>& integers) const override;
    // Switching the selected variant off selects "square_root".
    bool SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;
    // The option alone changes.
    bool SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;
    // Values, then one flag per fittable parameter; "glue" breaks the line
    // after the 2nd, 7th and 12th value and puts "& " and a break after the
    // 5th and 10th.
    std::string WriteInteractionLine(const std::vector<CParameter>& parameters,
                                     const std::vector<CBooleanOption>& booleans,
                                     const std::vector<CIntegerOption>& integers) const override;

private:
    VariantParameters m_variants;
    int m_glue;
};

// "eam_d", the atomic density: "power", "exponential", "gaussian", "cubic",
// "quadratic", "quartic", "voter", "evoter", "glue", then "kjmol", "kcal".
// A variant cannot be switched off: doing so selects it again with its
// parameters at their defaults. Choosing a variant returns to eV.
class CDensityFunctionalForm : public COptionRulesFunctionalForm {
public:
    CDensityFunctionalForm(const std::string& displayName, const std::string& keyword,
                           const ParameterDescriptionList& parameters,
                           const BooleanOptionDescriptionList& booleans,
                           const IntegerOptionDescriptionList& integers,
                           const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // "C" ("power").
    void Init(std::vector<CParameter>& parameters) const override;
    bool SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;
    // As "eam_f", with "glue" breaking the line after the 3rd, 7th and 11th
    // value.
    std::string WriteInteractionLine(const std::vector<CParameter>& parameters,
                                     const std::vector<CBooleanOption>& booleans,
                                     const std::vector<CIntegerOption>& integers) const override;

private:
    VariantParameters m_variants;
    int m_glue;
};
