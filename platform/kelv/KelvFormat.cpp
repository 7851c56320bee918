#include "kelv/KelvFormat.h"

#include <cctype>
#include <utility>

KelvFormat::KelvFormat(std::string pattern) : m_pattern(std::move(pattern)) {}

KelvFormat::KelvFormat(const KelvFormat& other) : m_pattern(other.m_pattern), m_values(other.m_values)
{
    m_stream.copyfmt(other.m_stream);
}

KelvFormat& KelvFormat::operator=(const KelvFormat& other)
{
    if (this != &other) {
        m_pattern = other.m_pattern;
        m_values = other.m_values;
        m_stream.copyfmt(other.m_stream);
    }
    return *this;
}

KelvFormat& KelvFormat::operator<<(std::ios_base& (*manipulator)(std::ios_base&))
{
    m_stream << manipulator;
    return *this;
}

KelvFormat& KelvFormat::operator<<(std::ios& (*manipulator)(std::ios&))
{
    m_stream << manipulator;
    return *this;
}

KelvFormat& KelvFormat::operator<<(std::ostream& (*manipulator)(std::ostream&))
{
    m_stream.str(std::string());
    m_stream << manipulator;
    std::string written = m_stream.str();
    if (!written.empty())
        m_values.push_back(std::move(written));
    return *this;
}

std::string KelvFormat::str() const
{
    std::string result;
    result.reserve(m_pattern.size());
    size_t i = 0;
    while (i < m_pattern.size()) {
        const char c = m_pattern[i];
        if (c == '%' && i + 1 < m_pattern.size() && std::isdigit(static_cast<unsigned char>(m_pattern[i + 1]))) {
            size_t end = i + 1;
            size_t number = 0;
            bool tooLarge = false;
            while (end < m_pattern.size() && std::isdigit(static_cast<unsigned char>(m_pattern[end]))) {
                if (number > 100000)
                    tooLarge = true;
                else
                    number = number * 10 + static_cast<size_t>(m_pattern[end] - '0');
                ++end;
            }
            if (!tooLarge && number >= 1 && number <= m_values.size()) {
                result += m_values[number - 1];
            } else {
                result.append(m_pattern, i, end - i);
            }
            i = end;
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}
