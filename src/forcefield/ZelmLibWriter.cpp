#include "forcefield/ZelmLibWriter.h"

#include <fstream>

#include "kelv/kelv.h"
#include "qorff/NumberFormat.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/ZelmParseUtilities.h"

using ZelmParseUtilities::ChopToZelmLength;

CZelmLibWriter::CZelmLibWriter(std::ostream& stream, const std::string& header,
                               const std::list<const CAtomType*>& atomTypes, const std::list<std::string>& keptLines,
                               const InteractionMap& interactions, const CServerDescription& serverDescription,
                               const std::list<std::string>& keptSpeciesLines)
    : m_serverDescription(serverDescription)
{
    Write(stream, header, atomTypes, keptLines, interactions, keptSpeciesLines);
}

CZelmLibWriter::CZelmLibWriter(const std::string& path, const std::string& header,
                               const std::list<const CAtomType*>& atomTypes, const std::list<std::string>& keptLines,
                               const InteractionMap& interactions, const CServerDescription& serverDescription,
                               const std::list<std::string>& keptSpeciesLines)
    : m_serverDescription(serverDescription)
{
    CReplaceFile file(path);
    if (!file.IsOpen())
        throw KelvResult(E_UNEXPECTED, "Cannot open " + path);
    Write(file.Stream(), header, atomTypes, keptLines, interactions, keptSpeciesLines);
    if (!file.Commit())
        throw KelvResult(E_UNEXPECTED, "Failed to write " + path);
}

CZelmLibWriter::~CZelmLibWriter() = default;

void CZelmLibWriter::Write(std::ostream& stream, const std::string& header,
                           const std::list<const CAtomType*>& atomTypes, const std::list<std::string>& keptLines,
                           const InteractionMap& interactions, const std::list<std::string>& keptSpeciesLines) const
{
    stream << header << std::endl;
    stream << "species" << std::endl;
    for (const CAtomType* atomType : atomTypes) {
        // The shortest text that reads back to the same charge: fitted
        // charges survive any number of saves, and 1.0 is still "1".
        const std::string line = atomType->GetName() + " " + QorForcefield::FormatShortest(atomType->GetCharge());
        stream << ChopToZelmLength(line) << std::endl;
    }
    for (const std::string& line : keptSpeciesLines)
        stream << ChopToZelmLength(line) << std::endl;
    stream << std::endl;
    for (const std::string& line : keptLines)
        stream << ChopToZelmLength(line) << std::endl;
    for (const auto& entry : interactions) {
        const std::string& formLine = entry.first;
        const bool multiLine = formLine.find("glue") != std::string::npos || formLine.find("srgl") != std::string::npos;
        stream << ChopToZelmLength(formLine);
        for (const std::string& line : entry.second)
            stream << (multiLine ? line : ChopToZelmLength(line));
    }
    stream << std::endl;
}
