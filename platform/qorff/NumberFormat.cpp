#include "qorff/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace QorForcefield {

std::string FormatShortest(double value)
{
    if (value == 0.0)
        return "0";
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc())
        return "0";  // cannot happen with this buffer size
    return std::string(buffer, result.ptr);
}

std::string FormatWithDecimalPoint(double value)
{
    std::string text = FormatShortest(value);
    if (!std::isfinite(value))
        return text;
    if (text.find('.') != std::string::npos)
        return text;
    const std::string::size_type exponent = text.find('e');
    if (exponent == std::string::npos)
        return text + ".0";
    text.insert(exponent, ".0");
    return text;
}

}  // namespace QorForcefield
