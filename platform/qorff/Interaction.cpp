#include "qorff/Interaction.h"

#include <sstream>

#include "kelv/kelv.h"

namespace {

const boost::shared_ptr<CFunctionalForm>& Checked(const boost::shared_ptr<CFunctionalForm>& form)
{
    if (!form)
        throw KelvResult(E_POINTER, "An interaction needs a functional form.");
    return form;
}

template <class List>
void CheckIndex(const List& list, unsigned index, const char* what)
{
    if (index >= list.size()) {
        std::ostringstream message;
        message << "The " << what << " index " << index << " is out of range (" << list.size() << " present).";
        throw KelvResult(E_UNEXPECTED, message.str());
    }
}

[[noreturn]] void ThrowRefused(const CFunctionalForm& form, const char* what, unsigned index)
{
    std::ostringstream message;
    message << "The functional form \"" << form.GetKeyword() << "\" has no " << what << " at index " << index << ".";
    throw KelvResult(E_UNEXPECTED, message.str());
}

template <class Option>
void CheckEnabled(const Option& option)
{
    if (!option.IsEnabled())
        throw KelvResult(E_UNEXPECTED, "The option \"" + option.GetName() + "\" is disabled and cannot be changed.");
}

}  // namespace

CInteraction::CInteraction(const boost::shared_ptr<CFunctionalForm>& form) : m_form(Checked(form))
{
    m_form->Init(m_booleans);
    m_form->Init(m_integers);
    m_form->Init(m_doubles);
    m_form->Init(m_parameters);
}

CInteraction::CInteraction(const boost::shared_ptr<CFunctionalForm>& form, const std::vector<CParameter>& parameters,
                           const std::vector<CBooleanOption>& booleans, const std::vector<CIntegerOption>& integers,
                           const std::vector<CDoubleOption>& doubles)
    : m_form(Checked(form)), m_parameters(parameters), m_booleans(booleans), m_integers(integers), m_doubles(doubles)
{
}

CParameter& CInteraction::GetParameter(unsigned index)
{
    CheckIndex(m_parameters, index, "parameter");
    return m_parameters[index];
}

const CParameter& CInteraction::GetParameter(unsigned index) const
{
    CheckIndex(m_parameters, index, "parameter");
    return m_parameters[index];
}

bool CInteraction::GetBooleanOptionValue(unsigned index) const
{
    CheckIndex(m_booleans, index, "boolean option");
    return m_booleans[index].GetValue();
}

void CInteraction::SetBooleanOptionValue(unsigned index, bool value)
{
    CheckIndex(m_booleans, index, "boolean option");
    CheckEnabled(m_booleans[index]);
    if (!m_form->SetBooleanOption(static_cast<int>(index), value, m_integers, m_booleans, m_parameters))
        ThrowRefused(*m_form, "boolean option", index);
}

const std::string& CInteraction::GetBooleanOptionName(unsigned index) const
{
    CheckIndex(m_booleans, index, "boolean option");
    return m_booleans[index].GetName();
}

bool CInteraction::GetBooleanOptionEnabled(unsigned index) const
{
    CheckIndex(m_booleans, index, "boolean option");
    return m_booleans[index].IsEnabled();
}

int CInteraction::GetIntegerOptionValue(unsigned index) const
{
    CheckIndex(m_integers, index, "integer option");
    return m_integers[index].GetValue();
}

void CInteraction::SetIntegerOptionValue(unsigned index, int value)
{
    CheckIndex(m_integers, index, "integer option");
    CheckEnabled(m_integers[index]);
    // The validator decides before the form touches anything.
    m_integers[index].Validate(value);
    if (!m_form->SetIntegerOption(static_cast<int>(index), value, m_integers, m_booleans, m_parameters))
        ThrowRefused(*m_form, "integer option", index);
}

const std::string& CInteraction::GetIntegerOptionName(unsigned index) const
{
    CheckIndex(m_integers, index, "integer option");
    return m_integers[index].GetName();
}

bool CInteraction::GetIntegerOptionEnabled(unsigned index) const
{
    CheckIndex(m_integers, index, "integer option");
    return m_integers[index].IsEnabled();
}

double CInteraction::GetDoubleOptionValue(unsigned index) const
{
    CheckIndex(m_doubles, index, "double option");
    return m_doubles[index].GetValue();
}

void CInteraction::SetDoubleOptionValue(unsigned index, double value)
{
    CheckIndex(m_doubles, index, "double option");
    CheckEnabled(m_doubles[index]);
    if (!m_form->SetDoubleOption(static_cast<int>(index), value, m_integers, m_booleans, m_doubles, m_parameters))
        ThrowRefused(*m_form, "double option", index);
}

const std::string& CInteraction::GetDoubleOptionName(unsigned index) const
{
    CheckIndex(m_doubles, index, "double option");
    return m_doubles[index].GetName();
}

bool CInteraction::GetDoubleOptionEnabled(unsigned index) const
{
    CheckIndex(m_doubles, index, "double option");
    return m_doubles[index].IsEnabled();
}

std::string CInteraction::WriteFunctionalFormLine() const
{
    return m_form->WriteFunctionalFormLine(m_booleans, m_integers, m_doubles);
}

std::string CInteraction::WriteInteractionLine() const
{
    return m_form->WriteInteractionLine(m_parameters, m_booleans, m_integers);
}

void CInteraction::MarkAllParametersNoFit()
{
    for (CParameter& parameter : m_parameters)
        parameter.SetIsToBeFitted(false);
}
