// The texts that the module's type library carries for the forcefield
// editor's interfaces and coclasses: per interface its help string and, in
// slot order (slots 0 to 2 are IUnknown's), each member's id, kind, name and
// help string.
#pragma once

#include "com/com.h"

#include <vector>

namespace ForcefieldTypeLibrary {

enum class MemberKind { Method, PropGet, PropPut };

struct Member {
    int slot;
    DISPID id;
    MemberKind kind;
    const char* name;
    const char* help; // "" where the type library has none
};

struct Interface {
    const IID* iid;
    const char* name;
    const char* help; // "" where the type library has none
    bool oleAutomation;
    std::vector<Member> members;
};

struct CoClass {
    const CLSID* clsid;
    const char* name;
    const char* help;
};

// IQoForcefieldEditor, IQoForcefield, IQoServerDescription, IQoAtomType,
// IQoInteraction, IQoParameter, IQoEditedForcefieldConsumer, in this order.
const std::vector<Interface>& Interfaces();
// The six coclasses of the wrappers (declared, never registered).
const std::vector<CoClass>& CoClasses();

}  // namespace ForcefieldTypeLibrary
