// The main output as the engine writes it: "Dimensionality = n", notes
// between the cycles of an optimisation, one blank line under a cell
// heading, surface tables of any number of regions, and engine errors.

#include "readers/GeomOptReaders.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"

#include "ReaderFiles.h"

#include "kelv/kelv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

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
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.dimensionality, COutputFileReader(folder.Write("run.gout", c.text)).GetDimensionality()) << c.text;
    }
    // A value that is no number, and an "=" with none after it, fail; the
    // latter is never taken for a bulk structure.
    const struct {
        const char* text;
        const char* message;
    } failures[] = {
        {"  Dimensionality = Bulk\n", "Found invalid field in the string Bulk"},
        {"  Dimensionality =\n", "Found invalid field in the string ="},
    };
    for (const auto& f : failures) {
        try {
            COutputFileReader reader(folder.Write("run.gout", f.text));
            ADD_FAILURE() << f.text;
        } catch (const KelvResult& error) {
            EXPECT_EQ(f.message, error.GetMessage());
        }
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

TEST(RealLayout, CycleValuesThatFillTheirWidthOrOverflowIt)
{
    // Values touching their labels are read; runs of stars are steps of
    // unknown value, counted, never a number.
    const CGeomOptOutputFileReader history(Fixture("unstable-optimisation.gout"));
    const Series energies = history.GetSeries1();
    const Series gradients = history.GetSeries3();
    ASSERT_EQ(6u, energies.size());
    ASSERT_EQ(6u, gradients.size());
    EXPECT_EQ((Series{-6.25, -812.5, -452811.125, -139221447.61382}), Series(energies.begin(), energies.begin() + 4));
    EXPECT_TRUE(std::isnan(energies[4]));
    EXPECT_EQ(-171234567.5, energies[5]);
    EXPECT_EQ((Series{2.5, 42017.25, 1290544.318702}), Series(gradients.begin(), gradients.begin() + 3));
    EXPECT_TRUE(std::isnan(gradients[3]) && std::isnan(gradients[4]));
    EXPECT_EQ(9876543.25, gradients[5]);
    EXPECT_EQ(3, history.GetUnreadableValueCount());
    const Series changes = history.GetSeries2();
    ASSERT_EQ(5u, changes.size());
    EXPECT_TRUE(std::isnan(changes[3]) && std::isnan(changes[4]));
}

TEST(RealLayout, FinalEnergyOfStarsIsNoFinalEnergy)
{
    const CGeomOptOutputFileReader unstable(Fixture("unstable-optimisation.gout"));
    EXPECT_FALSE(unstable.HasFinalEnergy());
    EXPECT_TRUE(unstable.FinalEnergyUnreadable());
    const CGeomOptOutputFileReader surface(Fixture("surface-optimisation.gout"));
    EXPECT_TRUE(surface.HasFinalEnergy());
    EXPECT_FALSE(surface.FinalEnergyUnreadable());
    EXPECT_EQ(-41.0, surface.GetFinalEnergy());
    EXPECT_EQ(0, surface.GetUnreadableValueCount());
}

TEST(RealLayout, ConstantPressureRowsWithTheEnginesSpacing)
{
    const CMolDynOutputFileReader reader(Fixture("npt-dynamics.gout"));
    EXPECT_EQ(CMolDynOutputFileReader::EnsembleNPT, reader.GetEnsemble());
    const CMolDynOutputFileInfo& production = reader.GetOutputFileInfo();
    EXPECT_EQ((Series{0.1, 0.2}), production.GetTime());
    const CMolDynOutputFileCommonInfo& now = production.GetCommonInfo();
    const CMolDynOutputFileCommonInfo& mean = production.GetAveragedCommonInfo();
    EXPECT_EQ((Series{5.212043, 5.21425}), now.GetCellA());
    EXPECT_EQ((Series{5.2115, 5.213}), now.GetCellB());
    EXPECT_EQ((Series{5.21375, 5.2155}), now.GetCellC());
    EXPECT_EQ((Series{90.0125, 90.025}), now.GetCellAlpha());
    EXPECT_EQ((Series{90.031877, 90.045}), now.GetCellBeta());
    EXPECT_EQ((Series{89.9875, 89.975}), now.GetCellGamma());
    EXPECT_EQ((Series{141.870095, 141.93525}), now.GetCellVolume());
    EXPECT_EQ((Series{141.902557, 141.91875}), mean.GetCellVolume());
    EXPECT_EQ((Series{90.018402, 90.025}), mean.GetCellBeta());
    EXPECT_EQ((Series{0.125, 0.102}), now.GetPressure());
    EXPECT_EQ((Series{318.25, 307.75}), now.GetTemperature());
}

TEST(RealLayout, ProgramTerminatedIsAnEngineFailure)
{
    ReaderFolder folder;
    const std::string terminated = " Program terminated by processor     0 in               kindex\n";
    std::string far = "  **** Too many reciprocal lattice vectors needed ****\n";
    for (int i = 0; i < 25; ++i) {
        far += "  Cycle: " + std::to_string(i) + " Energy: -1.0 Gnorm: 0.1 CPU: 0.1\n";
    }
    struct Case {
        std::string path;
        const char* reason;
    } cases[] = {
        // The framed notes before it give the reason.
        {Fixture("terminated.gout"),
         "Too many reciprocal lattice vectors needed; Probably due to unphysical cell dimensions"},
        // Without notes close before it, the line itself; the banner's
        // rules of stars are no notes.
        {folder.Write("bare.gout", std::string(80, '*') + "\n  Start of bulk optimisation :\n" + terminated),
         "Program terminated by processor 0 in kindex"},
        {folder.Write("far.gout", far + terminated), "Program terminated by processor 0 in kindex"},
        // After an error line the error is the reason.
        {folder.Write("error.gout", "!! ERROR : input file is empty\n" + terminated), "input file is empty"},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_TRUE(COutputFileReader::ScanEngineError(c.path, reason)) << c.path;
        EXPECT_EQ(c.reason, reason) << c.path;
    }
    try {
        COutputFileReader::CheckRunSucceeded(Fixture("terminated.gout"));
        ADD_FAILURE();
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_FAIL, error.GetHRESULT());
        EXPECT_EQ("The ZELM run failed: Too many reciprocal lattice vectors needed; Probably due to unphysical "
                  "cell dimensions",
                  error.GetMessage());
    }
}

TEST(RealLayout, OutputWithoutClosingLinesIsAnUnfinishedRun)
{
    ReaderFolder folder;
    const std::string started = "  Job Started  at 22:15.07 11th January     2022\n  Cycle: 0 Energy: -1.0\n";
    struct Case {
        std::string path;
        bool unfinished;
    } cases[] = {
        {Fixture("cut-off.gout"), true},
        // Any one of the closing lines closes the run.
        {Fixture("unstable-optimisation.gout"), false},
        {folder.Write("timing.gout", started + "  Total CPU time   0.0451\n"), false},
        {folder.Write("finished.gout", started + "  Job Finished at 22:15.09 11th January     2022"), false},
        {folder.Write("warned.gout", started + "  **** ZELM has completed with 2 warnings - beware! ****\n"), false},
        // An output of the oldest engines, without "Job Started", is judged
        // by its errors alone.
        {Fixture("bulk-optimisation.gout"), false},
    };
    for (const Case& c : cases) {
        std::string message = "unset";
        EXPECT_EQ(c.unfinished, COutputFileReader::ScanRunProblem(c.path, message)) << c.path;
        std::string reason;
        EXPECT_FALSE(COutputFileReader::ScanEngineError(c.path, reason)) << c.path;
        if (!c.unfinished) {
            EXPECT_EQ("", message) << c.path;
            EXPECT_NO_THROW(COutputFileReader::CheckRunSucceeded(c.path)) << c.path;
            continue;
        }
        EXPECT_EQ("The ZELM run did not finish: its output ends without the engine's closing lines (the run was "
                  "stopped or is still being written).",
                  message);
        try {
            COutputFileReader::CheckRunSucceeded(c.path);
            ADD_FAILURE() << c.path;
        } catch (const KelvResult& error) {
            EXPECT_EQ(E_FAIL, error.GetHRESULT());
            EXPECT_EQ(message, error.GetMessage());
        }
    }
}

TEST(RealLayout, SurfaceRunsWithOneRegionOrSeveral)
{
    // The slab's dimensionality in its configuration, before the general
    // information, makes a surface run, also when its table has no region
    // lines.
    for (const char* name : {"one-region-surface.gout", "surface-optimisation.gout"}) {
        EXPECT_EQ(COutputFileReader::RunSurface, COutputFileReader::ScanRunType(Fixture(name))) << name;
    }
    EXPECT_EQ(COutputFileReader::RunGeomOpt, COutputFileReader::ScanRunType(Fixture("bulk-optimisation.gout")));
    // A run of several structures is the kind of its first: a slab after a
    // bulk structure, with or without regions, makes no surface run.
    const struct {
        const char* file;
        int type;
        int dimensionality;
    } runs[] = {
        {"bulk-then-one-region-slab.gout", COutputFileReader::RunGeomOpt, 3},
        {"bulk-then-slab-with-regions.gout", COutputFileReader::RunGeomOpt, 3},
        {"one-region-slab-then-bulk.gout", COutputFileReader::RunSurface, 2},
    };
    for (const auto& run : runs) {
        EXPECT_EQ(run.type, COutputFileReader::ScanRunType(Fixture(run.file))) << run.file;
        EXPECT_EQ(run.dimensionality, COutputFileReader(Fixture(run.file)).GetDimensionality()) << run.file;
    }
    const CGeomOptOutputFileReader reader(Fixture("one-region-surface.gout"));
    EXPECT_EQ(2, reader.GetDimensionality());
    EXPECT_EQ(2, reader.GetCoreCount());
    EXPECT_EQ(1, reader.GetShellCount());
    EXPECT_EQ((Series{-38.25, -38.625}), reader.GetSeries1());
}

// The main outputs the tests and the bundled results hold print their
// configuration (its "Dimensionality") before "General input information",
// as the engine does: a reader tried on the heading first is tried on a
// layout the engine never writes.
TEST(RealLayout, EveryOutputOfTheTestsKeepsTheEnginesOrder)
{
    const std::filesystem::path data(QZ_TEST_DATA);
    int checked = 0;
    for (const std::filesystem::path& folder : {data, data.parent_path().parent_path() / "examples"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (entry.path().extension() != ".gout") {
                continue;
            }
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            const std::string output = text.str();
            const std::size_t heading = output.find("General input information");
            const std::size_t dimensionality = output.find("Dimensionality");
            if (heading != std::string::npos && dimensionality != std::string::npos) {
                EXPECT_LT(dimensionality, heading) << entry.path();
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 19);
}

TEST(RealLayout, AsymmetricUnitAndWholeCellCounts)
{
    const COutputFileReader symmetric(Fixture("spacegroup-dynamics.gout"));
    EXPECT_EQ(2, symmetric.GetCoreCount());
    EXPECT_EQ(2, symmetric.GetIrreducibleCount());
    EXPECT_EQ(8, symmetric.GetTotalCount());
    const COutputFileReader plain(Fixture("bulk-optimisation.gout"));
    EXPECT_EQ(2, plain.GetIrreducibleCount());
    EXPECT_EQ(3, plain.GetTotalCount());
}
