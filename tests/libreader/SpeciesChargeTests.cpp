// A species line whose charge is not a number: the structure check finds no
// species for its element, the load tells of the line, and a save writes it
// back as the user wrote it, inside the species section.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "FakeAtoms.h"
#include "common/TempFolder.h"
#include "common/TestForms.h"
#include "forcefield/ZelmForcefield.h"
#include "setup/ZelmLibUtils.h"

using QzTest::TempFolder;

TEST(SpeciesCharge, ANonNumberChargeIsKeptWarnedAndCountsAsAbsent)
{
    TempFolder files("species-charge");
    const std::string path =
        files.Write("rocksalt.lib", "species\nCl core -1\nNa core one\n\nbuck\nNa core Cl core 1000.0 0.3 0.0\n");

    const CZelmLibUtils species(false, path);
    EXPECT_FALSE(species.HasSpecies(MakeAtom("Na")));
    EXPECT_TRUE(species.HasSpecies(MakeAtom("Cl")));

    boost::shared_ptr<CServerDescription> server = testforms::MakeTestServer();
    CZelmForcefield first(path, *server);
    ASSERT_EQ(first.GetWarnings().size(), 2u);
    EXPECT_EQ(first.GetWarnings()[0].lineNumber, 3);
    EXPECT_EQ(first.GetWarnings()[0].line, "Na core one");
    EXPECT_NE(first.GetWarnings()[0].reason.find("is not a number"), std::string::npos);
    // The interaction naming the left-out species is kept as a line too.
    EXPECT_EQ(first.GetWarnings()[1].line, "Na core Cl core 1000.0 0.3 0.0");

    std::ostringstream saved;
    first.WriteLibrary(saved);
    EXPECT_EQ(saved.str().rfind("\nspecies\nCl core -1\nNa core one\n\n", 0), 0u) << saved.str();

    CZelmForcefield second(files.Write("saved.lib", saved.str()), *server);
    std::ostringstream again;
    second.WriteLibrary(again);
    EXPECT_EQ(again.str(), saved.str());
    EXPECT_EQ(second.GetWarnings().size(), 2u);
}
