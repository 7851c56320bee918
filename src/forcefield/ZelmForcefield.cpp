#include "forcefield/ZelmForcefield.h"

#include "forcefield/ZelmLibWriter.h"
#include "setup/ZelmLibUtils.h"

CZelmForcefield::CZelmForcefield(const std::string& path, const CServerDescription& serverDescription)
    : CForcefield(path, serverDescription)
{
    ReadLibrary(path);
}

CZelmForcefield::~CZelmForcefield() = default;

void CZelmForcefield::WriteLibrary(std::ostream& stream) const
{
    CZelmLibWriter writer(stream, std::string(), GetAtomTypes(), m_keptLines, GetAllInteractions(),
                          GetServerDescription());
}

void CZelmForcefield::ReadLibrary(const std::string& path)
{
    CZelmLibUtils reader(false, path, GetServerDescription());
    SetDescription(reader.GetDescription());
    for (const auto& entry : reader.GetAllSpecies()) {
        const CSpecies& species = entry.second;
        // Two species of one library type name give one atom type (the first).
        const std::string core = species.GetAlternativeName() + " core";
        const std::string shell = species.GetAlternativeName() + " shel";
        if (species.IsCore() && !HasAtomType(core))
            AddAtomType(core, species.GetCoreCharge());
        if (species.IsShell() && !HasAtomType(shell))
            AddAtomType(shell, species.GetShellCharge());
    }
    for (const CZelmLibUtils::InteractionEntry& entry : reader.GetInteractions())
        AddInteraction(*entry.interaction, entry.atomTypes);
    m_keptLines = reader.GetOtherLines();
}
