#include "qorff/Parameter.h"

#include "kelv/kelv.h"

namespace {
const ParameterDescriptionPtr& Checked(const ParameterDescriptionPtr& description)
{
    if (!description)
        throw KelvResult(E_POINTER, "A parameter needs a description.");
    return description;
}
}  // namespace

CParameter::CParameter(const ParameterDescriptionPtr& description)
    : CObjectWithValue<double>(Checked(description)->GetDefaultValue()),
      m_description(description),
      m_default(description->GetDefaultValue())
{
}

const std::string& CParameter::GetUnit() const
{
    return m_hasCustomUnit ? m_customUnit : m_description->GetUnit();
}

void CParameter::SetIsToBeFitted(bool toBeFitted)
{
    if (toBeFitted && !IsFittable())
        throw KelvResult(E_UNEXPECTED, "The parameter \"" + GetName() + "\" cannot be fitted.");
    m_toBeFitted = toBeFitted;
}

void CParameter::SetCustomUnit(const std::string& unit)
{
    m_customUnit = unit;
    m_hasCustomUnit = true;
}
