// The form classes of the three-body interaction type. What they add to the
// option rules is which options exclude each other, which parameters the
// energy units convert ("K" of most forms, "K1" and "K2" of "bacr", "A" and
// "B" of "hydro", "k" with "k3" and "k4" of "thre": every parameter whose
// unit is an energy unit), which parameters "taper", "k3" and "k4" add, and
// the option keyword "mol".
#pragma once

#include <string>
#include <vector>

#include "forcefield/TwoBodyForms.h"

// "equa", "lin3", "axil", "bcro", "bcos", "murr", "expo", "sw3j", "urey",
// "uff3": "intra"/"inter" exclude each other, "bond" is set alone, "kjmol"
// and "kcal" convert the energy constant.
class CThreeBodyGenericFunctionalForm : public COptionRulesFunctionalForm {
public:
    CThreeBodyGenericFunctionalForm(const std::string& displayName, const std::string& keyword,
                                    const ParameterDescriptionList& parameters,
                                    const BooleanOptionDescriptionList& booleans,
                                    const IntegerOptionDescriptionList& integers,
                                    const DoubleOptionDescriptionList& doubles);

    // "mol" names the form's own "mol" option where it has one, else "bond".
    int IndexOfBooleanOption(const std::string& keyword) const override;

protected:
    // For derived classes, which add rules of their own.
    struct NoRules {};
    CThreeBodyGenericFunctionalForm(NoRules, const std::string& displayName, const std::string& keyword,
                                    const ParameterDescriptionList& parameters,
                                    const BooleanOptionDescriptionList& booleans,
                                    const IntegerOptionDescriptionList& integers,
                                    const DoubleOptionDescriptionList& doubles);
};

// "sw3": "modified" and "bond" set alone, "intra"/"inter" exclusive.
class CSw3FunctionalForm : public CThreeBodyGenericFunctionalForm {
public:
    CSw3FunctionalForm(const std::string& displayName, const std::string& keyword,
                       const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                       const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};

// "bacr": as the generic forms, the units converting "K1" and "K2"; the
// option keywords are looked up exactly.
class CBacrossFunctionalForm : public COptionRulesFunctionalForm {
public:
    CBacrossFunctionalForm(const std::string& displayName, const std::string& keyword,
                           const ParameterDescriptionList& parameters,
                           const BooleanOptionDescriptionList& booleans,
                           const IntegerOptionDescriptionList& integers,
                           const DoubleOptionDescriptionList& doubles);
};

// "hydro": "taper" adds "theta_min" and "theta_max" after "B". Parameters
// that stay keep their values and units across every option change.
class CHydrogenFunctionalForm : public CThreeBodyGenericFunctionalForm {
public:
    CHydrogenFunctionalForm(const std::string& displayName, const std::string& keyword,
                            const ParameterDescriptionList& parameters,
                            const BooleanOptionDescriptionList& booleans,
                            const IntegerOptionDescriptionList& integers,
                            const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // "A", "B" and the cut-offs ("taper" off).
    void Init(std::vector<CParameter>& parameters) const override;
    // "m", "n", "p": the option alone changes.
    bool SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int m_thetaMin, m_thetaMax;
};

// "thre": "exponential"/"vessal"/"cosine", "intra"/"inter" and "bond"/"mol"
// exclude each other; "k3" and "k4" add their constants after "k".
class CThreeBodyFunctionalForm : public CThreeBodyGenericFunctionalForm {
public:
    CThreeBodyFunctionalForm(const std::string& displayName, const std::string& keyword,
                             const ParameterDescriptionList& parameters,
                             const BooleanOptionDescriptionList& booleans,
                             const IntegerOptionDescriptionList& integers,
                             const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // "k", "theta0" and the cut-offs.
    void Init(std::vector<CParameter>& parameters) const override;

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int m_k3Option, m_k3, m_k4;
};
