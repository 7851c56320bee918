// The core-shell form classes with option handling of their own; they follow
// the option rules of the two-body forms (TwoBodyForms.h).
#pragma once

#include <string>
#include <vector>

#include "forcefield/TwoBodyForms.h"

// "bore" and "boat": "theta" appends "c", "d" and "h" (empty unit, 0.0,
// fittable) and removes them again.
class CBoFunctionalForm : public COptionRulesFunctionalForm {
public:
    CBoFunctionalForm(const std::string& displayName, const std::string& keyword,
                      const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                      const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;
};

// "bsm": the harmonic shape "K" (eV/Å^2), "r0" or, with "exponential" or
// "single_exponential" on, the exponential shape "K" (eV), "rho", "r0". A
// change of shape returns the interaction to eV.
class CBsmFunctionalForm : public COptionRulesFunctionalForm {
public:
    CBsmFunctionalForm(const std::string& displayName, const std::string& keyword,
                       const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                       const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);

    using CFunctionalForm::Init;
    // The harmonic shape.
    void Init(std::vector<CParameter>& parameters) const override;

protected:
    void ApplyParameterSet(int index, bool value, std::vector<CIntegerOption>& integers,
                           std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override;

private:
    int m_exponential, m_singleExponential;
};

// "spri" and "cosh": the energy-unit pair converts the energy-bearing
// parameters ("k2" and "k4" of "spri", "k2" of "cosh").
class CSpringFunctionalForm : public COptionRulesFunctionalForm {
public:
    CSpringFunctionalForm(const std::string& displayName, const std::string& keyword,
                          const ParameterDescriptionList& parameters, const BooleanOptionDescriptionList& booleans,
                          const IntegerOptionDescriptionList& integers, const DoubleOptionDescriptionList& doubles);
};
