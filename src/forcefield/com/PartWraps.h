// COM objects of an atom type, an interaction and a parameter. An atom-type
// object holds its atom type and the forcefield it was found in (renaming
// goes through the forcefield, which checks the name); an interaction object
// holds its interaction; a parameter object holds the interaction and the
// parameter's name and finds the parameter on every call, since option
// changes may rebuild the interaction's parameter list (and move the
// parameter to another position, or drop it).
#pragma once

#include "forcefield/com/ForcefieldComIds.h"
#include "forcefield/com/ForcefieldComObject.h"

#include "qorff/AtomType.h"
#include "qorff/Forcefield.h"
#include "qorff/Interaction.h"

#include <string>

class CAtomTypeWrap final : public ForcefieldCom::CWrapper<CAtomTypeWrap, IQoAtomType>
{
public:
    static const CLSID& Clsid() { return QorZelm::CLSID_ZelmAtomType; }
    static KelvComPtr<IQoAtomType> Create(const ForcefieldPtr& forcefield, const AtomTypePtr& atomType);

    HRESULT get_Name(BSTR* pName) override;
    HRESULT put_Name(BSTR name) override;
    HRESULT get_Description(BSTR* pDescription) override;
    // Stores the charge; never fails.
    HRESULT put_Charge(double charge) override;
    HRESULT get_Charge(double* pQ) override;

private:
    friend class ForcefieldCom::CWrapper<CAtomTypeWrap, IQoAtomType>;
    CAtomTypeWrap(const ForcefieldPtr& forcefield, const AtomTypePtr& atomType);
    ForcefieldPtr m_forcefield;
    AtomTypePtr m_atomType;
};

// Indexes pass to the interaction unchanged (as unsigned); an index outside
// its list is the interaction's error.
class CInteractionWrap final : public ForcefieldCom::CWrapper<CInteractionWrap, IQoInteraction>
{
public:
    static const CLSID& Clsid() { return QorZelm::CLSID_ZelmInteraction; }
    static KelvComPtr<IQoInteraction> Create(const InteractionPtr& interaction);

    HRESULT get_FunctionalForm(BSTR* functionalFormName) override;
    HRESULT get_Id(INT* pid) override;
    HRESULT get_ParameterCount(LONG* pCount) override;
    HRESULT get_Parameter(LONG Index, IQoParameter** ppParameter) override;
    HRESULT get_IntegerOptionCount(INT* pCount) override;
    HRESULT get_IntegerOption(INT Index, INT* pValue) override;
    HRESULT get_IntegerOptionNames(SAFEARRAY** pNames) override;
    HRESULT get_IntegerOptionName(INT Index, BSTR* pName) override;
    HRESULT get_IsIntegerOptionEnabled(INT Index, VARIANT_BOOL* pEnabled) override;
    HRESULT put_IntegerOption(INT Index, INT value) override;
    HRESULT get_BooleanOptionCount(INT* pCount) override;
    HRESULT get_BooleanOptionNames(SAFEARRAY** pNames) override;
    HRESULT get_BooleanOption(INT Index, VARIANT_BOOL* pValue) override;
    HRESULT put_BooleanOption(INT Index, VARIANT_BOOL value) override;
    HRESULT get_IsBooleanOptionEnabled(INT Index, VARIANT_BOOL* pEnabled) override;
    HRESULT get_BooleanOptionName(INT Index, BSTR* pName) override;
    HRESULT get_DoubleOptionCount(INT* pCount) override;
    HRESULT get_DoubleOptionNames(SAFEARRAY** pNames) override;
    HRESULT get_DoubleOption(INT Index, double* pValue) override;
    HRESULT put_DoubleOption(INT Index, double value) override;
    HRESULT get_IsDoubleOptionEnabled(INT Index, VARIANT_BOOL* pEnabled) override;
    HRESULT get_DoubleOptionName(INT Index, BSTR* pName) override;

private:
    friend class ForcefieldCom::CWrapper<CInteractionWrap, IQoInteraction>;
    explicit CInteractionWrap(const InteractionPtr& interaction);
    InteractionPtr m_interaction;
};

class CParameterWrap final : public ForcefieldCom::CWrapper<CParameterWrap, IQoParameter>
{
public:
    static const CLSID& Clsid() { return QorZelm::CLSID_ZelmParameter; }
    // The parameter now at `index` of the interaction (an index outside the
    // list is the interaction's error). The object keeps addressing that
    // parameter wherever later option changes put it.
    static KelvComPtr<IQoParameter> Create(const InteractionPtr& interaction, unsigned index);

    HRESULT get_Name(BSTR* pName) override;
    HRESULT get_Unit(BSTR* Unit) override;
    HRESULT get_IsFittable(VARIANT_BOOL* pIsFittable) override;
    HRESULT get_IsHidden(VARIANT_BOOL* pIsHidden) override;
    HRESULT get_IsToBeFitted(VARIANT_BOOL* pIsToBeFitted) override;
    HRESULT put_IsToBeFitted(VARIANT_BOOL isToBeFitted) override;
    HRESULT SetToDefaultValue() override;
    HRESULT get_DefaultValue(double* pValue) override;
    HRESULT get_Value(double* pValue) override;
    HRESULT put_Value(double value) override;
    HRESULT get_Quality(BSTR* pQuality) override;
    HRESULT put_Quality(BSTR quality) override;

private:
    friend class ForcefieldCom::CWrapper<CParameterWrap, IQoParameter>;
    CParameterWrap(const InteractionPtr& interaction, const ParameterDescriptionPtr& description,
                   unsigned occurrence);
    // The parameter as the interaction holds it now; once the interaction
    // has it no longer, KelvResult E_UNEXPECTED naming it.
    CParameter& Parameter() const;
    InteractionPtr m_interaction;
    // The parameter's identity: its description, and which of the
    // parameters made from it it is (a polynomial's coefficients share one).
    // Not its name: a few forms give two parameters one name (the harmonic
    // and the exponential "K" of "bsm"), and an option swaps one for the other.
    ParameterDescriptionPtr m_description;
    unsigned m_occurrence;
};
