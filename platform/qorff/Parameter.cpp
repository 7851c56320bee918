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
    return m_hasCustomUnit ? m_texts->customUnit : m_description->GetUnit();
}

const std::string& CParameter::GetQuality() const
{
    static const std::string none;
    return m_texts ? m_texts->quality : none;
}

void CParameter::SetQuality(const std::string& quality)
{
    if (!m_texts && quality.empty())
        return;
    boost::intrusive_ptr<Texts> texts(new Texts(m_texts ? *m_texts : Texts()));
    texts->quality = quality;
    m_texts = texts;
}

void CParameter::SetIsToBeFitted(bool toBeFitted)
{
    if (toBeFitted && !IsFittable())
        throw KelvResult(E_UNEXPECTED, "The parameter \"" + GetName() + "\" cannot be fitted.");
    m_toBeFitted = toBeFitted;
}

void CParameter::SetCustomUnit(const std::string& unit)
{
    boost::intrusive_ptr<Texts> texts(new Texts(m_texts ? *m_texts : Texts()));
    texts->customUnit = unit;
    m_texts = texts;
    m_hasCustomUnit = true;
}
