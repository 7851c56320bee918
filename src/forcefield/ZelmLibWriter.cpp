#include "forcefield/ZelmLibWriter.h"

#include <cerrno>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include "kelv/kelv.h"
#include "qorff/NumberFormat.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/ZelmParseUtilities.h"
#include "qorvira/ZelmSpeciesReader.h"

using ZelmParseUtilities::ChopToZelmLength;

namespace {

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string UpperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

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
        throw KelvResult(E_UNEXPECTED, "Cannot open " + path + ": " + file.Error());
    errno = 0; // a failed write's reason is its own
    Write(file.Stream(), header, atomTypes, keptLines, interactions, keptSpeciesLines);
    if (!file.Commit())
        throw KelvResult(E_UNEXPECTED, "Failed to write " + path + ": " + file.Error());
}

CZelmLibWriter::~CZelmLibWriter() = default;

void CZelmLibWriter::Write(std::ostream& stream, const std::string& header,
                           const std::list<const CAtomType*>& atomTypes, const std::list<std::string>& keptLines,
                           const InteractionMap& interactions, const std::list<std::string>& keptSpeciesLines) const
{
    std::set<std::string> speciesNames;
    for (const CAtomType* atomType : atomTypes) {
        const std::string& name = atomType->GetName();
        speciesNames.insert(name.substr(0, name.rfind(' ')));
    }
    stream << header << std::endl;
    stream << "species" << std::endl;
    for (const CAtomType* atomType : atomTypes) {
        // The shortest text that reads back to the same charge: fitted
        // charges survive any number of saves, and 1.0 is still "1".
        const std::string line = atomType->GetName() + " " + QorForcefield::FormatShortest(atomType->GetCharge());
        stream << ChopToZelmLength(line) << std::endl;
    }
    // Kept lines of which one would be read as the end of the section (an
    // interaction's shape) are all written after it, where they are read
    // back as they stand: the lines of one type are never split by the end.
    std::set<std::string> typeNames = speciesNames;
    bool afterSection = false;
    for (const std::string& line : keptSpeciesLines) {
        const std::string written = ChopToZelmLength(line);
        if (CZelmSpeciesReader::EndsSpeciesSection(written, typeNames)) {
            afterSection = true;
            break;
        }
        std::istringstream words(written);
        std::string name;
        if (words >> name)
            typeNames.insert(name);
    }
    if (afterSection)
        stream << std::endl;
    for (const std::string& line : keptSpeciesLines)
        stream << ChopToZelmLength(line) << std::endl;
    if (!afterSection)
        stream << std::endl;
    for (const std::string& line : keptLines)
        stream << ChopToZelmLength(line) << std::endl;
    for (const auto& entry : interactions) {
        const std::string& formLine = entry.first;
        const bool multiLine = formLine.find("glue") != std::string::npos || formLine.find("srgl") != std::string::npos;
        const std::string written = ChopToZelmLength(FormLineNotSpecies(formLine, speciesNames));
        stream << written;
        // The form line again among its lines: after the block of a form
        // that the reader does not know.
        for (const std::string& line : entry.second)
            stream << (line == formLine ? written : multiLine ? line : ChopToZelmLength(line));
    }
    stream << std::endl;
}

std::string CZelmLibWriter::FormLineNotSpecies(const std::string& formLine,
                                               const std::set<std::string>& speciesNames) const
{
    // A line that begins with a species is read as an interaction, so a form
    // whose keyword names a species is written with a spelling of the keyword
    // that names none and still reads as the same form (the keyword is read
    // in any case, and by the registered keyword that begins the word).
    const std::size_t start = formLine.find_first_not_of(" \t");
    if (start == std::string::npos)
        return formLine;
    const std::size_t end = std::min(formLine.find_first_of(" \t\r\n", start), formLine.size());
    const std::string word = formLine.substr(start, end - start);
    if (speciesNames.count(word) == 0)
        return formLine;
    std::string keyword;
    if (!m_serverDescription.ResolveFunctionalFormKeyword(LowerCase(word), keyword))
        return formLine;
    const auto readsAsForm = [&](const std::string& spelling) {
        std::string resolved;
        return speciesNames.count(spelling) == 0 &&
               m_serverDescription.ResolveFunctionalFormKeyword(LowerCase(spelling), resolved) && resolved == keyword;
    };
    std::string spelling = UpperCase(word);
    for (std::size_t extra = 0; !readsAsForm(spelling) && extra <= speciesNames.size(); ++extra)
        spelling = word + std::string(extra + 1, '_');
    if (!readsAsForm(spelling))
        return formLine;
    return formLine.substr(0, start) + spelling + formLine.substr(end);
}
