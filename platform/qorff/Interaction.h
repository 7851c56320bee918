// One interaction: a functional form applied with its own parameters and
// options. Which atom types it joins is kept by the forcefield.
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "qorff/FunctionalForm.h"
#include "qorff/Option.h"
#include "qorff/Parameter.h"

// Index accessors throw KelvResult (E_UNEXPECTED) for an index outside the
// list. Option setters go through the form (so its couplings apply: groups,
// unit conversion, parameter sets) and throw KelvResult (E_UNEXPECTED)
// for a disabled option; an integer value refused by the option's validator
// throws the validator's error, leaving the interaction unchanged.
class CInteraction {
public:
    // A new interaction of the form with every parameter and option at its
    // form's defaults (the form's four Init operations). A null form throws
    // KelvResult (E_POINTER).
    explicit CInteraction(const boost::shared_ptr<CFunctionalForm>& form);
    // An interaction over the given values, as read from a library.
    CInteraction(const boost::shared_ptr<CFunctionalForm>& form, const std::vector<CParameter>& parameters,
                 const std::vector<CBooleanOption>& booleans, const std::vector<CIntegerOption>& integers,
                 const std::vector<CDoubleOption>& doubles);

    const boost::shared_ptr<CFunctionalForm>& GetFunctionalForm() const { return m_form; }
    // The form's display name (the name the forms are listed and found by).
    const std::string& GetFunctionalFormName() const { return m_form->GetName(); }
    const std::string& GetFunctionalFormKeyword() const { return m_form->GetKeyword(); }

    // Distinguishes interactions of one form between the same atom types;
    // given by the forcefield.
    int GetId() const { return m_id; }
    void SetId(int id) { m_id = id; }

    std::vector<CParameter>& GetParameters() { return m_parameters; }
    const std::vector<CParameter>& GetParameters() const { return m_parameters; }
    CParameter& GetParameter(unsigned index);
    const CParameter& GetParameter(unsigned index) const;

    std::vector<CBooleanOption>& GetBooleanOptions() { return m_booleans; }
    const std::vector<CBooleanOption>& GetBooleanOptions() const { return m_booleans; }
    std::vector<CIntegerOption>& GetIntegerOptions() { return m_integers; }
    const std::vector<CIntegerOption>& GetIntegerOptions() const { return m_integers; }
    std::vector<CDoubleOption>& GetDoubleOptions() { return m_doubles; }
    const std::vector<CDoubleOption>& GetDoubleOptions() const { return m_doubles; }

    bool GetBooleanOptionValue(unsigned index) const;
    void SetBooleanOptionValue(unsigned index, bool value);
    const std::string& GetBooleanOptionName(unsigned index) const;
    bool GetBooleanOptionEnabled(unsigned index) const;

    int GetIntegerOptionValue(unsigned index) const;
    void SetIntegerOptionValue(unsigned index, int value);
    const std::string& GetIntegerOptionName(unsigned index) const;
    bool GetIntegerOptionEnabled(unsigned index) const;

    double GetDoubleOptionValue(unsigned index) const;
    void SetDoubleOptionValue(unsigned index, double value);
    const std::string& GetDoubleOptionName(unsigned index) const;
    bool GetDoubleOptionEnabled(unsigned index) const;

    // The form's texts for this interaction (see CFunctionalForm).
    std::string WriteFunctionalFormLine() const;
    std::string WriteInteractionLine() const;

    void MarkAllParametersNoFit();

private:
    boost::shared_ptr<CFunctionalForm> m_form;
    int m_id = 0;
    std::vector<CParameter> m_parameters;
    std::vector<CBooleanOption> m_booleans;
    std::vector<CIntegerOption> m_integers;
    std::vector<CDoubleOption> m_doubles;
};

using InteractionPtr = boost::shared_ptr<CInteraction>;
