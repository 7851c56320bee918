// The host's state definitions: for every logic, its state properties with
// kind, type and default, read from one JSON data file (host/data/
// state-definitions.json unless the configuration names another).
//
// File layout:
//   {"logics": [
//     {"logic": "ZelmLogic", "extension": "QorZelm.Extension",
//      "properties": [
//        {"name": "Task", "type": "long", "default": 1},
//        {"name": "timestep", "type": "double", "default": 1.0, "exclusiveMinimum": 0},
//        {"name": "UseObservable", "type": "array", "element": "bool", "default": []},
//        {"name": "FrequencyUnits", "type": "enum", "default": "cm-1",
//         "values": [{"value": 1, "text": "cm-1"}, ...]},
//        {"name": "PhononDispersionKPGenerator", "type": "coclass", "progid": "..."}]}]}
// Types: "string", "long", "double", "bool", "array" (with "element" one of the
// four scalar types), "enum", "coclass" (default: none; with "progid" an
// object of that class is made for the default when the class can be created).
// A long or double property may have a lower bound, "minimum" (the value may
// equal it) or "exclusiveMinimum" (it must be greater); a bounded double must
// also be finite. A long or string property may list the values it takes,
// "values": a long's as [{"value": 1, "text": "Energy"}, ...] (each number
// with its name), a string's as [{"text": "Use current"}, ...]; a value set
// outside the list is refused.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

#include <string>
#include <vector>

namespace QzHost {

struct EnumValue {
    LONG value = 0;
    std::string text;
};

struct StatePropertyDefinition {
    std::string name;
    SBStatePropertyKind kind = SBStatePropertyScalar;
    // Scalar: the value's type (VT_BSTR, VT_I4, VT_R8, VT_BOOL). Array: the
    // element type. Enum: VT_I4. Co-class: VT_UNKNOWN.
    VARTYPE type = VT_EMPTY;
    // Scalar: a value of `type`; array: VT_ARRAY | type (1-D, lower bound 0);
    // enum: VT_I4; co-class: VT_EMPTY.
    KelvVariant defaultValue;
    // Enum: its values; long or string scalar: the values it takes (none:
    // any). In file order.
    std::vector<EnumValue> enumValues;
    std::string coClassProgId;         // co-class only; "" for none
    // Long and double scalars: the lower bound of a value that is set.
    bool hasMinimum = false;
    double minimum = 0.0;
    bool exclusiveMinimum = false;

    // The enum text of a number ("" when not permitted).
    const EnumValue* FindEnumValue(LONG value) const;
    const EnumValue* FindEnumText(const std::string& text) const;
};

struct LogicStateDefinition {
    std::string logic;
    std::string extension;
    std::vector<StatePropertyDefinition> properties; // file order

    const StatePropertyDefinition* Find(const std::string& name) const;
};

class StateDefinitions {
public:
    StateDefinitions() = default;

    // Reads a definitions file. A missing, unreadable or malformed file throws
    // KelvResult E_FAIL with a message naming the file and the fault.
    static StateDefinitions Load(const std::string& path);
    // The same from JSON text; `origin` names it in messages.
    static StateDefinitions Parse(const std::string& text, const std::string& origin);

    // The definitions of a logic (null when it has none).
    const LogicStateDefinition* Find(const std::string& logic) const;
    const std::vector<LogicStateDefinition>& Logics() const { return m_logics; }

private:
    std::vector<LogicStateDefinition> m_logics;
};

// The folder of the host's data files: $QZ_HOST_DATA_DIR when set; else
// "share/qzhost" beside the folder of the host library (the build copies the
// data there), when it holds the definitions; else the source data folder the
// build was made from. The answer does not depend on the working folder.
std::string HostDataFolder();
// The definitions file used by default: $QZ_STATE_DEFINITIONS when set, else
// "state-definitions.json" in HostDataFolder().
std::string DefaultStateDefinitionsPath();

// Type names of the file ("string", "long", "double", "bool") and back;
// VT_EMPTY for an unknown name.
VARTYPE ScalarTypeFromName(const std::string& name);
std::string ScalarTypeName(VARTYPE type);

} // namespace QzHost
