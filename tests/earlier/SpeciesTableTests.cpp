// The earlier build's species table: what each library line gives, the
// matching of model atoms to the species; and the fixed-atom answer.
#include "earlier/FixedAtomQuery.h"
#include "earlier/ZelmLibUtils.h"

#include "common/FakeDataObjects.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <climits>

using ZelmEarlier::CSpeciesEntry;
using ZelmEarlier::CZelmLibUtils;

namespace {

std::string Fixture(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/earlier/species/" + name;
}

// An entry as "name kind core shell", or "-" when the key is not there.
std::string Describe(const CZelmLibUtils::Table& table, const std::string& key)
{
    const auto found = table.find(key);
    if (found == table.end())
        return "-";
    const CSpeciesEntry& e = found->second;
    std::ostringstream text;
    text << e.typeName << " " << e.kind << " " << e.coreCharge << " " << e.shellCharge;
    return text.str();
}

struct ReadCase
{
    const char* file;
    const char* table;  // "type" or "element"
    const char* key;
    const char* entry;
};

class SpeciesReading : public testing::TestWithParam<ReadCase>
{
};

} // namespace

TEST_P(SpeciesReading, EntryAsTheLinesGiveIt)
{
    const ReadCase& c = GetParam();
    const CZelmLibUtils library("", Fixture(c.file));
    const auto& table = std::string(c.table) == "type" ? library.TypeTable() : library.ElementTable();
    EXPECT_EQ(Describe(table, c.key), c.entry) << c.file << " " << c.table << " " << c.key;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SpeciesReading,
    testing::Values(
        // Species lines before any "species" line are read.
        ReadCase{"before-species-line.lib", "type", "Cl", "Cl 2 -1 -1"},
        ReadCase{"before-species-line.lib", "element", "Na", "Na 2 1 1"},
        // A pair line before the section is a core line of charge 0 that
        // names the entry; the later core line changes nothing.
        ReadCase{"interaction-first.lib", "type", "Na", "Na 2 0 0"},
        ReadCase{"interaction-first.lib", "element", "O", "O 6 0.8 -2.8"},
        // The section ends at an empty line, "buck" or "end"; '#' makes a
        // comment in column 1 only.
        ReadCase{"ends-at-empty-line.lib", "type", "K", "-"},
        ReadCase{"ends-at-buck.lib", "type", "K", "-"},
        ReadCase{"ends-at-buck.lib", "type", "Na", "Na 2 1 1"},
        ReadCase{"comments-in-column-one.lib", "type", "Cl", "Cl 2 -1 -1"},
        ReadCase{"comments-in-column-one.lib", "type", "#Rb", "#Rb 2 2 2"},
        ReadCase{"comments-in-column-one.lib", "type", "K", "-"},
        // "shell" has no number after "shel".
        ReadCase{"shell-word.lib", "type", "Na", "Na 4 0 0"},
        // Core and shell lines in either order make one species of kind 6.
        ReadCase{"core-then-shel.lib", "type", "Na", "Na 6 1 -2"},
        ReadCase{"shel-then-core.lib", "element", "Na", "Na 6 1 -2"},
        // The first type of an element names the element's entry.
        ReadCase{"oxide-then-hydroxyl.lib", "element", "O", "O_O2- 2 0.8 0.8"},
        ReadCase{"oxide-then-hydroxyl.lib", "type", "O_OH", "O_OH 2 0.9 0.9"},
        // Element keys: two characters, or one before '_'.
        ReadCase{"element-keys.lib", "element", "Si", "Si 2 4 4"},
        ReadCase{"element-keys.lib", "element", "Na", "Na+ 2 1 1"},
        ReadCase{"element-keys.lib", "element", "O2", "O2- 2 -2 -2"},
        ReadCase{"element-keys.lib", "element", "H", "H 2 0.4 0.4"},
        ReadCase{"element-keys.lib", "element", "O", "O_OH 4 -1.4 -1.4"},
        // A line with both words is a core line.
        ReadCase{"element-keys.lib", "type", "Na", "Na 2 1 1"},
        // The last line is read without a line break.
        ReadCase{"last-line-without-break.lib", "type", "K", "K 2 1 1"}));

TEST(SpeciesReadingLimits, LinesOfAnyLengthAreRead)
{
    QzTest::TempFolder folder;
    const std::string path = folder.File("long.lib");
    QzTest::WriteFile(path, "species\nNa core 1.0" + std::string(3000, ' ') + "\nK core 1.0\n");
    const CZelmLibUtils library("", path);
    EXPECT_EQ(Describe(library.TypeTable(), "Na"), "Na 2 1 1");
    EXPECT_EQ(Describe(library.TypeTable(), "K"), "K 2 1 1");
}

// ---------------------------------------------------------------------------
// Matching

namespace {

class Fraction final : public QzTest::Fake<ISDFraction>
{
public:
    Fraction(LONG n, LONG d) : numerator(n), denominator(d) {}
    HRESULT GetNumeratorDenominator(LONG* n, LONG* d) override
    {
        *n = numerator;
        *d = denominator;
        return S_OK;
    }
    LONG numerator, denominator;
};

using Atom = QzTest::PropertyObject<>;

KelvComPtr<Atom> MakeAtom(const std::string& element, LONG numerator, LONG denominator = 1,
                          const std::string& type = "", const std::vector<std::string>& attached = {})
{
    auto atom = QzTest::Make<Atom>();
    atom->properties["ElementSymbol"] = KelvVariant(element);
    atom->properties["ForcefieldType"] = KelvVariant(type);
    atom->properties["FormalCharge"] =
        KelvVariant(static_cast<IUnknown*>(QzTest::Make<Fraction>(numerator, denominator).get()));
    auto neighbours = QzTest::Make<QzTest::Collection>();
    for (const std::string& other : attached) {
        auto neighbour = QzTest::Make<Atom>();
        neighbour->properties["ElementSymbol"] = KelvVariant(other);
        neighbours->values.emplace_back(static_cast<IUnknown*>(static_cast<ISDObject*>(neighbour.get())));
    }
    atom->properties["AttachedAtoms"] = KelvVariant(static_cast<IUnknown*>(neighbours.get()));
    return atom;
}

struct MatchCase
{
    const char* what;
    KelvComPtr<Atom> (*atom)();
    const char* answer;  // name kind core shell
};

class SpeciesMatching : public testing::TestWithParam<MatchCase>
{
};

} // namespace

TEST_P(SpeciesMatching, AccessorsAnswerTheMatchedSpecies)
{
    const MatchCase& c = GetParam();
    const CZelmLibUtils library("", Fixture("matching.lib"));
    const KelvComPtr<Atom> fake = c.atom();
    const KelvComPtr<ISDObject> atom(static_cast<ISDObject*>(fake.get()));
    std::ostringstream text;
    text << library.GetSpeciesName(atom) << " " << library.GetSpeciesKind(atom) << " " << library.GetCoreCharge(atom)
         << " " << library.GetShellCharge(atom);
    EXPECT_EQ(text.str(), c.answer) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Order, SpeciesMatching,
    testing::Values(
        MatchCase{"forcefield type first", [] { return MakeAtom("O", -2, 1, "O_OH"); }, "O_OH 2 -1.4 -1.4"},
        MatchCase{"charged name", [] { return MakeAtom("Na", 1); }, "Na_1+ 2 1 1"},
        MatchCase{"neutral name", [] { return MakeAtom("Xe", 0); }, "Xe_0+ 2 0 0"},
        MatchCase{"-1/2 truncates to 0", [] { return MakeAtom("Ca", -1, 2); }, "Ca_0+ 2 0.5 0.5"},
        MatchCase{"oxygen with hydrogen", [] { return MakeAtom("O", -2, 1, "", {"Si", "H"}); }, "O_OH 2 -1.4 -1.4"},
        MatchCase{"oxygen alone", [] { return MakeAtom("O", -2, 1, "", {"Si"}); }, "O_O2- 2 -2 -2"},
        MatchCase{"hydrogen on oxygen", [] { return MakeAtom("H", 1, 1, "", {"O"}); }, "H_OH 2 0.4 0.4"},
        MatchCase{"hydrogen alone", [] { return MakeAtom("H", 1); }, "H 2 0.1 0.1"},
        MatchCase{"element table", [] { return MakeAtom("Cl", -1); }, "Cl 6 -1 -2"},
        MatchCase{"nothing found", [] { return MakeAtom("Ar", 0); }, "Ar 0 0 0"},
        MatchCase{"zero denominator skips the charged name", [] { return MakeAtom("Na", 1, 0); }, "Na_1+ 2 1 1"},
        MatchCase{"no overflow", [] { return MakeAtom("Xe", INT_MIN, -1); }, "Xe_0+ 2 0 0"}));

// ---------------------------------------------------------------------------
// The fixed-atom query of one atom

TEST(FixedAtomQuery, FixedOnlyWhenTheArraysHoldAnAtom)
{
    KelvSafeArray oneMask(VT_I4, 1), oneAtom(VT_UNKNOWN, 1), noMask(VT_I4, 0), noAtom(VT_UNKNOWN, 0);
    struct Case
    {
        SAFEARRAY* masks;
        SAFEARRAY* atoms;
        bool fixed;
    };
    for (const Case& c : {Case{nullptr, nullptr, false}, Case{oneMask.Get(), nullptr, false},
                          Case{nullptr, oneAtom.Get(), false}, Case{noMask.Get(), noAtom.Get(), false},
                          Case{oneMask.Get(), oneAtom.Get(), true}})
        EXPECT_EQ(ZelmEarlier::ReportsFixedAtom(c.masks, c.atoms), c.fixed);
}
