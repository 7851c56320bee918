// The driver's deck command as a new user runs it: register the module,
// make a project, import the rock salt, select the example library and
// write the GeomOpt deck.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

using Result = QzTest::DriverOutcome;

class DeckCommand : public ::testing::Test {
protected:
    Result Run(const std::string& arguments) const
    {
        return QzTest::RunDriver(folder.Path(), "registry.json", arguments);
    }

    void Step(const std::string& arguments) const
    {
        const Result result = Run(arguments);
        ASSERT_EQ(result.code, 0) << arguments << "\n" << result.out << result.err;
    }

    void SetUp() override
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + examples + "rocksalt.cif --project p");
        std::filesystem::copy_file(examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
        Step("state --project p ZelmLogic library rocksalt");
        Step("state --project p ZelmLogic ChargeOption Library");
    }

    QzTest::TempFolder folder{"deck-command"};
};

} // namespace

TEST_F(DeckCommand, WritesAndPrintsTheGeomOptDeck)
{
    const Result result = Run("deck p/rocksalt.qsd --task GeomOpt --out p/job");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::string deck = QzTest::ReadFile(folder.File("p/job/rocksalt.gin"));
    ASSERT_FALSE(deck.empty());
    EXPECT_EQ(deck, QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/deck/geomopt-rocksalt.gin"));
    EXPECT_NE(result.out.find("files written:\n  rocksalt.gin\n  selectedLibrary.libaux\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("---- rocksalt.gin ----\n" + deck), std::string::npos) << result.out;
    // The task was set for this call only.
    EXPECT_EQ(Run("state --project p ZelmLogic Task").out, "1 (Energy)\n");
}

TEST_F(DeckCommand, SurfaceDeckOfASlabTakesTheRegionsFromTheSetsMadeThroughTheCalculator)
{
    const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
    std::filesystem::copy_file(examples + "slab.qsd", folder.File("p/slab.qsd"));
    Step("state --project p SurfaceCalculator CalculateAttachmentEnergy true");
    Step("surface --project p p/slab.qsd --select 1,2 add-attachment");
    Step("surface --project p p/slab.qsd --select 1,2,3,4 add-surface");
    const Result result = Run("deck p/slab.qsd --project p --task Surface");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::string deck = QzTest::ReadFile(folder.File("p/slab.gin"));
    // The four surface atoms (two layers) form region 1, the rest region 2.
    const size_t region1 = deck.find("sfractional region 1\n");
    const size_t region2 = deck.find("sfractional region 2\n");
    ASSERT_NE(region1, std::string::npos) << deck;
    ASSERT_NE(region2, std::string::npos) << deck;
    const std::string first = deck.substr(region1, region2 - region1);
    EXPECT_NE(first.find("-2.820000"), std::string::npos) << first;
    EXPECT_EQ(first.find("-5.640000"), std::string::npos) << first;
    EXPECT_NE(deck.find("-8.460000", region2), std::string::npos) << deck;
}

// The occupancy column of the deck carries a partly occupied site's share.
TEST_F(DeckCommand, PartlyOccupiedSitesWriteTheirOccupancy)
{
    const Result imported = Run("import " + std::string(QZ_TEST_DATA) + "/hostmodel/mixed-site.cif --project p");
    ASSERT_EQ(imported.code, 0) << imported.err;
    EXPECT_NE(imported.out.find("2 atom sites share a position with another site"), std::string::npos)
        << imported.out;
    const Result result = Run("deck p/mixed-site.qsd --task Energy --out p/mixed");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::string deck = QzTest::ReadFile(folder.File("p/mixed/mixed-site.gin"));
    for (const char* line : {"\nNa1 core 0.000000 0.000000 0.000000 1.000000 0.500000 0.0 1 1 1\n",
                             "\nK1 core 0.000000 0.000000 0.000000 0.000000 0.500000 0.0 1 1 1\n",
                             "\nCl1 core 0.500000 0.500000 0.500000 -1.000000 1.000000 0.0 1 1 1\n"})
        EXPECT_NE(deck.find(line), std::string::npos) << line << deck;
}
