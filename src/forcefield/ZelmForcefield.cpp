#include "forcefield/ZelmForcefield.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "forcefield/ZelmLibWriter.h"
#include "kelv/kelv.h"

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
    InteractionMap interactions = GetAllInteractions();
    PlaceKeptBlockLines(interactions);
    CZelmLibWriter writer(stream, std::string(), GetAtomTypes(), m_keptLines, interactions, GetServerDescription(),
                          m_keptSpeciesLines);
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
    m_keptSpeciesLines = reader.GetKeptSpeciesLines();
    KeepBlocks(reader);
    m_warnings = reader.GetWarnings();
}

std::string CZelmForcefield::InteractionLine(const CZelmLibUtils::InteractionEntry& entry) const
{
    const CInteraction& interaction = *entry.interaction;
    const InteractionTypePtr type = GetServerDescription().FindTypeOfForm(*interaction.GetFunctionalForm());
    if (!type)
        return std::string();
    std::list<unsigned> ids;
    std::vector<std::string> left;
    for (const std::string& name : entry.atomTypes) {
        ids.push_back(GetAtomType(name).GetId());
        left.push_back(name);
    }
    std::string line;
    for (unsigned id : type->GetCanonicalOrdering(ids)) {
        const auto found = std::find_if(left.begin(), left.end(),
                                        [&](const std::string& name) { return GetAtomType(name).GetId() == id; });
        if (found == left.end())
            return std::string();
        line += *found + " ";
        left.erase(found);
    }
    return line + interaction.WriteInteractionLine();
}

void CZelmForcefield::KeepBlocks(const CZelmLibUtils& reader)
{
    m_keptBlocks.clear();
    if (reader.GetFormBlocks().empty())
        return;

    // The written lines of the interactions that kept lines stand beside.
    std::set<long> anchors;
    for (const CZelmLibUtils::FormBlock& block : reader.GetFormBlocks()) {
        for (const CZelmLibUtils::KeptLine& kept : block.keptLines) {
            anchors.insert(kept.after);
            anchors.insert(kept.before);
        }
    }
    std::map<long, std::string> lines;
    long index = 0;
    for (const CZelmLibUtils::InteractionEntry& entry : reader.GetInteractions()) {
        if (anchors.count(index))
            lines[index] = InteractionLine(entry);
        ++index;
    }
    const auto lineOf = [&lines](long position) {
        const auto found = lines.find(position);
        return found == lines.end() ? std::string() : found->second;
    };

    for (const CZelmLibUtils::FormBlock& block : reader.GetFormBlocks()) {
        KeptBlock kept;
        kept.formLine = block.formLine;
        for (const CZelmLibUtils::KeptLine& line : block.keptLines)
            kept.lines.push_back(KeptBlockLine{lineOf(line.after), lineOf(line.before), line.text});
        m_keptBlocks.push_back(kept);
    }
}

void CZelmForcefield::PlaceKeptBlockLines(InteractionMap& interactions) const
{
    // The kept lines of each form line, in file order.
    std::map<std::string, std::vector<const KeptBlockLine*>> byForm;
    for (const KeptBlock& block : m_keptBlocks) {
        std::vector<const KeptBlockLine*>& lines = byForm[block.formLine];
        for (const KeptBlockLine& line : block.lines)
            lines.push_back(&line);
    }

    for (const auto& [formLine, kept] : byForm) {
        std::list<std::string>& group = interactions[formLine];
        std::unordered_map<std::string, std::vector<std::size_t>> after;
        std::unordered_map<std::string, std::vector<std::size_t>> before;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!kept[i]->after.empty())
                after[kept[i]->after].push_back(i);
            else if (!kept[i]->before.empty())
                before[kept[i]->before].push_back(i);
        }
        std::vector<bool> placed(kept.size(), false);
        std::list<std::string> merged;
        const auto place = [&](std::unordered_map<std::string, std::vector<std::size_t>>& anchored,
                               const std::string& line) {
            const auto found = anchored.find(line);
            if (found == anchored.end())
                return;
            for (std::size_t i : found->second) {
                merged.push_back(kept[i]->text + "\n");
                placed[i] = true;
            }
            anchored.erase(found);  // only beside the first equal line
        };
        for (const std::string& line : group) {
            place(before, line);
            merged.push_back(line);
            place(after, line);
        }
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!placed[i])
                merged.push_back(kept[i]->text + "\n");
        }
        group.swap(merged);
    }
}
