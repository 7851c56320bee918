#include <list>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "FakeAtoms.h"
#include "qorvira/ZelmSpeciesReader.h"

namespace {

class SpeciesForAtoms : public ::testing::Test
{
protected:
    void Read(const std::string& text)
    {
        std::istringstream in(text);
        std::list<std::string> other;
        m_reader.Read(in, other);
    }

    std::list<std::string> m_unused;
    CZelmSpeciesReader m_reader{m_unused, false, "test.lib"};
};

}  // namespace

TEST_F(SpeciesForAtoms, MatchingRulesInOrder)
{
    Read("species\n"
         "Na_1+ core 0.9\n"
         "Na core 1.0\n"
         "O_O2- core 0.8\n"
         "O_O2- shel -2.8\n"
         "O_OH core 0.9\n"
         "H_OH core 0.4\n"
         "H core 0.1\n"
         "Xe_0+ core 0.0\n"
         "Cl_special shel -1.5\n");

    KelvComPtr<ISDObject> hydrogen = MakeAtom("H");
    KelvComPtr<ISDObject> oxygen = MakeAtom("O", -2);
    KelvComPtr<ISDObject> hydroxylOxygen = MakeAtom("O", -2);
    Attach(hydroxylOxygen, {hydrogen});
    KelvComPtr<ISDObject> hydroxylHydrogen = MakeAtom("H", 1);
    Attach(hydroxylHydrogen, {MakeAtom("O")});

    struct Case
    {
        const char* what;
        KelvComPtr<ISDObject> atom;
        const char* alternativeName;
        const char* name;
    } cases[] = {
        {"element and charge", MakeAtom("Na", 1), "Na_1+", "Na"},
        {"element alone: the first type of the element", MakeAtom("Na", 2), "Na_1+", "Na"},
        {"forcefield type wins over the charge", MakeAtom("Na", 1, 1, "Na"), "Na", "Na"},
        {"type unknown to the library is passed over", MakeAtom("Na", 1, 1, "Na_x"), "Na_1+", "Na"},
        {"oxide oxygen", oxygen, "O_O2-", "O"},
        {"hydroxyl oxygen", hydroxylOxygen, "O_OH", "O"},
        {"hydroxyl hydrogen", hydroxylHydrogen, "H_OH", "H"},
        {"lone hydrogen", hydrogen, "H", "H"},
        {"type O_OH despite charge -2", MakeAtom("O", -2, 1, "O_OH"), "O_OH", "O"},
        {"uncharged", MakeAtom("Xe"), "Xe_0+", "Xe"},
        {"charge -1/2 truncates to 0", MakeAtom("Xe", -1, 2), "Xe_0+", "Xe"},
        {"zero denominator skips the charge rule", MakeAtom("Cl", 1, 0), "Cl_special", "Cl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(m_reader.HasSpecies(c.atom));
        CSpecies species = m_reader.Get(c.atom);
        EXPECT_EQ(species.GetAlternativeName(), c.alternativeName);
        EXPECT_EQ(species.GetName(), c.name);
    }
}

TEST_F(SpeciesForAtoms, ChargesOfMatchedSpecies)
{
    Read("species\nNa core 1.0\nO core 0.8\nO shel -2.8\n");
    CSpecies sodium = m_reader.Get(MakeAtom("Na", 1));
    EXPECT_TRUE(sodium.IsCore());
    EXPECT_FALSE(sodium.IsShell());
    EXPECT_DOUBLE_EQ(sodium.GetCoreCharge(), 1.0);
    // A species without a shell carries no shell charge, so core plus shell
    // charge is the species' charge.
    EXPECT_DOUBLE_EQ(sodium.GetShellCharge(), 0.0);

    CSpecies oxygen = m_reader.Get(MakeAtom("O", -2));
    EXPECT_TRUE(oxygen.IsCore());
    EXPECT_TRUE(oxygen.IsShell());
    EXPECT_DOUBLE_EQ(oxygen.GetCoreCharge(), 0.8);
    EXPECT_DOUBLE_EQ(oxygen.GetShellCharge(), -2.8);
}

TEST_F(SpeciesForAtoms, FirstTypeOfAnElementNamesTheElementEntry)
{
    Read("species\nSi_A core 0.8\nSi_B core 0.9\nSi_x shel -1.0\n");
    // Matched by element: the first type of the element, completed by the
    // first later type that adds the missing half.
    CSpecies species = m_reader.Get(MakeAtom("Si", 4));
    EXPECT_EQ(species.GetAlternativeName(), "Si_A");
    EXPECT_EQ(species.GetName(), "Si");
    EXPECT_TRUE(species.IsCore());
    EXPECT_TRUE(species.IsShell());
    EXPECT_DOUBLE_EQ(species.GetCoreCharge(), 0.8);
    EXPECT_DOUBLE_EQ(species.GetShellCharge(), -1.0);
}

TEST_F(SpeciesForAtoms, UnknownAtomGetsACoreNamedByItsElement)
{
    Read("species\nNa core 1.0\n");
    KelvComPtr<ISDObject> atom = MakeAtom("Fe", 3);
    EXPECT_FALSE(m_reader.HasSpecies(atom));
    CSpecies species = m_reader.Get(atom);
    EXPECT_EQ(species.GetName(), "Fe");
    EXPECT_EQ(species.GetAlternativeName(), "Fe");
    EXPECT_TRUE(species.IsCore());
    EXPECT_FALSE(species.IsShell());
    EXPECT_DOUBLE_EQ(species.GetCoreCharge(), 0.0);
}

TEST_F(SpeciesForAtoms, AtomsWithoutOptionalProperties)
{
    Read("species\nNa core 1.0\n");
    // No forcefield type, no formal charge, no attached atoms: matched by
    // element alone.
    KelvComPtr<ISDObject> bare = FakeAtom::Make();
    FakeAtom::Set(bare, "ElementSymbol", KelvVariant("Na"));
    FakeAtom::Set(bare, "FormalCharge", KelvVariant());
    EXPECT_TRUE(m_reader.HasSpecies(bare));

    // An atom without an element symbol is a host failure, reported.
    KelvComPtr<ISDObject> broken = FakeAtom::Make();
    EXPECT_THROW(m_reader.HasSpecies(broken), KelvResult);
    // A formal charge that holds no object is reported too.
    KelvComPtr<ISDObject> badCharge = FakeAtom::Make();
    FakeAtom::Set(badCharge, "ElementSymbol", KelvVariant("Na"));
    FakeAtom::Set(badCharge, "FormalCharge", KelvVariant(int32_t{1}));
    EXPECT_THROW(m_reader.Get(badCharge), KelvResult);
    // A null atom is reported, not dereferenced.
    EXPECT_THROW(m_reader.Get(KelvComPtr<ISDObject>()), KelvResult);
}
