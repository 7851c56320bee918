// Descriptions of the options of a functional form: a keyword and a default
// value, one class per value type. An integer option may carry a validator
// that every change of the option's value passes before it is made.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

// Accepts values not below a minimum. Derived validators override Validate;
// a validator may also throw a KelvResult of its own to explain a refusal.
template <class T>
class CMinimumValidator {
public:
    explicit CMinimumValidator(const T& minimum = T()) : m_minimum(minimum) {}
    virtual bool Validate(T value) const { return !(value < m_minimum); }
    virtual ~CMinimumValidator() = default;

    const T& GetMinimum() const { return m_minimum; }

private:
    T m_minimum;
};

template <class T>
class COptionDescription {
public:
    COptionDescription(const std::string& name, const T& defaultValue)
        : m_name(name), m_default(defaultValue) {}
    virtual ~COptionDescription() = default;

    const std::string& GetName() const { return m_name; }
    const T& GetDefaultValue() const { return m_default; }

private:
    std::string m_name;
    T m_default;
};

class CBooleanOptionDescription : public COptionDescription<bool> {
public:
    CBooleanOptionDescription(const std::string& name, bool defaultValue)
        : COptionDescription<bool>(name, defaultValue) {}
};

class CDoubleOptionDescription : public COptionDescription<double> {
public:
    CDoubleOptionDescription(const std::string& name, double defaultValue)
        : COptionDescription<double>(name, defaultValue) {}
};

// An integer option's description. Its value check is, in this order:
//  - the validator given to the constructor, if any;
//  - otherwise the description object itself when it also derives from
//    CMinimumValidator<int> (a derived description such as an order option
//    that is its own validator);
//  - otherwise every value is accepted.
// CheckValue throws KelvResult (E_UNEXPECTED) when the value is refused and
// the validator did not throw an error of its own.
class CIntegerOptionDescription : public COptionDescription<int> {
public:
    CIntegerOptionDescription(const std::string& name, int defaultValue,
                              const boost::shared_ptr<const CMinimumValidator<int>>& validator =
                                  boost::shared_ptr<const CMinimumValidator<int>>())
        : COptionDescription<int>(name, defaultValue), m_validator(validator) {}

    // The validator in force (see above), or null.
    const CMinimumValidator<int>* GetValidator() const;

    // Throws when the value may not be given to an option of this description.
    void CheckValue(int value) const;

private:
    boost::shared_ptr<const CMinimumValidator<int>> m_validator;
};

using BooleanOptionDescriptionPtr = boost::shared_ptr<CBooleanOptionDescription>;
using IntegerOptionDescriptionPtr = boost::shared_ptr<CIntegerOptionDescription>;
using DoubleOptionDescriptionPtr = boost::shared_ptr<CDoubleOptionDescription>;
