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
#include "qorqm/MessageText.h"

CZelmForcefield::CZelmForcefield(const std::string& path, const CServerDescription& serverDescription)
    : CForcefield(path, serverDescription)
{
    ReadLibrary(path);
}

CZelmForcefield::CZelmForcefield(const CServerDescription& serverDescription, const std::string& text,
                                 CZelmLibUtils::FromText)
    : CForcefield(std::string(), serverDescription)
{
    struct Reading {
        bool& flag;
        explicit Reading(bool& f) : flag(f) { flag = true; }
        ~Reading() { flag = false; }
    } reading(m_reading);
    Take(CZelmLibUtils(GetServerDescription(), text, CZelmLibUtils::FromText{}));
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
        throw KelvResult(E_UNEXPECTED, "The atom type name \"" + MessageText::Excerpt(name) +
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
    Take(CZelmLibUtils(false, path, GetServerDescription()));
}

void CZelmForcefield::Take(const CZelmLibUtils& reader)
{
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
    // The reader's interactions become the forcefield's (not copies of them).
    // One list of names, whose nodes serve every entry in turn: no list is
    // made for each interaction.
    std::list<std::string> names;
    for (const CZelmLibUtils::InteractionEntry& entry : reader.GetInteractions()) {
        names.assign(entry.atomTypes.begin(), entry.atomTypes.end());
        AdoptInteraction(entry.interaction, names);
    }
    m_keptLines = reader.GetOtherLines();
    m_keptSpeciesLines = reader.GetKeptSpeciesLines();
    KeepBlocks(reader);
    m_warnings = reader.GetWarnings();
    m_keptForms = reader.GetKeptFormCount();
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
    // Each anchor's line and which of the equal lines of its form line it is.
    std::map<long, std::pair<std::string, std::size_t>> lines;
    std::map<std::pair<std::string, std::string>, std::size_t> seen;
    long index = 0;
    for (const CZelmLibUtils::InteractionEntry& entry : reader.GetInteractions()) {
        if (anchors.count(index)) {
            const std::string line = InteractionLine(entry);
            lines[index] = {line, seen[{entry.interaction->WriteFunctionalFormLine(), line}]++};
        } else {
            ++seen[{entry.interaction->WriteFunctionalFormLine(), InteractionLine(entry)}];
        }
        ++index;
    }
    const auto lineOf = [&lines](long position) {
        const auto found = lines.find(position);
        return found == lines.end() ? std::pair<std::string, std::size_t>() : found->second;
    };

    for (const CZelmLibUtils::FormBlock& block : reader.GetFormBlocks()) {
        KeptBlock kept;
        kept.formLine = block.formLine;
        for (const CZelmLibUtils::KeptLine& line : block.keptLines) {
            const auto after = lineOf(line.after);
            const auto before = lineOf(line.before);
            kept.lines.push_back(
                KeptBlockLine{after.first, before.first, line.text, after.second, before.second, line.open,
                              line.unknownForm});
        }
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

    for (const auto& entry : byForm) {
        // Plain names: a lambda below uses them (clang takes no bindings there).
        const auto& formLine = entry.first;
        const auto& kept = entry.second;
        std::list<std::string>& group = interactions[formLine];
        // Anchored by the interaction line and which of the equal ones it is.
        using Anchor = std::pair<std::string, std::size_t>;
        std::map<Anchor, std::vector<std::size_t>> after;
        std::map<Anchor, std::vector<std::size_t>> before;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!kept[i]->after.empty())
                after[{kept[i]->after, kept[i]->afterOccurrence}].push_back(i);
            else if (!kept[i]->before.empty())
                before[{kept[i]->before, kept[i]->beforeOccurrence}].push_back(i);
        }
        std::vector<bool> placed(kept.size(), false);
        std::list<std::string> merged;
        // Whether the line last put is a kept line that a following line
        // beginning with a number would continue when read back (a blank
        // line between them stops that).
        bool open = false;
        // Whether the line last put belongs to the block of a form the reader
        // does not know: that block runs up to the next form line, so a line
        // of this form after it comes after the form line again.
        bool inUnknownForm = false;
        const auto put = [&](const std::string& line, bool endsOpen, bool unknownForm) {
            if (inUnknownForm && !unknownForm)
                merged.push_back(formLine);
            else if (open && CZelmLibUtils::IsContinuationLine(line.substr(0, line.find('\n'))))
                merged.push_back("\n");
            merged.push_back(line);
            open = endsOpen;
            inUnknownForm = unknownForm;
        };
        const auto place = [&](std::map<Anchor, std::vector<std::size_t>>& anchored, const Anchor& line) {
            const auto found = anchored.find(line);
            if (found == anchored.end())
                return;
            for (std::size_t i : found->second) {
                put(kept[i]->text + "\n", kept[i]->open, kept[i]->unknownForm);
                placed[i] = true;
            }
            anchored.erase(found);
        };
        std::map<std::string, std::size_t> occurrences;
        for (const std::string& line : group) {
            const Anchor anchor{line, occurrences[line]++};
            place(before, anchor);
            put(line, false, false);
            place(after, anchor);
        }
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!placed[i])
                put(kept[i]->text + "\n", kept[i]->open, kept[i]->unknownForm);
        }
        group.swap(merged);
    }
}
