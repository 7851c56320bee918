#include <list>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qorvira/ZelmSpeciesReader.h"

namespace {

struct ReadResult
{
    std::string ending;
    std::list<std::string> otherLines;
    std::string rest;  // what the stream still holds after Read
};

ReadResult ReadText(CZelmSpeciesReader& reader, const std::string& text)
{
    std::istringstream in(text);
    ReadResult result;
    result.ending = reader.Read(in, result.otherLines);
    std::ostringstream rest;
    rest << in.rdbuf();
    result.rest = rest.str();
    return result;
}

struct Expected
{
    const char* type;
    const char* name;
    bool core;
    bool shell;
    double coreCharge;
    double shellCharge;
};

void ExpectSpecies(const CZelmSpeciesReader& reader, const Expected& e)
{
    SCOPED_TRACE(e.type);
    CSpecies species;
    ASSERT_TRUE(reader.Get(e.type, species));
    EXPECT_EQ(species.GetName(), e.name);
    EXPECT_EQ(species.GetAlternativeName(), e.type);
    EXPECT_EQ(species.IsCore(), e.core);
    EXPECT_EQ(species.IsShell(), e.shell);
    EXPECT_DOUBLE_EQ(species.GetCoreCharge(), e.coreCharge);
    EXPECT_DOUBLE_EQ(species.GetShellCharge(), e.shellCharge);
}

class SpeciesReader : public ::testing::Test
{
protected:
    std::list<std::string> m_unused;
    CZelmSpeciesReader m_reader{m_unused, false, "test.lib"};
};

}  // namespace

TEST_F(SpeciesReader, ReadsTheLayoutTheModuleWrites)
{
    ReadResult r = ReadText(m_reader,
                            "\nspecies\nNa core 1\nO core 0.86902\nO shel -2.86902\n\nbuck\n"
                            "Na core O shel 1000.0 0.3 0.0\n");
    EXPECT_EQ(r.ending, "");
    EXPECT_TRUE(r.otherLines.empty());
    EXPECT_EQ(r.rest, "buck\nNa core O shel 1000.0 0.3 0.0\n");
    EXPECT_EQ(m_reader.GetAllSpecies().size(), 2u);
    ExpectSpecies(m_reader, {"Na", "Na", true, false, 1.0, 0.0});
    ExpectSpecies(m_reader, {"O", "O", true, true, 0.86902, -2.86902});
    EXPECT_TRUE(m_reader.HasShell());
    EXPECT_TRUE(m_reader.HasCharges());
}

TEST_F(SpeciesReader, SectionEndsAtTheFirstLineWithoutCoreOrShell)
{
    ReadResult r = ReadText(m_reader,
                            "species\nNa core 1.0\n# a comment inside\nCl shel -1.0\nbuckingham\n"
                            "Cl core 2.0\n");
    EXPECT_EQ(r.ending, "buckingham");
    EXPECT_EQ(r.otherLines, std::list<std::string>{"# a comment inside"});
    EXPECT_EQ(r.rest, "Cl core 2.0\n");
    ExpectSpecies(m_reader, {"Na", "Na", true, false, 1.0, 0.0});
    ExpectSpecies(m_reader, {"Cl", "Cl", false, true, 0.0, -1.0});
}

// A line of the section that holds a kind but is no species line (a form
// keyword followed by atom types or only by a kind, an interaction line)
// ends the section:
// its words are never read as a species and its charge.
TEST_F(SpeciesReader, AKeywordOrAnInteractionLineEndsTheSection)
{
    const struct {
        const char* line;
        bool ends;
    } cases[] = {
        {"tersoff Na core", true},
        {"tersoff Na core Cl core 1.0", true},
        {"Na core Cl core 1.0 2.0 3.0", true},
        {"Na core Cl 1.0 2.0", true},
        {"Na shel Na core 5.0", true},
        {"K core 1.0", false},
        {"K shel -2.0 # its shell", false},
        {"Score core 1", false},
        // A keyword followed only by a kind; a species named like one stays.
        {"tersoff core", true},
        {"sw3 shel # its shells", true},
        {"bondorder0_bond CORE", true},
        {"tersoff core 0.0", false},
        {"Tersoff core", false},
        {"na core", false},
        {"K core", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ReadResult r = ReadText(m_reader, std::string("species\nNa core 1.0\nCl core -1.0\n") + c.line + "\nbuck\n");
        EXPECT_EQ(r.ending, c.ends ? c.line : "buck");
        EXPECT_TRUE(m_reader.GetKeptLines().empty());
        ExpectSpecies(m_reader, {"Na", "Na", true, false, 1.0, 0.0});
        ExpectSpecies(m_reader, {"Cl", "Cl", true, false, -1.0, 0.0});
        EXPECT_EQ(m_reader.GetAllSpecies().size(), c.ends ? 2u : 3u);
    }
}

TEST_F(SpeciesReader, LinesBeforeTheSectionAreKeptOrReadAsSpecies)
{
    // Blank lines before the section are dropped, other lines kept; a line
    // naming a core before the section is a species line, whose charge is
    // read after the word "core" (here none: 0.0), and being first it fixes
    // the entry.
    ReadResult r = ReadText(m_reader,
                            "\n  \nkeyword conp\nNa core O shel 1000.0 0.3 0.0\nspecies\n"
                            "Na core 1.0\nNa shel -2.0\n");
    EXPECT_EQ(r.ending, "");
    EXPECT_EQ(r.otherLines, std::list<std::string>{"keyword conp"});
    ExpectSpecies(m_reader, {"Na", "Na", true, true, 0.0, -2.0});
}

TEST_F(SpeciesReader, SpeciesLinesWithoutASpeciesLine)
{
    ReadResult r = ReadText(m_reader, "Na shel -2.0\nNa core 1.0\n");
    EXPECT_EQ(r.ending, "");
    ExpectSpecies(m_reader, {"Na", "Na", true, true, 1.0, -2.0});
}

TEST_F(SpeciesReader, MergeRules)
{
    struct Case
    {
        const char* text;
        Expected expected;
    } cases[] = {
        {"species\nNa core 1.0\nNa shel -2.0\n", {"Na", "Na", true, true, 1.0, -2.0}},
        {"species\nNa shel -2.0\nNa core 1.0\n", {"Na", "Na", true, true, 1.0, -2.0}},
        // A second core line changes nothing.
        {"species\nNa core 1.0\nNa core 3.0\n", {"Na", "Na", true, false, 1.0, 0.0}},
        // Nothing is added to a complete entry.
        {"species\nNa core 1.0\nNa shel -2.0\nNa shel 5.0\n", {"Na", "Na", true, true, 1.0, -2.0}},
        // A line holding both words is a core line.
        {"species\nNa core shel 1.5\n", {"Na", "Na", true, false, 0.0, 0.0}},
        {"species\nNa shel core 1.5\n", {"Na", "Na", true, false, 1.5, 0.0}},
        // "shell" reads like "shel": the number after the word is the charge.
        {"species\nNa shell 1.25\n", {"Na", "Na", false, true, 0.0, 1.25}},
        {"species\nNa CORE 1.0\n", {"Na", "Na", true, false, 1.0, 0.0}},
        {"SPECIES\r\nNa\tcore\t-0.5\r\n", {"Na", "Na", true, false, -0.5, 0.0}},
        {"species\nSi_A core 4.0", {"Si_A", "Si", true, false, 4.0, 0.0}},
        {"species\nO_OH core 0.9\n", {"O_OH", "O", true, false, 0.9, 0.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::list<std::string> other;
        CZelmSpeciesReader reader(other, false, "x.lib");
        ReadText(reader, c.text);
        EXPECT_EQ(reader.GetAllSpecies().size(), 1u);
        ExpectSpecies(reader, c.expected);
    }
}

TEST_F(SpeciesReader, TypesOfOneElementStaySeparate)
{
    ReadText(m_reader, "species\nO_O2- core 0.8\nO_OH core 0.9\nH_OH core 0.4\n");
    EXPECT_EQ(m_reader.GetAllSpecies().size(), 3u);
    ExpectSpecies(m_reader, {"O_O2-", "O", true, false, 0.8, 0.0});
    ExpectSpecies(m_reader, {"O_OH", "O", true, false, 0.9, 0.0});
    ExpectSpecies(m_reader, {"H_OH", "H", true, false, 0.4, 0.0});
    for (const auto& [key, species] : m_reader.GetAllSpecies()) {
        EXPECT_EQ(key, species.GetAlternativeName());
    }
}

TEST_F(SpeciesReader, ChargesAndShells)
{
    ReadText(m_reader, "species\nNa core\nCl core\n");
    EXPECT_FALSE(m_reader.HasCharges());
    EXPECT_FALSE(m_reader.HasShell());
    ReadText(m_reader, "species\nNa core 0.0\nCl shel\n");
    EXPECT_TRUE(m_reader.HasCharges());
    EXPECT_TRUE(m_reader.HasShell());
}

// A charge that is not a number never becomes 0: the type is left out with
// every line of it kept as written, and the other species stand.
TEST_F(SpeciesReader, ChargeThatIsNotANumberLeavesTheSpeciesOut)
{
    for (const char* word : {"one", "nan", "inf", "1.0x", "1e999", "0x10", "1.0d0"}) {
        SCOPED_TRACE(word);
        const std::string bad = std::string("Na core ") + word;
        ReadResult r = ReadText(m_reader, "species\nNa shel -1.5\n" + bad + "\nCl core -1\n");
        EXPECT_FALSE(m_reader.HasSpecies("Na"));
        ExpectSpecies(m_reader, {"Cl", "Cl", true, false, -1.0, 0.0});
        EXPECT_TRUE(r.otherLines.empty());
        const std::vector<CZelmSpeciesReader::KeptLine>& kept = m_reader.GetKeptLines();
        ASSERT_EQ(kept.size(), 2u);
        EXPECT_EQ(kept[0].line, "Na shel -1.5");
        EXPECT_EQ(kept[0].lineNumber, 2);
        EXPECT_EQ(kept[1].line, bad);
        EXPECT_EQ(kept[1].lineNumber, 3);
        EXPECT_NE(kept[1].reason.find(std::string("\"") + word + "\" of the species \"Na\" is not a number"),
                  std::string::npos)
            << kept[1].reason;
    }
    // No word, a comment or another keyword after the keyword is no charge.
    ReadText(m_reader, "species\nNa core\nK core # potassium\nCs core shel\n");
    EXPECT_TRUE(m_reader.GetKeptLines().empty());
    EXPECT_TRUE(m_reader.HasSpecies("Na") && m_reader.HasSpecies("K") && m_reader.HasSpecies("Cs"));
}

TEST_F(SpeciesReader, ReadReplacesAnEarlierRead)
{
    ReadText(m_reader, "species\nNa core 1.0\n");
    ReadText(m_reader, "species\nK core 1.0\n");
    EXPECT_FALSE(m_reader.HasSpecies("Na"));
    EXPECT_TRUE(m_reader.HasSpecies("K"));
}

TEST_F(SpeciesReader, NameLookupIsExact)
{
    ReadText(m_reader, "species\nNa core 1.0\n");
    CSpecies species;
    EXPECT_TRUE(m_reader.HasSpecies("Na"));
    EXPECT_FALSE(m_reader.HasSpecies("na"));
    EXPECT_FALSE(m_reader.HasSpecies("N"));
    EXPECT_FALSE(m_reader.Get("Na core", species));
}

TEST(SpeciesReaderKeys, ElementKeys)
{
    const std::pair<const char*, const char*> cases[] = {
        {"O_OH", "O"}, {"Si", "Si"}, {"Na+", "Na"}, {"O2-", "O2"}, {"H", "H"}, {"", ""}};
    for (const auto& [type, key] : cases) {
        EXPECT_EQ(CZelmSpeciesReader::ElementKey(type), key) << type;
    }
}

TEST_F(SpeciesReader, AtomTypeMatching)
{
    ReadText(m_reader, "species\nNa core 1.0\nO core 0.8\nO shel -2.8\nX shel 1.0\n");
    CSpecies na, o, x;
    ASSERT_TRUE(m_reader.Get("Na", na));
    ASSERT_TRUE(m_reader.Get("O", o));
    ASSERT_TRUE(m_reader.Get("X", x));
    struct Case
    {
        const CSpecies* species;
        const char* qualifier;
        bool matches;
        const char* name;
    } cases[] = {
        {&na, "core", true, "Na core"}, {&na, "CORE", true, "Na core"},
        {&na, "shel", false, "Na shel"}, {&na, "", true, "Na core"},
        {&o, "shell", true, "O shel"},   {&o, "", true, "O core"},
        {&x, "", true, "X shel"},        {&x, "core", false, "X core"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.qualifier);
        std::string name;
        EXPECT_EQ(m_reader.IsMatchingAtomtype(*c.species, c.qualifier, name), c.matches);
        EXPECT_EQ(name, c.name);
    }
}
