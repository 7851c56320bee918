// One parameter of one interaction, made from a (shared) description.
#pragma once

#include <string>

#include <boost/intrusive_ptr.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/smart_ptr/intrusive_ref_counter.hpp>

#include "qorff/ObjectWithName.h"
#include "qorff/ParameterDescription.h"

// A parameter starts at its description's default value, not to be fitted,
// with the description's unit and an empty quality text. Its default value
// and its unit can be changed per parameter (SetDefaultValue,
// SetCustomUnit) without touching the shared description.
class CParameter : public CObjectWithValue<double> {
public:
    // The parameter keeps the description alive. A null description throws
    // KelvResult (E_POINTER).
    explicit CParameter(const ParameterDescriptionPtr& description);

    const std::string& GetName() const { return m_description->GetName(); }
    const std::string& GetUnit() const;
    double GetDefaultValue() const { return m_default; }
    bool IsFittable() const { return m_description->IsFittable(); }
    bool IsOptional() const { return m_description->IsOptional(); }
    bool IsHidden() const { return m_description->IsHidden(); }
    bool IsToBeFitted() const { return m_toBeFitted; }

    // Marking a parameter that is not fittable to be fitted throws
    // KelvResult (E_UNEXPECTED); clearing the mark always succeeds.
    void SetIsToBeFitted(bool toBeFitted);

    void SetDefaultValue(double value) { m_default = value; }
    void SetToDefaultValue() { SetValue(m_default); }

    // Replaces the unit text of this parameter only.
    void SetCustomUnit(const std::string& unit);
    bool HasCustomUnit() const { return m_hasCustomUnit; }

    const std::string& GetQuality() const;
    void SetQuality(const std::string& quality);

    const ParameterDescriptionPtr& GetDescription() const { return m_description; }

private:
    ParameterDescriptionPtr m_description;
    double m_default;
    bool m_toBeFitted = false;
    bool m_hasCustomUnit = false;
    // The texts few parameters have (a unit of their own, a fit's quality),
    // kept apart so that the parameters of every interaction of a big
    // library do not each carry two empty strings. Shared by copies and
    // never changed: a change makes new texts. Counted in place, so that
    // the handle is one pointer.
    struct Texts : boost::intrusive_ref_counter<Texts> {
        std::string customUnit;
        std::string quality;
    };
    boost::intrusive_ptr<const Texts> m_texts;
};
