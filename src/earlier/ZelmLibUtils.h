// The earlier build's reader of a forcefield library's species: the species
// lines with their core and shell charges, kept by element and by type
// name, and the matching of a model atom to one of them.
#pragma once

#include "kelv/kelv.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>

struct ISDObject;

namespace ZelmEarlier {

// One species of the library: kind 2 core, 4 shell, 6 both.
struct CSpeciesEntry
{
    int32_t kind = 0;
    double shellCharge = 0.0;
    double coreCharge = 0.0;
    std::string typeName;
};

class CZelmLibUtils
{
public:
    using Table = std::map<std::string, CSpeciesEntry>;

    // Reads the species of the library; the element-data file is not read.
    // A library that cannot be opened: KelvResult E_UNEXPECTED "Unable to
    // open ZELM library file.".
    CZelmLibUtils(const std::string& elementDataFile, const std::string& libraryPath);
    virtual ~CZelmLibUtils();

    CZelmLibUtils(const CZelmLibUtils&) = delete;
    CZelmLibUtils& operator=(const CZelmLibUtils&) = delete;

    // Fills both tables from the species lines: those with "core" or "shel",
    // before the section ends (a line without either after a "species"
    // line). Every line is read whatever its length, the last one also
    // without a line break; a line beginning with '#' is skipped.
    void ReadLibrary(const std::string& path);

    // One species line into one table: a new key takes the line's name,
    // kind and charge (as both charges); a core line completes a shell entry
    // and a shell line a core entry (kind 6); anything else changes nothing.
    static void AddSpecies(Table& table, const std::string& key, const std::string& typeName, int32_t kind,
                           double charge);

    // The entry the atom is: its "ForcefieldType"; its element with its
    // formal charge ("Na_1+", "O_2-"; skipped when the denominator is 0);
    // for O and H the hydroxyl or oxide name by the attached atoms; its
    // element. Null when none matches.
    const CSpeciesEntry* FindSpeciesForAtom(const KelvComPtr<ISDObject>& atom) const;
    // Element symbols of the atoms attached to the atom.
    std::set<std::string> GetAttachedElements(const KelvComPtr<ISDObject>& atom) const;

    // 0, 0.0, 0.0 and the atom's element symbol when nothing matches.
    int32_t GetSpeciesKind(const KelvComPtr<ISDObject>& atom) const;
    double GetCoreCharge(const KelvComPtr<ISDObject>& atom) const;
    double GetShellCharge(const KelvComPtr<ISDObject>& atom) const;
    std::string GetSpeciesName(const KelvComPtr<ISDObject>& atom) const;

    const Table& ElementTable() const { return m_elements; }
    const Table& TypeTable() const { return m_types; }

private:
    const CSpeciesEntry* Find(const Table& table, const std::string& key) const;

    Table m_elements;
    Table m_types;
};

} // namespace ZelmEarlier
