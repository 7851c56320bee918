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

private:
    std::list<std::string> m_keptLines;
};
