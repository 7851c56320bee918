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

} // namespace QzHost
