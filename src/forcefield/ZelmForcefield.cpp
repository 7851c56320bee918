#include "forcefield/ZelmForcefield.h"

#include "forcefield/ZelmLibWriter.h"
#include "setup/ZelmLibUtils.h"

#include <algorithm>
#include <cctype>

#include "kelv/kelv.h"

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

void CZelmForcefield::CheckAtomTypeName(const std::string& name) const
{
    CForcefield::CheckAtomTypeName(name);
    if (m_reading)
        return;
    const std::size_t blank = name.rfind(' ');
    const std::string word = blank == std::string::npos ? name : name.substr(0, blank);
    const std::string half = blank == std::string::npos ? std::string() : name.substr(blank + 1);
    std::string lower = word;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool wordReadsBack =
        !word.empty() &&
        std::none_of(word.begin(), word.end(),
                     [](unsigned char c) { return std::isspace(c) || std::iscntrl(c) || c == '#'; }) &&
        lower.find("core") == std::string::npos && lower.find("shel") == std::string::npos &&
        lower.find("species") == std::string::npos;
    if (!wordReadsBack || (half != "core" && half != "shel"))
        throw KelvResult(E_UNEXPECTED, "The atom type name \"" + name +
                                           "\" cannot be kept in a library: it must be a species name "
                                           "followed by one blank and \"core\" or \"shel\" (as \"O core\").");
}

void CZelmForcefield::ReadLibrary(const std::string& path)
{
    // The library's own names are taken as its reader gives them.
    struct Reading {
        bool& flag;
        explicit Reading(bool& f) : flag(f) { flag = true; }
        ~Reading() { flag = false; }
    } reading(m_reading);
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
