// The form classes of the four-body interaction type: torsions, inversions
// and out-of-plane terms. What they add to the option rules is which
// options exclude each other, the "esff" switch of the torsions, the
// Ryckaert order and coefficient lines, and the option keyword "mol".
// The energy units convert the parameters whose unit is an energy unit:
// "k" or "K", "k1" and "k2" while "esff" is on, "k" and "k4" of "outo".
#pragma once

#include <string>
#include <vector>

#include "forcefield/TwoBodyForms.h"

// "mol" names the form's own "mol" option where it has one, else "bond".
// The base of most four-body forms; never registered itself.
class CIgnoreMolFunctionalForm : public COptionRulesFunctionalForm {
public:
    using COptionRulesFunctionalForm::COptionRulesFunctionalForm;

    int IndexOfBooleanOption(const std::string& keyword) const override;
};

// "inve": "squared" is set alone; "intra", "inter", "bond" and "mol"
// exclude each other.
class CInversionFunctionalForm : public COptionRulesFunctionalForm {
public:
    CInversionFunctionalForm(const std::string& displayName, const std::string& keyword,
                             const ParameterDescriptionList& parameters,
                             const BooleanOptionDescriptionList& booleans,
                             const IntegerOptionDescriptionList& integers,
                             const DoubleOptionDescriptionList& doubles);

    int IndexOfBooleanOption(const std::string& keyword) const override;
};

// "tors": "esff" rebuilds the whole parameter list at zero, with "k1" and
// "k2" in place of "k". A form line's "esff" acts before its energy unit.
class CTorsFunctionalForm : public CIgnoreMolFunctionalForm {
public:
    CTorsFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;
};

// "tort", "tore": "esff" puts "k1" and "k2" in place of "k" and "phi0",
// keeping the other values. The last two descriptions ("k1", "k2") are
// present only while "esff" is on.
class CFourFunctionalForm : public CIgnoreMolFunctionalForm {
public:
    CFourFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    void Init(std::vector<CParameter>& parameters) const override;

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int m_k, m_phi0, m_k1, m_k2;
};

// "torh", "uff4": "intra", "inter", "bond" exclusive, "dreiding" alone.
class CNoEsffFunctionalForm : public CIgnoreMolFunctionalForm {
public:
    CNoEsffFunctionalForm(const std::string& displayName, const std::string& keyword,
                          const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                          const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "tora": "intra" and "bond" exclusive, "dreiding" alone; keywords are
// looked up exactly.
class CToraFunctionalForm : public COptionRulesFunctionalForm {
public:
    CToraFunctionalForm(const std::string& displayName, const std::string& keyword,
                        const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                        const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "outo": "inter"/"intra" exclusive, "bond" alone. Its rules act even when
// the option already holds the value, so switching "intra" off clears
// "inter" too.
class COutOfPlaneFunctionalForm : public CIgnoreMolFunctionalForm {
public:
    COutOfPlaneFunctionalForm(const std::string& displayName, const std::string& keyword,
                              const ParameterDescriptionList& parameters,
                              const BooleanOptionDescriptionList& booleans,
                              const IntegerOptionDescriptionList& integers,
                              const DoubleOptionDescriptionList& doubles);
};

// "ryck": "k0", four cut-offs and the coefficients 0 to "norder".
class CRyckaertFunctionalForm : public CIgnoreMolFunctionalForm {
public:
    CRyckaertFunctionalForm(const std::string& displayName, const std::string& keyword,
                            const ParameterDescriptionList& parameters,
                            const BooleanOptionDescriptionList& booleans,
                            const IntegerOptionDescriptionList& integers,
                            const DoubleOptionDescriptionList& doubles);

    // Two kinds of line:
    //  - an interaction line (values after the atom types, more than five
    //    words): values fill the parameters in order, the coefficients too,
    //    up to the trailing fit flags; then the fit flags; values that end
    //    early leave the rest as it was;
    //  - a coefficient line (values from the line's first word, or a line of
    //    five words or fewer): the coefficients from "coefficient0" on, one
    //    word each; no fit flags.
    // A word that holds no number throws KelvResult (E_UNEXPECTED) with no
    // parameter changed.
    void ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                              const std::vector<CBooleanOption>& booleans,
                              std::vector<CParameter>& parameters) const override;
    // A new order drops the coefficients above it or appends the missing
    // ones at their defaults; an order outside 1 to 5 is refused by the
    // option (KelvResult) with nothing changed.
    bool SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int m_firstCoefficient;
};
