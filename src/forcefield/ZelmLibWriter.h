// Writes an engine forcefield library file.
#pragma once

#include <list>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "qorff/AtomType.h"
#include "qorff/ServerDescription.h"

// Layout: the header and a line break; "species"; one line per atom type
// (name, one blank, charge in the shortest text that reads back to the same
// double, so 1.0 is "1"); the species lines kept as written (those the
// reader left out); an empty line; the kept lines; for each form line
// in map order the form line and its interaction lines (which carry their
// own line breaks); a final line break. Every line is cut to the engine's
// line length except the interaction lines under a form line containing
// "glue" or "srgl". A form line whose keyword names a species (which would
// make it read as an interaction) has its keyword in capitals, or followed
// by "_" where a species has that name too.
class CZelmLibWriter {
public:
    using InteractionMap = std::map<std::string, std::list<std::string>>;

    // Writes to the stream; stream errors stay in the stream's state.
    CZelmLibWriter(std::ostream& stream, const std::string& header, const std::list<const CAtomType*>& atomTypes,
                   const std::list<std::string>& keptLines, const InteractionMap& interactions,
                   const CServerDescription& serverDescription,
                   const std::list<std::string>& keptSpeciesLines = std::list<std::string>());
    // Writes the file, replacing it whole (a new file beside it, renamed
    // over it once written: a failed write leaves the old file). Throws
    // KelvResult (E_UNEXPECTED) "Cannot open " and the path when it cannot be
    // opened, and "Failed to write " and the path when writing fails.
    CZelmLibWriter(const std::string& path, const std::string& header,
                   const std::list<const CAtomType*>& atomTypes, const std::list<std::string>& keptLines,
                   const InteractionMap& interactions, const CServerDescription& serverDescription,
                   const std::list<std::string>& keptSpeciesLines = std::list<std::string>());
    virtual ~CZelmLibWriter();

private:
    void Write(std::ostream& stream, const std::string& header, const std::list<const CAtomType*>& atomTypes,
               const std::list<std::string>& keptLines, const InteractionMap& interactions,
               const std::list<std::string>& keptSpeciesLines) const;

    // The form line, its keyword respelt when it names one of the species.
    std::string FormLineNotSpecies(const std::string& formLine, const std::set<std::string>& speciesNames) const;

    const CServerDescription& m_serverDescription;
};
