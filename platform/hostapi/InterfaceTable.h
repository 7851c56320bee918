// A table of the host interfaces by name and identifier, for diagnostics
// (operation logs, error texts) and for checking the declarations.
#pragma once

#include "com/com.h"

#include <string>
#include <vector>

namespace HostApi {

struct InterfaceEntry {
    const char* name;
    const IID* iid;
};

// Every interface declared by the host headers, in header order.
const std::vector<InterfaceEntry>& KnownInterfaces();

// Name of a host interface ("ISBLogic"), or "" for an identifier not in the table.
std::string InterfaceName(REFIID iid);

} // namespace HostApi
