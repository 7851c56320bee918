// The main output as the engine writes it: "Dimensionality = n", notes
// between the cycles of an optimisation, one blank line under a cell
// heading, surface tables of any number of regions, and engine errors.

#include "readers/GeomOptReaders.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"

#include "ReaderFiles.h"

#include "kelv/kelv.h"

#include <gtest/gtest.h>

using QzTest::ReaderFolder;
using Series = std::vector<double>;

namespace {

std::string Fixture(const char* name)
{
    return std::string(QZ_TEST_DATA) + "/readers/" + name;
}

} // namespace

TEST(RealLayout, DimensionalityWithOrWithoutEquals)
{
    ReaderFolder folder;
    struct Case {
        const char* text;
        int dimensionality;
    } cases[] = {
        {"  Dimensionality = 3               :  Bulk\n", 3},
        {"  Dimensionality 2 : Surface\n", 2},
        // A fit of several structures: the first line decides.
        {"  Dimensionality = 1 : Polymer\n  Dimensionality = 3 : Bulk\n", 1},
        {"  Dimensionality =\n", 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.dimensionality, COutputFileReader(folder.Write("run.gout", c.text)).GetDimensionality()) << c.text;
    }
    try {
        COutputFileReader reader(folder.Write("run.gout", "  Dimensionality = Bulk\n"));
        FAIL();
    } catch (const KelvResult& error) {
        EXPECT_EQ("Found invalid field in the string Bulk", error.GetMessage());
    }
}

TEST(RealLayout, AtomTablesOfBulkAndOfThreeSurfaceRegions)
{
    struct Case {
        const char* file;
        int dimensionality, cores, shells;
    } cases[] = {{"bulk-optimisation.gout", 3, 2, 1}, {"surface-optimisation.gout", 2, 4, 1}};
    for (const Case& c : cases) {
        const COutputFileReader reader(Fixture(c.file));
        EXPECT_EQ(c.dimensionality, reader.GetDimensionality()) << c.file;
        EXPECT_EQ(c.cores, reader.GetCoreCount()) << c.file;
        EXPECT_EQ(c.shells, reader.GetShellCount()) << c.file;
    }
}

TEST(RealLayout, OptimisationHistoryTakesOneStepPerCycle)
{
    // Notes of 8 words and "satisfied" notes between the cycles are no steps
    // and end nothing; the history ends at the closing note.
    const CGeomOptOutputFileReader bulk(Fixture("bulk-optimisation.gout"));
    EXPECT_EQ((Series{-1.25, -7.5, -11.0, -11.125}), bulk.GetSeries1());
    EXPECT_EQ((Series{-6.25, -3.5, -0.125}), bulk.GetSeries2());
    EXPECT_EQ((Series{0.04, 0.5, 0.25, 0.000125}), bulk.GetSeries3());
    EXPECT_DOUBLE_EQ(0.00002, bulk.GetTolerance1());
    EXPECT_DOUBLE_EQ(0.002, bulk.GetTolerance2());

    const CGeomOptOutputFileReader surface(Fixture("surface-optimisation.gout"));
    EXPECT_EQ((Series{-40.5, -41.0}), surface.GetSeries1());
}

TEST(RealLayout, HistoryEndsAndDefectCycles)
{
    ReaderFolder folder;
    const std::string start = "  Start of defect optimisation :\n\n";
    struct Case {
        std::string text;
        Series energies;
    } cases[] = {
        {start + "  Cycle:      0 Defect Energy:    2.5  Gnorm:   0.1  CPU:   0.1\n"
                 "  Cycle:      1 Defect Energy:    2.0  Gnorm:   0.01  CPU:   0.2\n",
         {2.5, 2.0}},
        // "Final energy" ends the history as the closing notes do.
        {start + "  Cycle: 0 Energy: -1.0 Gnorm: 0.1 CPU: 0.1\n  Final energy = -1.0 eV\n"
                 "  Cycle: 1 Energy: -9.0 Gnorm: 0.1 CPU: 0.1\n",
         {-1.0}},
        {start + "  Cycle: 0 Energy: -1.0 Gnorm: 0.1 CPU: 0.1\n"
                 "  **** Too many failed attempts to optimise ****\n"
                 "  Cycle: 1 Energy: -9.0 Gnorm: 0.1 CPU: 0.1\n",
         {-1.0}},
        // Without any cycle line the older layout's steps are read: any other
        // line of 8 words up to the first "****" line.
        {start + "  Step 0 - -3.0 | 0.2 | 0.1\n  ** Hess reset due to cos < rst\n"
                 "  **** Gtol satisfied in optimiser ****\n  Step 1 - -4.0 | 0.1 | 0.2\n",
         {-3.0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.energies, CGeomOptOutputFileReader(folder.Write("run.gout", c.text)).GetSeries1()) << c.text;
    }
}

TEST(RealLayout, CellBlocksUnderOneBlankLine)
{
    double a = -1, b = -1, c = -1, alpha = -1, beta = -1, gamma = -1;
    CMolDynOutputFileReader::ReadCellParameters(a, b, c, alpha, beta, gamma, Fixture("dynamics-cell.gout"));
    EXPECT_EQ((Series{8.424, 8.425, 8.426, 90.5, 91.0, 92.0}), (Series{a, b, c, alpha, beta, gamma}));

    a = b = alpha = -1;
    CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha, Fixture("surface-optimisation.gout"));
    EXPECT_EQ((Series{4.212, 4.212, 90.0}), (Series{a, b, alpha}));
}

TEST(RealLayout, EngineErrorsAndWarnings)
{
    ReaderFolder folder;
    struct Case {
        std::string path;
        bool failed;
        const char* reason;
    } cases[] = {
        {Fixture("engine-error.gout"), true, "input file is empty"},
        {folder.Write("md.gout", "  Molecular dynamics equilibration :\n"
                                 "  !! ERROR : temperature has exceeded maximum allowed set by mdmaxtemp  \n"),
         true, "temperature has exceeded maximum allowed set by mdmaxtemp"},
        // Without a line break after it, the error still counts.
        {folder.Write("cut.gout", "!! ERROR : input file is empty"), true, "input file is empty"},
        {folder.Write("warned.gout", "  **** ZELM has completed with 1 warning - beware! ****\n"), false, ""},
        {folder.Write("quoted.gout", "  a note about !! ERROR lines\n"), false, ""},
        {Fixture("bulk-optimisation.gout"), false, ""},
    };
    for (const Case& c : cases) {
        std::string reason = "unset";
        EXPECT_EQ(c.failed, COutputFileReader::ScanEngineError(c.path, reason)) << c.path;
        EXPECT_EQ(c.reason, reason) << c.path;
    }
}
