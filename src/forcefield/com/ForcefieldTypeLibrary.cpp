#include "forcefield/com/ForcefieldTypeLibrary.h"

#include "forcefield/com/ForcefieldComIds.h"

namespace ForcefieldTypeLibrary {
namespace {

constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind G = MemberKind::PropGet;
constexpr MemberKind P = MemberKind::PropPut;

Interface EditorTable()
{
    return {&IID_IQoForcefieldEditor, "IQoForcefieldEditor", "Generic Interface to Forcefield for basic editing", true,
            {{3, 0x60010000, G, "Load", "load forcefield in given file"},
             {4, 0x60010001, G, "Forcefield", "get pointer to loaded forcefield "},
             {5, 0x60010002, M, "Save", "save loaded forcefield to disk"},
             {6, 0x60010003, M, "SaveAs", "Save loaded forcefield to disk under given file"},
             {7, 0x60010004, G, "ServerDescription", "describes capabilities of underlying server"},
             {8, 0x60010005, G, "LoadedFilePath", "filename of loaded forcefield"}}};
}

Interface ForcefieldTable()
{
    return {&IID_IQoForcefield, "IQoForcefield", "", true,
            {{3, 0x60010000, M, "AddAtomType", "Add new atomtype to forcefield"},
             {4, 0x60010001, M, "RemoveAtomType", "Remove existing atomtype from forcefield"},
             {5, 0x60010002, G, "AtomType", "get atom type for given atomtype name"},
             {6, 0x60010003, G, "AtomTypes", "return list of atom type names in forcefield"},
             {7, 0x60010004, G, "HasAtomType", "check if forcefield has given atom type"},
             {8, 0x60010005, G, "UnusedInteractionsOfType", "unused interactions of given type for given atomtypes"},
             {9, 0x60010006, G, "Interaction", "retrieve particular interaction"},
             {10, 0x60010007, G, "AddInteraction", "add interaction"},
             {11, 0x60010008, G, "Interactions", "retrieve interactions between atom types of given form"},
             {12, 0x60010009, M, "RemoveInteraction", "remove interaction for given type for given atomtypes"},
             {13, 0x6001000a, G, "Description", "get note describing forcefield"},
             {14, 0x6001000a, P, "Description", "set note describing forcefield"}}};
}

Interface ServerDescriptionTable()
{
    return {&IID_IQoServerDescription, "IQoServerDescription", "description of underlying server capabilities", true,
            {{3, 0x60010000, G, "InteractionTypeNames", "Names of interaction types of underlying server"},
             {4, 0x60010001, G, "FunctionalFormNamesOfType", "names of functional forms of interactions of this type"},
             {5, 0x60010002, G, "NumberOfAtomsOfType", "number of atoms involved in this type of interaction"},
             {6, 0x60010003, G, "ServerName", "Name of the underlying server"},
             {7, 0x60010004, G, "CanFit", "true iff the server can fit forcefield parameters to data"}}};
}

Interface AtomTypeTable()
{
    return {&IID_IQoAtomType, "IQoAtomType", "forcefield atom type", true,
            {{3, 0x60010000, G, "Name", "name of atomtype"},
             {4, 0x60010000, P, "Name", "name of atomtype"},
             {5, 0x60010002, G, "Description", "description of atom type"},
             {6, 0x60010003, P, "Charge", "set charge of atom type"},
             {7, 0x60010003, G, "Charge", "get charge of atom type"}}};
}

Interface InteractionTable()
{
    return {&IID_IQoInteraction, "IQoInteraction", "", false,
            {{3, 0x60010000, G, "FunctionalForm", "get name of functional form for this interaction"},
             {4, 0x60010001, G, "Id",
              "id disambiguates multiple interactions between same atom types with same functional form"},
             {5, 0x60010002, G, "ParameterCount", "number of parameters"},
             {6, 0x60010003, G, "Parameter", "retrieve parameter"},
             {7, 0x60010004, G, "IntegerOptionCount", "number of options with integer values"},
             {8, 0x60010005, G, "IntegerOption", "retrieve option value"},
             {9, 0x60010006, G, "IntegerOptionNames", "names of integer options"},
             {10, 0x60010007, G, "IntegerOptionName", "name of integer option"},
             {11, 0x60010008, G, "IsIntegerOptionEnabled", "true iff integer option is currently enabled"},
             {12, 0x60010005, P, "IntegerOption", ""},
             {13, 0x6001000a, G, "BooleanOptionCount", "number of options with VARIANT_BOOL values"},
             {14, 0x6001000b, G, "BooleanOptionNames", "names of VARIANT_BOOL options"},
             {15, 0x6001000c, G, "BooleanOption", "retrieve option"},
             {16, 0x6001000c, P, "BooleanOption", ""},
             {17, 0x6001000e, G, "IsBooleanOptionEnabled", "true iff boolean option is currently enabled"},
             {18, 0x6001000f, G, "BooleanOptionName", "name of boolean option"},
             {19, 0x60010010, G, "DoubleOptionCount", "number of options with double values"},
             {20, 0x60010011, G, "DoubleOptionNames", "names of double options"},
             {21, 0x60010012, G, "DoubleOption", "retrieve option"},
             {22, 0x60010012, P, "DoubleOption", ""},
             {23, 0x60010014, G, "IsDoubleOptionEnabled", "true iff double option is currently enabled"},
             {24, 0x60010015, G, "DoubleOptionName", "name of double option"}}};
}

Interface ParameterTable()
{
    return {&IID_IQoParameter, "IQoParameter", "value and description of a parameter", false,
            {{3, 0x60010000, G, "Name", "name of parameter"},
             {4, 0x60010001, G, "Unit", "unit of parameter"},
             {5, 0x60010002, G, "IsFittable", "is parameter fittable"},
             {6, 0x60010003, G, "IsHidden", "is parameter hidden"},
             {7, 0x60010004, G, "IsToBeFitted", "is parameter to be fitted"},
             {8, 0x60010004, P, "IsToBeFitted", "mark parameter as to be fitted"},
             {9, 0x60010006, M, "SetToDefaultValue", "set parameter to default"},
             {10, 0x60010007, G, "DefaultValue", "get default value of parameter"},
             {11, 0x60010008, G, "Value", "get value of parameter"},
             {12, 0x60010008, P, "Value", "set value of parameter "},
             {13, 0x6001000a, G, "Quality", "get quality of the value of the parameter"},
             {14, 0x6001000a, P, "Quality", "set quality of the value of the parameter"}}};
}

Interface ConsumerTable()
{
    return {&IID_IQoEditedForcefieldConsumer, "IQoEditedForcefieldConsumer", "returns interface of forcefield editor",
            false,
            {{3, 0x60010000, G, "ForcefieldEditor", "return pointer to forcefield editor"},
             {4, 0x60010001, M, "ForcefieldSavedTo", "user saved forcefield"},
             {5, 0x60010002, M, "SuggestSavePath", "hazard guess where user wants to have forcefield saved"}}};
}

} // namespace

const std::vector<Interface>& Interfaces()
{
    static const std::vector<Interface> tables{EditorTable(),      ForcefieldTable(), ServerDescriptionTable(),
                                               AtomTypeTable(),    InteractionTable(), ParameterTable(),
                                               ConsumerTable()};
    return tables;
}

const std::vector<CoClass>& CoClasses()
{
    using namespace QorZelm;
    static const std::vector<CoClass> coclasses{
        {&CLSID_ZelmForcefieldEditor, "ZelmForcefieldEditor", "Velomar: Forcefield editor component for ZELM"},
        {&CLSID_ZelmForcefield, "ZelmForcefield", "Holds contents of forcefield"},
        {&CLSID_ZelmServerDescription, "ZelmServerDescription", "Holds contents of forcefield"},
        {&CLSID_ZelmAtomType, "ZelmAtomType", "Holds contents of forcefield"},
        {&CLSID_ZelmInteraction, "ZelmInteraction", "Holds contents of forcefield"},
        {&CLSID_ZelmParameter, "ZelmParameter", "Holds contents of forcefield"}};
    return coclasses;
}

}  // namespace ForcefieldTypeLibrary
