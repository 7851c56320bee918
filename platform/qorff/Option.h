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

    const std::string& GetName() const { return m_description->GetName(); }
    const T& GetDefaultValue() const { return m_description->GetDefaultValue(); }
    bool IsEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    const boost::shared_ptr<Description>& GetDescription() const { return m_description; }

protected:
    // Made only as one of the option classes below, each of which gives its
    // own kind of description.
    COption(const boost::shared_ptr<Description>& description, bool enabled);

private:
    // The flag before the description: it fills the room the value leaves,
    // which keeps every option of every interaction a word smaller.
    bool m_enabled;
    boost::shared_ptr<Description> m_description;
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
};

extern template class COption<bool>;
extern template class COption<int>;
extern template class COption<double>;
