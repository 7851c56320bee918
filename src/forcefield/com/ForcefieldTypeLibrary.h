// The coclasses that the module's type library declares for the forcefield
// editor's COM objects: never registered (no object is made by class id),
// their identifiers name the object in error information.
#pragma once

#include "com/com.h"

#include <vector>

namespace ForcefieldTypeLibrary {

struct CoClass {
    const CLSID* clsid;
    const char* name;
    const char* help;
};

// The six coclasses of the wrappers (declared, never registered).
const std::vector<CoClass>& CoClasses();

}  // namespace ForcefieldTypeLibrary
