// The driver's `read` command over the bundled example runs.

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

const std::string Results = std::string(QZ_SOURCE_DIR) + "/examples/results/";

using Outcome = QzTest::DriverOutcome;

Outcome RunDriver(const QzTest::TempFolder& folder, const std::string& arguments)
{
    return QzTest::RunDriver(folder.Path(), folder.File("registry.json"), arguments);
}

} // namespace

TEST(ReadCommand, PrintsEachBundledRun)
{
    QzTest::TempFolder folder("read");
    struct Case {
        std::string run;
        std::vector<std::string> lines;
    } cases[] = {
        // One history point per cycle, the notes between cycles aside; the
        // table holds the asymmetric unit of the deck's space group, the
        // archive the whole cell.
        {"geomopt/rocksalt", {"Run type: 2 (GeomOpt)", "Dimensionality: 3", "Cores: 2  shells: 0",
                              "Archive (.arc): 5 frames, 3D periodic", "  energy (eV): 5 values",
                              "  energy change: 4 values", "  atoms (8):"}},
        // The cell under its heading's one blank line.
        {"dynamics/rocksalt.gout", {"Run type: 3 (Dynamics)", "ensemble NVT", "  production time (ps): 5 values",
                                    "  pressure file (.pre): 5 steps", "  cell: a=5.640200 b=5.640200 c=5.640200",
                                    "Dynamics frames (.mdynam):"}},
        {"phonons/rocksalt", {"Oscillator strengths (.osc): 24 modes", "Density of states (.dens): 53 points",
                              "110 k-points, 24 modes", "labels: 1=Gamma 11=X"}},
        {"surface/slab", {"Run type: 5 (Surface)", "Dimensionality: 2", "Cores: 8  shells: 0",
                          "  energy (eV): 5 values"}},
    };
    for (const Case& c : cases) {
        const Outcome outcome = RunDriver(folder, "read " + Results + c.run);
        EXPECT_EQ(0, outcome.code) << outcome.err;
        for (const std::string& line : c.lines) {
            EXPECT_NE(std::string::npos, outcome.out.find(line)) << c.run << ": " << line << "\n" << outcome.out;
        }
    }
}

TEST(ReadCommand, FailingReaderAndChartDocuments)
{
    QzTest::TempFolder folder("read");
    // A broken archive: its reader fails, the output is still read.
    std::filesystem::copy_file(Results + "geomopt/rocksalt.gout", folder.File("run.gout"));
    QzTest::WriteFile(folder.File("run.arc"), "!KORVEX archive 2\nPBC=OFF\n-1\n!DATE\nNa 0 0\n");
    Outcome outcome = RunDriver(folder, "read run");
    EXPECT_EQ(1, outcome.code);
    EXPECT_NE(std::string::npos, outcome.out.find("Run type: 2"));
    EXPECT_NE(std::string::npos, outcome.err.find("run.arc: ZELM output not readable."));

    outcome = RunDriver(folder, "read nothing-here");
    EXPECT_EQ(1, outcome.code);

    ASSERT_EQ(0, RunDriver(folder, "project p").code);
    outcome = RunDriver(folder, "read " + Results + "dynamics/rocksalt --project p --charts");
    EXPECT_EQ(0, outcome.code) << outcome.err;
    for (const char* name : {"Dynamics Energy", "Temperature", "Pressure", "Constant of Motion"}) {
        const std::string file = folder.File(std::string("p/rocksalt ") + name + ".qcd");
        EXPECT_NE(std::string::npos, QzTest::ReadFile(file).find("\"points\"")) << file;
    }
}

TEST(ReadCommand, EngineErrorFailsAfterPrintingWhatCouldBeRead)
{
    QzTest::TempFolder folder("read");
    std::filesystem::copy_file(Results + "geomopt/rocksalt.gout", folder.File("run.gout"));
    {
        std::ofstream out(folder.File("run.gout"), std::ios::app);
        out << "!! ERROR : temperature has exceeded maximum allowed set by mdmaxtemp\n";
    }
    const Outcome outcome = RunDriver(folder, "read run");
    EXPECT_EQ(1, outcome.code);
    EXPECT_NE(std::string::npos,
              outcome.err.find("failed: temperature has exceeded maximum allowed set by mdmaxtemp"))
        << outcome.err;
    EXPECT_NE(std::string::npos, outcome.out.find("Run type: 2 (GeomOpt)")) << outcome.out;
    EXPECT_NE(std::string::npos, outcome.out.find("  energy (eV): 5 values")) << outcome.out;
}

// The dynamics reader serves the output's own part too; when its rows fail,
// that part is still read and the failure is the dynamics part's alone.
TEST(ReadCommand, FailingDynamicsRowsKeepTheOutputsOwnPart)
{
    QzTest::TempFolder folder("read");
    std::ifstream in(Results + "dynamics/rocksalt.gout");
    std::ofstream out(folder.File("run.gout"));
    std::string line;
    while (std::getline(in, line)) {
        out << line << "\n";
        if (line.find("Molecular dynamics production") != std::string::npos) {
            out << "  a severe problem with the step\n";
        }
    }
    out.close();
    const Outcome outcome = RunDriver(folder, "read run");
    EXPECT_EQ(1, outcome.code);
    EXPECT_NE(std::string::npos, outcome.out.find("Run type: 3 (Dynamics)\nDimensionality: 3\nCores: "))
        << outcome.out;
    EXPECT_EQ(std::string::npos, outcome.out.find("Dynamics (.gout)")) << outcome.out;
    EXPECT_EQ("zelm-host: run.gout (dynamics): Severe error reported in ZELM .gout file.\n", outcome.err);
}

TEST(ReadCommand, ChartsOfARunWithoutHistoriesPointToTheAnalysis)
{
    QzTest::TempFolder folder("read");
    std::filesystem::copy_file(Results + "geomopt/rocksalt.gout", folder.File("run.gout"));
    ASSERT_EQ(0, RunDriver(folder, "project p").code);
    const Outcome outcome = RunDriver(folder, "read run --project p --charts");
    EXPECT_EQ(0, outcome.code) << outcome.err;
    EXPECT_NE(std::string::npos, outcome.out.find("Charts: none: --charts draws")) << outcome.out;
    EXPECT_NE(std::string::npos, outcome.out.find("zelm-host analyse run.gout energy")) << outcome.out;
}

TEST(ReadCommand, UnreadableValuesAndRunsThatStopped)
{
    QzTest::TempFolder folder("read");
    const std::string data = std::string(QZ_SOURCE_DIR) + "/tests/data/readers/";
    std::filesystem::copy_file(data + "unstable-optimisation.gout", folder.File("unstable.gout"));
    Outcome outcome = RunDriver(folder, "read unstable");
    EXPECT_EQ(0, outcome.code) << outcome.err;
    for (const char* line : {"  energy (eV): 6 values", "  values that could not be read (fields of stars): 3",
                             "  final energy: could not be read (a field of stars)"}) {
        EXPECT_NE(std::string::npos, outcome.out.find(line)) << line << "\n" << outcome.out;
    }

    std::filesystem::copy_file(data + "cut-off.gout", folder.File("cut.gout"));
    outcome = RunDriver(folder, "read cut");
    EXPECT_EQ(1, outcome.code);
    EXPECT_NE(std::string::npos, outcome.out.find("Unfinished run")) << outcome.out;
    EXPECT_NE(std::string::npos, outcome.err.find("The ZELM run did not finish")) << outcome.err;
    EXPECT_NE(std::string::npos, outcome.out.find("  energy (eV): 3 values")) << outcome.out;

    std::filesystem::copy_file(data + "terminated.gout", folder.File("stopped.gout"));
    outcome = RunDriver(folder, "read stopped");
    EXPECT_EQ(1, outcome.code);
    EXPECT_NE(std::string::npos, outcome.out.find("Engine error: Too many reciprocal lattice vectors needed"))
        << outcome.out;
}
