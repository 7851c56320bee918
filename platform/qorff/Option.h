// Options of one interaction, each made from a (shared) description.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "qorff/ObjectWithName.h"
#include "qorff/OptionDescription.h"

// An option starts at its description's default value. "Enabled" tells
// whether the user may change the option: the interaction refuses a change
// of a disabled option (CInteraction). Options made by the model are
// enabled.
template <class T>
class COption : public CObjectWithValue<T> {
public:
    using Description = COptionDescription<T>;

    COption(const boost::shared_ptr<Description>& description, bool enabled);

    const std::string& GetName() const { return m_description->GetName(); }
    const T& GetDefaultValue() const { return m_description->GetDefaultValue(); }
    bool IsEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    const boost::shared_ptr<Description>& GetDescription() const { return m_description; }

private:
    boost::shared_ptr<Description> m_description;
    bool m_enabled;
};

class CBooleanOption : public COption<bool> {
public:
    CBooleanOption(const boost::shared_ptr<CBooleanOptionDescription>& description, bool enabled = true);
};

class CDoubleOption : public COption<double> {
public:
    CDoubleOption(const boost::shared_ptr<CDoubleOptionDescription>& description, bool enabled = true);
};

// The setter applies the description's validator before the value changes;
// a refused value throws KelvResult and leaves the option as it was.
class CIntegerOption : public COption<int> {
public:
    CIntegerOption(const boost::shared_ptr<CIntegerOptionDescription>& description, bool enabled = true);

    void SetValue(const int& value) override;

    // Throws as SetValue would, without changing anything.
    void Validate(int value) const;

private:
    boost::shared_ptr<CIntegerOptionDescription> m_integerDescription;
};

extern template class COption<bool>;
extern template class COption<int>;
extern template class COption<double>;
