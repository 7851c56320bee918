// What a parameter of a functional form is: name, unit, default value and
// its flags. Descriptions are shared by the forms that list them and by
// every parameter made from them; they never change after construction.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

class CParameterDescription {
public:
    // fittable: the parameter takes a fit flag on an interaction line.
    // optional: the parameter may be left out of an interaction line.
    // hidden: the parameter is kept by the model but neither shown to the
    //         user nor written as a value (it still owns a fit-flag slot).
    CParameterDescription(const std::string& name, const std::string& unit, double defaultValue,
                          bool fittable, bool optional, bool hidden = false)
        : m_name(name), m_unit(unit), m_default(defaultValue), m_fittable(fittable),
          m_optional(optional), m_hidden(hidden) {}
    virtual ~CParameterDescription() = default;

    const std::string& GetName() const { return m_name; }
    const std::string& GetUnit() const { return m_unit; }
    double GetDefaultValue() const { return m_default; }
    bool IsFittable() const { return m_fittable; }
    bool IsOptional() const { return m_optional; }
    bool IsHidden() const { return m_hidden; }

private:
    std::string m_name;
    std::string m_unit;
    double m_default;
    bool m_fittable;
    bool m_optional;
    bool m_hidden;
};

using ParameterDescriptionPtr = boost::shared_ptr<CParameterDescription>;
