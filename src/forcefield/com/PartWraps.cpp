#include "forcefield/com/PartWraps.h"

#include <algorithm>

using ComDataTypeUtilities::ToBool;

namespace {

template <class T>
const T& Checked(const T& model)
{
    Kelv::CheckNullDereference(model.get());
    return model;
}

// The names of an option list, in list order.
template <class Option>
std::vector<std::string> NamesOf(const std::vector<Option>& options)
{
    std::vector<std::string> names;
    names.reserve(options.size());
    for (const Option& option : options)
        names.push_back(option.GetName());
    return names;
}

} // namespace

// ---------------------------------------------------------------------------
// IQoAtomType

CAtomTypeWrap::CAtomTypeWrap(const ForcefieldPtr& forcefield, const AtomTypePtr& atomType)
    : m_forcefield(forcefield), m_atomType(atomType)
{
}

KelvComPtr<IQoAtomType> CAtomTypeWrap::Create(const ForcefieldPtr& forcefield, const AtomTypePtr& atomType)
{
    return Make(Checked(forcefield), Checked(atomType));
}

HRESULT CAtomTypeWrap::get_Name(BSTR* pName)
{
    return Get(pName, [&] { return m_atomType->GetName(); });
}

HRESULT CAtomTypeWrap::put_Name(BSTR name)
{
    // Through the forcefield, which refuses a name that is taken or that
    // its library could not read back.
    return Call([&] { m_forcefield->RenameAtomType(*m_atomType, Kelv::BSTRToTString(name)); });
}

HRESULT CAtomTypeWrap::get_Description(BSTR* pDescription)
{
    return Get(pDescription, [&] { return m_atomType->GetDescription(); });
}

HRESULT CAtomTypeWrap::put_Charge(double charge)
{
    m_atomType->SetCharge(charge);
    return S_OK;
}

HRESULT CAtomTypeWrap::get_Charge(double* pQ)
{
    return Get(pQ, [&] { return m_atomType->GetCharge(); });
}

// ---------------------------------------------------------------------------
// IQoInteraction

CInteractionWrap::CInteractionWrap(const InteractionPtr& interaction) : m_interaction(interaction) {}

KelvComPtr<IQoInteraction> CInteractionWrap::Create(const InteractionPtr& interaction)
{
    return Make(Checked(interaction));
}

HRESULT CInteractionWrap::get_FunctionalForm(BSTR* functionalFormName)
{
    return Get(functionalFormName, [&] { return m_interaction->GetFunctionalFormName(); });
}

HRESULT CInteractionWrap::get_Id(INT* pid)
{
    return Get(pid, [&] { return m_interaction->GetId(); });
}

HRESULT CInteractionWrap::get_ParameterCount(LONG* pCount)
{
    return Get(pCount, [&] { return m_interaction->GetParameters().size(); });
}

HRESULT CInteractionWrap::get_Parameter(LONG Index, IQoParameter** ppParameter)
{
    return Get(ppParameter, [&] { return CParameterWrap::Create(m_interaction, static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::get_IntegerOptionCount(INT* pCount)
{
    return Get(pCount, [&] { return m_interaction->GetIntegerOptions().size(); });
}

HRESULT CInteractionWrap::get_IntegerOption(INT Index, INT* pValue)
{
    return Get(pValue, [&] { return m_interaction->GetIntegerOptionValue(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::get_IntegerOptionNames(SAFEARRAY** pNames)
{
    return Get(pNames, [&] { return NamesOf(m_interaction->GetIntegerOptions()); });
}

HRESULT CInteractionWrap::get_IntegerOptionName(INT Index, BSTR* pName)
{
    return Get(pName, [&] { return m_interaction->GetIntegerOptionName(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::get_IsIntegerOptionEnabled(INT Index, VARIANT_BOOL* pEnabled)
{
    return Get(pEnabled, [&] { return m_interaction->GetIntegerOptionEnabled(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::put_IntegerOption(INT Index, INT value)
{
    return Call([&] { m_interaction->SetIntegerOptionValue(static_cast<unsigned>(Index), value); });
}

HRESULT CInteractionWrap::get_BooleanOptionCount(INT* pCount)
{
    return Get(pCount, [&] { return m_interaction->GetBooleanOptions().size(); });
}

HRESULT CInteractionWrap::get_BooleanOptionNames(SAFEARRAY** pNames)
{
    return Get(pNames, [&] { return NamesOf(m_interaction->GetBooleanOptions()); });
}

HRESULT CInteractionWrap::get_BooleanOption(INT Index, VARIANT_BOOL* pValue)
{
    return Get(pValue, [&] { return m_interaction->GetBooleanOptionValue(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::put_BooleanOption(INT Index, VARIANT_BOOL value)
{
    return Call([&] { m_interaction->SetBooleanOptionValue(static_cast<unsigned>(Index), ToBool(value)); });
}

HRESULT CInteractionWrap::get_IsBooleanOptionEnabled(INT Index, VARIANT_BOOL* pEnabled)
{
    return Get(pEnabled, [&] { return m_interaction->GetBooleanOptionEnabled(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::get_BooleanOptionName(INT Index, BSTR* pName)
{
    return Get(pName, [&] { return m_interaction->GetBooleanOptionName(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::get_DoubleOptionCount(INT* pCount)
{
    return Get(pCount, [&] { return m_interaction->GetDoubleOptions().size(); });
}

HRESULT CInteractionWrap::get_DoubleOptionNames(SAFEARRAY** pNames)
{
    return Get(pNames, [&] { return NamesOf(m_interaction->GetDoubleOptions()); });
}

HRESULT CInteractionWrap::get_DoubleOption(INT Index, double* pValue)
{
    return Get(pValue, [&] { return m_interaction->GetDoubleOptionValue(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::put_DoubleOption(INT Index, double value)
{
    return Call([&] { m_interaction->SetDoubleOptionValue(static_cast<unsigned>(Index), value); });
}

HRESULT CInteractionWrap::get_IsDoubleOptionEnabled(INT Index, VARIANT_BOOL* pEnabled)
{
    return Get(pEnabled, [&] { return m_interaction->GetDoubleOptionEnabled(static_cast<unsigned>(Index)); });
}

HRESULT CInteractionWrap::get_DoubleOptionName(INT Index, BSTR* pName)
{
    return Get(pName, [&] { return m_interaction->GetDoubleOptionName(static_cast<unsigned>(Index)); });
}

// ---------------------------------------------------------------------------
// IQoParameter

CParameterWrap::CParameterWrap(const InteractionPtr& interaction, const ParameterDescriptionPtr& description,
                               unsigned occurrence)
    : m_interaction(interaction), m_description(description), m_occurrence(occurrence)
{
}

KelvComPtr<IQoParameter> CParameterWrap::Create(const InteractionPtr& interaction, unsigned index)
{
    const std::vector<CParameter>& parameters = Checked(interaction)->GetParameters();
    const ParameterDescriptionPtr& description = interaction->GetParameter(index).GetDescription();
    const auto occurrence = std::count_if(parameters.begin(), parameters.begin() + index, [&](const CParameter& parameter) {
        return parameter.GetDescription() == description;
    });
    return Make(interaction, description, static_cast<unsigned>(occurrence));
}

CParameter& CParameterWrap::Parameter() const
{
    unsigned seen = 0;
    for (CParameter& parameter : m_interaction->GetParameters()) {
        if (parameter.GetDescription() == m_description && seen++ == m_occurrence)
            return parameter;
    }
    // Where another parameter of that name stands now, the unit tells which
    // one is gone.
    const std::string& name = m_description->GetName();
    const std::vector<CParameter>& now = m_interaction->GetParameters();
    const bool named = std::any_of(now.begin(), now.end(), [&](const CParameter& p) { return p.GetName() == name; });
    const std::string& unit = m_description->GetUnit();
    throw KelvResult(E_UNEXPECTED, "The parameter \"" + name + "\"" +
                                       (named && !unit.empty() ? " (" + unit + ")" : std::string()) + " of this \"" +
                                       m_interaction->GetFunctionalFormKeyword() + "\" interaction no longer exists.");
}

HRESULT CParameterWrap::get_Name(BSTR* pName)
{
    return Get(pName, [&] { return Parameter().GetName(); });
}

HRESULT CParameterWrap::get_Unit(BSTR* Unit)
{
    return Get(Unit, [&] { return Parameter().GetUnit(); });
}

HRESULT CParameterWrap::get_IsFittable(VARIANT_BOOL* pIsFittable)
{
    return Get(pIsFittable, [&] { return Parameter().IsFittable(); });
}

HRESULT CParameterWrap::get_IsHidden(VARIANT_BOOL* pIsHidden)
{
    return Get(pIsHidden, [&] { return Parameter().IsHidden(); });
}

HRESULT CParameterWrap::get_IsToBeFitted(VARIANT_BOOL* pIsToBeFitted)
{
    return Get(pIsToBeFitted, [&] { return Parameter().IsToBeFitted(); });
}

HRESULT CParameterWrap::put_IsToBeFitted(VARIANT_BOOL isToBeFitted)
{
    return Call([&] { Parameter().SetIsToBeFitted(ToBool(isToBeFitted)); });
}

HRESULT CParameterWrap::SetToDefaultValue()
{
    return Call([&] { Parameter().SetToDefaultValue(); });
}

HRESULT CParameterWrap::get_DefaultValue(double* pValue)
{
    return Get(pValue, [&] { return Parameter().GetDefaultValue(); });
}

HRESULT CParameterWrap::get_Value(double* pValue)
{
    return Get(pValue, [&] { return Parameter().GetValue(); });
}

HRESULT CParameterWrap::put_Value(double value)
{
    return Call([&] { Parameter().SetValue(value); });
}

HRESULT CParameterWrap::get_Quality(BSTR* pQuality)
{
    return Get(pQuality, [&] { return Parameter().GetQuality(); });
}

HRESULT CParameterWrap::put_Quality(BSTR quality)
{
    return Call([&] { Parameter().SetQuality(Kelv::BSTRToTString(quality)); });
}
