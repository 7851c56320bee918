// The engine's forcefield: read from and written to a library file.
#pragma once

#include <list>
#include <ostream>
#include <string>

#include "qorff/Forcefield.h"

class CZelmForcefield : public CForcefield {
public:
    // Reads the library at once; reading errors (KelvResult) pass to the
    // caller and no forcefield exists.
    CZelmForcefield(const std::string& path, const CServerDescription& serverDescription);
    ~CZelmForcefield() override;

    // The library text: species block, kept lines, interactions by form
    // line (CZelmLibWriter).
    void WriteLibrary(std::ostream& stream) const override;
    // Replaces description and kept lines by the file's and adds its species
    // as atom types ("X core", "X shel") and its interactions.
    void ReadLibrary(const std::string& path) override;

    // Library lines that are neither species nor interactions, in file
    // order; written back unchanged.
    const std::list<std::string>& GetKeptLines() const { return m_keptLines; }

    // Beyond the base's rules (a name, not taken), a name given by the user
    // must read back from the species block: a species word and "core" or
    // "shel" with one blank between them, the word without blanks, "#" and
    // the texts "core", "shel" and "species" (in any letter case). The
    // names a library itself gives are taken as they come.
    void CheckAtomTypeName(const std::string& name) const override;

private:
    std::list<std::string> m_keptLines;
    bool m_reading = false;
};
