#include "qorff/Option.h"

#include <sstream>

#include "kelv/kelv.h"

template <class T>
COption<T>::COption(const boost::shared_ptr<Description>& description, bool enabled)
    : CObjectWithValue<T>(description ? description->GetDefaultValue() : T()),
      m_enabled(enabled),
      m_description(description)
{
    if (!description)
        throw KelvResult(E_POINTER, "An option needs a description.");
}

template class COption<bool>;
template class COption<int>;
template class COption<double>;

CBooleanOption::CBooleanOption(const boost::shared_ptr<CBooleanOptionDescription>& description, bool enabled)
    : COption<bool>(description, enabled)
{
}

CDoubleOption::CDoubleOption(const boost::shared_ptr<CDoubleOptionDescription>& description, bool enabled)
    : COption<double>(description, enabled)
{
}

CIntegerOption::CIntegerOption(const boost::shared_ptr<CIntegerOptionDescription>& description, bool enabled)
    : COption<int>(description, enabled)
{
}

void CIntegerOption::Validate(int value) const
{
    // The description was given to the constructor as an integer option's.
    static_cast<const CIntegerOptionDescription&>(*GetDescription()).CheckValue(value);
}

void CIntegerOption::SetValue(const int& value)
{
    Validate(value);
    COption<int>::SetValue(value);
}

const CMinimumValidator<int>* CIntegerOptionDescription::GetValidator() const
{
    if (m_validator)
        return m_validator.get();
    return dynamic_cast<const CMinimumValidator<int>*>(this);
}

void CIntegerOptionDescription::CheckValue(int value) const
{
    const CMinimumValidator<int>* validator = GetValidator();
    if (validator && !validator->Validate(value)) {
        std::ostringstream message;
        message << "The value " << value << " is not permitted for the option \"" << GetName() << "\".";
        throw KelvResult(E_UNEXPECTED, message.str());
    }
}
