// Message formatting with numbered placeholders.
#pragma once

#include <iomanip>
#include <ios>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

// Fills "%1", "%2", "%3", ... of a pattern with the values inserted, in order
// of insertion:
//   std::string s = KelvFormat("%1 K at %2 GPa") << std::fixed << t << p;
// Values are formatted by one output stream that keeps its settings from one
// insertion to the next, so stream manipulators (std::fixed,
// std::scientific, std::setprecision(n), std::setw(n), ...) change the
// formatting of the values that follow and take no placeholder. Doubles
// start in a default stream's format (six significant digits). A
// placeholder without a value stays as written; extra values are ignored;
// inserted texts are not searched for placeholders.
class KelvFormat
{
public:
    explicit KelvFormat(std::string pattern);
    KelvFormat(const KelvFormat& other);
    KelvFormat& operator=(const KelvFormat& other);

    template <class T>
    KelvFormat& operator<<(const T& value)
    {
        if constexpr (IsManipulator<T>()) {
            m_stream << value;
        } else {
            m_stream.str(std::string());
            m_stream << value;
            m_values.push_back(m_stream.str());
        }
        return *this;
    }
    KelvFormat& operator<<(std::ios_base& (*manipulator)(std::ios_base&));
    KelvFormat& operator<<(std::ios& (*manipulator)(std::ios&));
    // A stream function such as std::flush takes no placeholder; one that
    // writes text (std::endl) counts as a value.
    KelvFormat& operator<<(std::ostream& (*manipulator)(std::ostream&));

    std::string str() const;
    operator std::string() const { return str(); }

private:
    template <class T>
    static constexpr bool IsManipulator()
    {
        return std::is_same_v<T, decltype(std::setprecision(0))> ||
               std::is_same_v<T, decltype(std::setw(0))> ||
               std::is_same_v<T, decltype(std::setfill(' '))> ||
               std::is_same_v<T, decltype(std::setbase(10))> ||
               std::is_same_v<T, decltype(std::setiosflags(std::ios_base::fixed))> ||
               std::is_same_v<T, decltype(std::resetiosflags(std::ios_base::fixed))>;
    }

    std::string m_pattern;
    std::vector<std::string> m_values;
    std::ostringstream m_stream;
};
