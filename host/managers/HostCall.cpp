#include "host/managers/HostCall.h"

#include <sstream>

namespace QzHost {

std::string Hex(std::int64_t value)
{
    std::ostringstream out;
    if (value < 0)
        out << "-0x" << std::hex << std::uppercase << -static_cast<std::uint64_t>(value);
    else
        out << "0x" << std::hex << std::uppercase << value;
    return out.str();
}

std::string Quote(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string DescribeVariant(const VARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
        return "empty";
    case VT_NULL:
        return "null";
    case VT_BSTR:
        return Quote(Narrow(value.bstrVal));
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return value.punkVal ? "object" : "null object";
    default:
        break;
    }
    if (value.vt & VT_ARRAY)
        return "array";
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return "vt " + std::to_string(value.vt);
    std::string result = Narrow(text.bstrVal);
    VariantClear(&text);
    return result;
}

} // namespace QzHost
