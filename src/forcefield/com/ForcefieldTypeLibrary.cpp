#include "forcefield/com/ForcefieldTypeLibrary.h"

#include "forcefield/com/ForcefieldComIds.h"

namespace ForcefieldTypeLibrary {

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
