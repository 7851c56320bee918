// The two-body form classes with their own option handling, line readers and
// writers, and the "norder" option of the polynomial form. The core-shell
// form classes (CoreShellForms.h) follow the same option handling.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "forcefield/ZelmFunctionalForm.h"
#include "qorff/OptionDescription.h"

// Boolean options handled by rules. Setting an option:
//  1. a position that is negative or not below the number of boolean options
//     answers false;
//  2. an option that already holds the value answers true, nothing changes
//     (unless the class asked for its rules to act on it as well);
//  3. the first rule (in the order the class added them) that covers the
//     position applies:
//     - exclusive group: the option takes the value and every other member
//       of the group becomes false;
//     - lone option: only the option is set;
//     - parameter set: the class's ApplyParameterSet changes the
//       interaction's parameters and sets the option;
//     - energy-unit pair ("kjmol", "kcal"): the pair is set exclusively and
//       the energy-bearing parameters are converted from the old unit to the
//       new one;
//     an option that no rule covers is left as it is;
//  4. the answer is true.
// Energy-bearing parameters are the interaction's parameters whose
// description's unit begins with "eV"; lengths, inverse lengths, charges and
// dimensionless parameters keep their values when the energy unit changes.
class COptionRulesFunctionalForm : public CZelmFunctionalForm {
public:
    using CZelmFunctionalForm::CZelmFunctionalForm;

    bool SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

    // The base reading, except that when the form has parameter-set options
    // the energy-unit words are applied last: a parameter set returns the
    // interaction to eV, so "botw kjmol combine" still ends in kJ/mol.
    void ParseFunctionalFormLine(const TokenList& tokens, std::vector<CBooleanOption>& booleans,
                                 std::vector<CIntegerOption>& integers, std::vector<CDoubleOption>& doubles,
                                 std::vector<CParameter>& parameters) const override;

    // Position of the boolean option or of the parameter description of that
    // name in the form's lists, or NotFound.
    int BooleanPosition(const std::string& name) const;
    int ParameterPosition(const std::string& name) const;

    // A value of a fixed-layout line: fixed notation with ten decimals and a
    // decimal point; a value that ten decimals would not give back exactly
    // keeps all its digits.
    static std::string FixedDecimalText(double value);

protected:
    enum class RuleKind { Group, Lone, ParameterSet, EnergyUnits };
    struct Rule {
        RuleKind kind;
        int first;
        int last;
    };

    // Rule set-up, for constructors. Names are looked up in the form's
    // boolean options; a rule whose options the form does not have is left
    // out (so one class serves forms with and without "ener"/"grad"). The
    // members of a group must stand next to each other in the form's list.
    void AddGroup(const std::vector<std::string>& names);
    void AddLone(const std::string& name);
    void AddParameterSet(const std::string& name);
    void AddEnergyUnits();
    // The groups that most two-body forms carry: "intra"/"inter" and the
    // bond-distance group ("bond", "x12", "x13", "mol", "o14", or without
    // "mol" for forms that lack it).
    void AddStandardGroups();

    // Changes the parameters for a parameter-set option and sets the option.
    // This base only sets the option.
    virtual void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                                   std::vector<CBooleanOption>& booleans,
                                   std::vector<CParameter>& parameters) const;

    static std::list<CParameter*> EnergyParameters(std::vector<CParameter>& parameters);
    static bool IsEnergyBearing(const CParameter& parameter);

    // A new parameter from the form's description at `position`; when it is
    // energy-bearing its unit text names the interaction's current energy
    // unit.
    CParameter FreshParameter(int position, const std::vector<CBooleanOption>& booleans) const;
    // The interaction's current energy unit (0 eV, 1 kJ/mol, 2 kcal).
    int CurrentEnergyUnit(const std::vector<CBooleanOption>& booleans) const;
    // Sets "kjmol" and "kcal" to false without converting anything.
    void ClearEnergyUnits(std::vector<CBooleanOption>& booleans) const;

    bool HasParameterSets() const;

    // The rules act also when the option already holds the value.
    void ActOnUnchangedValues() { m_testUnchanged = false; }

    // The cubic and quartic constants that a pair of options adds (the cubic
    // one's option at `cubicOption`): the cubic constant stands right after the first
    // parameter, the quartic one after the cubic when that is present, else
    // after the first. Sets the option at `index` and inserts (labelled in
    // the current energy unit) or removes the constant's parameter.
    void ApplyHigherOrderConstant(int index, bool value, std::vector<CBooleanOption>& booleans,
                                  std::vector<CParameter>& parameters, int cubicOption, int cubic,
                                  int quartic) const;


private:
    int RequirePosition(const std::string& name) const;

    std::vector<Rule> m_rules;
    int m_kjmol = NotFound;
    int m_kcal = NotFound;
    bool m_testUnchanged = true;
};

// "srgl": multi-line interaction line.
class CGlueFunctionalForm : public COptionRulesFunctionalForm {
public:
    CGlueFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);

    // Values in fixed notation with ten decimals (a value that ten decimals
    // would not give back exactly is written in full), each followed by one
    // blank; a line break after the 3rd and 8th value, "& " and a line break
    // after the 7th and 12th; then one "1"/"0" per fittable parameter, each
    // followed by one blank; then a line break.
    std::string WriteInteractionLine(const std::vector<CParameter>& parameters,
                                     const std::vector<CBooleanOption>& booleans,
                                     const std::vector<CIntegerOption>& integers) const override;
};

// "lenn": "epsilon" switches between the A/B and the epsilon/sigma shape.
class CLennardFunctionalForm : public COptionRulesFunctionalForm {
public:
    CLennardFunctionalForm(const std::string& displayName, const std::string& keyword,
                           const ParameterDescriptionList& parameters,
                           const BooleanOptionDescriptionList& booleans,
                           const IntegerOptionDescriptionList& integers,
                           const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // "A", "B", "rmin", "rmax".
    void Init(std::vector<CParameter>& parameters) const override;

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int m_a, m_b, m_epsilon, m_sigma;
};

// "botw": "combine" switches between the six standard parameters and
// "chiR"/"chiA".
class CBoTwoBodyFunctionalForm : public COptionRulesFunctionalForm {
public:
    CBoTwoBodyFunctionalForm(const std::string& displayName, const std::string& keyword,
                             const ParameterDescriptionList& parameters,
                             const BooleanOptionDescriptionList& booleans,
                             const IntegerOptionDescriptionList& integers,
                             const DoubleOptionDescriptionList& doubles);

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;
};

class CBuckFunctionalForm : public COptionRulesFunctionalForm {
public:
    CBuckFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "eam_p": "kjmol", "kcal" and "au" form a plain exclusive group.
class CEamPotentialShiftFunctionalForm : public COptionRulesFunctionalForm {
public:
    CEamPotentialShiftFunctionalForm(const std::string& displayName, const std::string& keyword,
                                     const ParameterDescriptionList& parameters,
                                     const BooleanOptionDescriptionList& booleans,
                                     const IntegerOptionDescriptionList& integers,
                                     const DoubleOptionDescriptionList& doubles);
};

class CBuck4FunctionalForm : public COptionRulesFunctionalForm {
public:
    CBuck4FunctionalForm(const std::string& displayName, const std::string& keyword,
                         const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                         const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "igau", "ryd", "cove", "ferm", "qtap", "sw2".
class CEnerGradFunctionalForm : public COptionRulesFunctionalForm {
public:
    CEnerGradFunctionalForm(const std::string& displayName, const std::string& keyword,
                            const ParameterDescriptionList& parameters,
                            const BooleanOptionDescriptionList& booleans,
                            const IntegerOptionDescriptionList& integers,
                            const DoubleOptionDescriptionList& doubles);
};

class CTsuneyukiFunctionalForm : public COptionRulesFunctionalForm {
public:
    // No integer or double options.
    CTsuneyukiFunctionalForm(const std::string& displayName, const std::string& keyword,
                             const ParameterDescriptionList& parameters,
                             const BooleanOptionDescriptionList& booleans);
};

class CMorsFunctionalForm : public COptionRulesFunctionalForm {
public:
    CMorsFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "ljbuf": its form line carries the exponents "n" and "m" right after the
// keyword: "ljbuf n m [options] [scale14]".
class CLjBufferedFunctionalForm : public COptionRulesFunctionalForm {
public:
    CLjBufferedFunctionalForm(const std::string& displayName, const std::string& keyword,
                              const ParameterDescriptionList& parameters,
                              const BooleanOptionDescriptionList& booleans,
                              const IntegerOptionDescriptionList& integers,
                              const DoubleOptionDescriptionList& doubles);

    void ParseFunctionalFormLine(const TokenList& tokens, std::vector<CBooleanOption>& booleans,
                                 std::vector<CIntegerOption>& integers, std::vector<CDoubleOption>& doubles,
                                 std::vector<CParameter>& parameters) const override;
    std::string WriteFunctionalFormLine(const std::vector<CBooleanOption>& booleans,
                                        const std::vector<CIntegerOption>& integers,
                                        const std::vector<CDoubleOption>& doubles) const override;
};

// "qerfc": "au", "nm" and "pm" form a plain exclusive group.
class CQerfcFunctionalForm : public COptionRulesFunctionalForm {
public:
    CQerfcFunctionalForm(const std::string& displayName, const std::string& keyword,
                         const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                         const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "sw2j".
class CLongFunctionalForm : public COptionRulesFunctionalForm {
public:
    CLongFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "harm": the options "k3" and "k4" add the cubic and quartic constants.
class CHarmonicFunctionalForm : public COptionRulesFunctionalForm {
public:
    CHarmonicFunctionalForm(const std::string& displayName, const std::string& keyword,
                            const ParameterDescriptionList& parameters,
                            const BooleanOptionDescriptionList& booleans,
                            const IntegerOptionDescriptionList& integers,
                            const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // "k2", "r0", "coul", "rmin", "rmax".
    void Init(std::vector<CParameter>& parameters) const override;

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int m_k3Option, m_k3, m_k4, m_firstExtra;
};

class CSQHarmonicFunctionalForm : public COptionRulesFunctionalForm {
public:
    CSQHarmonicFunctionalForm(const std::string& displayName, const std::string& keyword,
                              const ParameterDescriptionList& parameters,
                              const BooleanOptionDescriptionList& booleans,
                              const IntegerOptionDescriptionList& integers,
                              const DoubleOptionDescriptionList& doubles);
};

// "poly": the order ("norder", on its own line after the form line) sets the
// number of coefficients; "harmonic" adds "r0" after them.
class CPolynomialFunctionalForm : public COptionRulesFunctionalForm {
public:
    CPolynomialFunctionalForm(const std::string& displayName, const std::string& keyword,
                              const ParameterDescriptionList& parameters,
                              const BooleanOptionDescriptionList& booleans,
                              const IntegerOptionDescriptionList& integers,
                              const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // The order-5 interaction: "coefficient0" to "coefficient5", "rmin",
    // "rmax".
    void Init(std::vector<CParameter>& parameters) const override;

    // "poly" [option words] [scale14]; words after the number are ignored.
    void ParseFunctionalFormLine(const TokenList& tokens, std::vector<CBooleanOption>& booleans,
                                 std::vector<CIntegerOption>& integers, std::vector<CDoubleOption>& doubles,
                                 std::vector<CParameter>& parameters) const override;
    // Coefficients, "r0" when "harmonic" is on, then "rmax" with "rmin"
    // before it or left out.
    void ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                              const std::vector<CBooleanOption>& booleans,
                              std::vector<CParameter>& parameters) const override;
    // The keyword line, then the order on a line of its own.
    std::string WriteFunctionalFormLine(const std::vector<CBooleanOption>& booleans,
                                        const std::vector<CIntegerOption>& integers,
                                        const std::vector<CDoubleOption>& doubles) const override;
    // A new order rebuilds the parameters at their defaults, keeping the
    // energy unit: rebuilt coefficients are labelled in the current unit.
    bool SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int Order(const std::vector<CIntegerOption>& integers) const;

    int m_harmonic, m_r0, m_rmin, m_rmax;
};

class CGeneralFunctionalForm : public COptionRulesFunctionalForm {
public:
    CGeneralFunctionalForm(const std::string& displayName, const std::string& keyword,
                           const ParameterDescriptionList& parameters,
                           const BooleanOptionDescriptionList& booleans,
                           const IntegerOptionDescriptionList& integers,
                           const DoubleOptionDescriptionList& doubles);
};

class CDampFunctionalForm : public COptionRulesFunctionalForm {
public:
    CDampFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

class CCoulombFunctionalForm : public COptionRulesFunctionalForm {
public:
    CCoulombFunctionalForm(const std::string& displayName, const std::string& keyword,
                           const ParameterDescriptionList& parameters,
                           const BooleanOptionDescriptionList& booleans,
                           const IntegerOptionDescriptionList& integers,
                           const DoubleOptionDescriptionList& doubles);
};

// The order of a polynomial: 1 to 5. A refused value throws KelvResult
// (E_UNEXPECTED) "Value is invalid. Permitted range is 1 to 5.".
class CNorderValidator : public virtual CMinimumValidator<int> {
public:
    CNorderValidator() : CMinimumValidator<int>(MinimumOrder) {}
    bool Validate(int value) const override;
    ~CNorderValidator() override = default;

    static constexpr int MinimumOrder = 1;
    static constexpr int MaximumOrder = 5;
};

// The integer option "norder" (default 5), its own validator.
class CNorderDescription : public CIntegerOptionDescription, public CNorderValidator {
public:
    CNorderDescription() : CMinimumValidator<int>(MinimumOrder), CIntegerOptionDescription("norder", 5) {}
};
