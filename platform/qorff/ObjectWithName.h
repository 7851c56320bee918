// Small bases shared by the forcefield model: objects with a name, objects
// whose name may be changed, and objects that carry a value.
#pragma once

#include <string>

class CObjectWithName {
public:
    explicit CObjectWithName(const std::string& name) : m_name(name) {}
    virtual ~CObjectWithName() = default;

    const std::string& GetName() const { return m_name; }

protected:
    void SetNameInternal(const std::string& name) { m_name = name; }

private:
    std::string m_name;
};

// An object whose name the user may change (atom types).
class CNameableObject : public CObjectWithName {
public:
    explicit CNameableObject(const std::string& name) : CObjectWithName(name) {}

    void SetName(const std::string& name);

    // How many renames of nameable objects this process has made: an index
    // by name that remembers the count it was built at knows when it is out
    // of date.
    static unsigned long long RenameCount();
};

// An object holding one value of type T. The setter is virtual so that a
// derived object may check a value before it takes it.
template <class T>
class CObjectWithValue {
public:
    explicit CObjectWithValue(const T& value = T()) : m_value(value) {}
    virtual ~CObjectWithValue() = default;

    const T& GetValue() const { return m_value; }
    virtual void SetValue(const T& value) { m_value = value; }

private:
    T m_value;
};
