// Reader of the species section of an engine forcefield library and the
// matching of model atoms and library atom-type names to its species.
//
// Reading rules (one line at a time; a trailing carriage return is ignored
// and the last line is read whether or not it ends with a line break):
// - a comment line (first non-blank character '#') is kept among the other
//   lines and changes nothing;
// - a line that contains "species" starts the species section;
// - a line that contains neither "core" nor "shel" ends the section when it
//   has started (a blank line included) and is the line Read returns;
//   before the section such a line is kept among the other lines (blank
//   lines are dropped);
// - inside the section, a line whose word holding "core" or "shel" is
//   neither its first nor its second word ("tersoff Na core"), or whose
//   word after that kind is a type name of a line before or is followed by
//   another kind ("Na core Cl core 1.0 2.0"), or that is a keyword followed
//   only by a kind ("tersoff core": a first word of a lower-case letter and
//   two or more lower-case letters, digits or '_', naming no species of a
//   line before, and no charge after the kind), is no species line: it ends
//   the section and is the line Read returns;
// - any other line is a species line, also before a "species" line: its
//   first word is the type name; with "core" in it, it is a core line whose
//   charge is the number after the word holding the first "core"; otherwise
//   a shell line whose charge is the number after the word holding the first
//   "shel" ("shel" and "shell" read alike). No word there (or a comment, or
//   another keyword) gives 0.0. Inside the section a word there that is not
//   a whole, finite number leaves the type out: every species line of that
//   type name is kept as written (GetKeptLines) and no species of that name
//   exists, so that no atom is taken for it with a charge the library does
//   not give. Before the section such a word counts as no charge.
// Keywords are found without regard to ASCII case; words are separated by
// blanks and tabs.
//
// Two tables are kept: one by type name and one by element key (the first
// two characters of the type name, or only the first when the second is
// '_': "O_OH" -> "O", "Si" -> "Si", "Na+" -> "Na"). The first line under a
// key creates its entry with that line's type name, half and charge; a later
// line may only add the missing half (a core to a shell entry or a shell to
// a core entry); any other later line leaves the entry as it is.
#pragma once

#include <istream>
#include <list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "com/com.h"
#include "kelv/kelv.h"
#include "qorvira/Species.h"

struct ISDObject;

class CZelmSpeciesReader
{
public:
    // `otherLines` is the list the caller collects unread lines in (Read is
    // given it again); the standard-library flag and the path name the
    // library for the caller: reading depends on neither.
    CZelmSpeciesReader(std::list<std::string>& otherLines, bool isStandardLibrary,
                       const std::string& libraryPath);
    virtual ~CZelmSpeciesReader();

    // Reads the species section from the stream (replacing what an earlier
    // Read found). Lines that are neither species nor the line that ends the
    // section are appended to `otherLines`. Returns the line that ended the
    // section (empty for a blank line or at the end of input).
    std::string Read(std::istream& stream, std::list<std::string>& otherLines);

    // True when any species has a shell.
    bool HasShell() const;
    // True when any species line carried a charge.
    bool HasCharges() const;

    // A species line left out (see above): its number in the stream (from
    // 1), the line as written and why.
    struct KeptLine
    {
        int lineNumber = 0;
        std::string line;
        std::string reason;
    };
    // In stream order.
    const std::vector<KeptLine>& GetKeptLines() const;

    // Every species by library type name (the map's key equals each
    // species' alternative name).
    const std::map<std::string, CSpecies>& GetAllSpecies() const;

    // The species of a library type name (exact, case-sensitive).
    bool Get(const std::string& name, CSpecies& species) const;
    bool HasSpecies(const std::string& name) const;

    // The species of a model atom, found by the first rule that gives one:
    // 1. the atom's "ForcefieldType" as a type name;
    // 2. the element symbol with the formal charge q (numerator divided by
    //    denominator, truncated): "Na_1+", "O_2-", "Xe_0+" (skipped for a
    //    zero denominator);
    // 3. oxygen: "O_OH" with a hydrogen attached, else "O_O2-"; hydrogen:
    //    "H_OH" with an oxygen attached, else "H";
    // 4. the element symbol as an element key.
    // An atom that matches nothing gets a core-only species named by its
    // element symbol with charge 0.0, and HasSpecies answers false for it.
    CSpecies Get(const KelvComPtr<ISDObject>& atom) const;
    bool HasSpecies(const KelvComPtr<ISDObject>& atom) const;

    // The atom-type name of `species` for a qualifier as written after a
    // species in an interaction line: "core" selects the core, anything
    // holding "shel" the shell, the empty qualifier the core when the
    // species has one, else the shell. `atomTypeName` receives the library
    // type name, a blank and "core" or "shel"; the answer is whether the
    // species has that half.
    bool IsMatchingAtomtype(const CSpecies& species, const std::string& qualifier,
                            std::string& atomTypeName) const;

    // Whether a word is shaped like a keyword and not like a type name: a
    // lower-case letter, then two or more lower-case letters, digits or '_'
    // ("tersoff", "sw3"). Type names begin with their element's capital
    // ("Na", "O_OH"), and a word of two letters may be one written in lower
    // case ("na").
    static bool IsKeywordShaped(const std::string& word);

    // Whether a line in the species section ends it (a form keyword followed
    // by atom types or by a kind, an interaction line), given the type names
    // of the section's lines before it: what the reader reads there, which a
    // writer of the section keeps to.
    static bool EndsSpeciesSection(const std::string& line, const std::set<std::string>& typeNames);

    // The element key of a library type name (see above).
    static std::string ElementKey(const std::string& typeName);

    // One species line into a table of entries by key (each with kind,
    // shellCharge, coreCharge and typeName): a new key takes the line's
    // name, kind and charge (as both charges); a core line completes a shell
    // entry and a shell line a core entry (kind 6, both charges); anything
    // else changes nothing.
    template <class Entries>
    static void CombineSpecies(Entries& table, const std::string& key, const std::string& typeName, int kind,
                               double charge);

private:
    struct Entry
    {
        int kind = 0;  // 2 core, 4 shell, 6 both
        double shellCharge = 0.0;
        double coreCharge = 0.0;
        std::string typeName;
    };
    using Table = std::map<std::string, Entry>;

    static void AddSpecies(Table& table, const std::string& key, const std::string& typeName,
                           int kind, double charge);
    struct SpeciesLine
    {
        std::string text;
        int lineNumber = 0;
        std::string typeName;
        int kind = 0;
        bool given = false;       // a number stood there
        bool notANumber = false;  // a word that is no number stood there
        double value = 0.0;
        std::string chargeWord;
    };

    static CSpecies MakeSpecies(const Entry& entry);
    bool FindSpeciesForAtom(const KelvComPtr<ISDObject>& atom, CSpecies& species) const;
    static SpeciesLine ReadSpeciesLine(const std::string& line, int number, bool inSection);

    Table m_elementTable;
    Table m_typeTable;
    std::map<std::string, CSpecies> m_allSpecies;
    std::vector<KeptLine> m_keptLines;
    bool m_hasCharges = false;
};

template <class Entries>
void CZelmSpeciesReader::CombineSpecies(Entries& table, const std::string& key, const std::string& typeName, int kind,
                                        double charge)
{
    constexpr int core = 2;
    constexpr int shell = 4;
    const auto found = table.find(key);
    if (found == table.end()) {
        typename Entries::mapped_type entry;
        entry.kind = kind;
        entry.shellCharge = charge;
        entry.coreCharge = charge;
        entry.typeName = typeName;
        table.emplace(key, entry);
        return;
    }
    typename Entries::mapped_type& entry = found->second;
    if (entry.kind == shell && kind == core) {
        entry.kind = core | shell;
        entry.coreCharge = charge;
    } else if (entry.kind == core && kind == shell) {
        entry.kind = core | shell;
        entry.shellCharge = charge;
    }
}
