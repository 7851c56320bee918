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
    return HasCustomUnit() ? m_texts->customUnit : m_description->GetUnit();
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
    Texts* texts = new Texts(m_texts ? *m_texts : Texts());
    texts->quality = quality;
    m_texts.Reset(texts);
}

void CParameter::SetIsToBeFitted(bool toBeFitted)
{
    if (toBeFitted && !IsFittable())
        throw KelvResult(E_UNEXPECTED, "The parameter \"" + GetName() + "\" cannot be fitted.");
    m_texts.SetFlag(toBeFitted);
}

void CParameter::SetCustomUnit(const std::string& unit)
{
    Texts* texts = new Texts(m_texts ? *m_texts : Texts());
    texts->customUnit = unit;
    texts->hasCustomUnit = true;
    m_texts.Reset(texts);
}
