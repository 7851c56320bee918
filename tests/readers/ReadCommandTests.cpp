// The driver's `read` command over the bundled example runs.

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

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
        {"geomopt/rocksalt", {"Run type: 2 (GeomOpt)", "Cores: 8  shells: 4", "Archive (.arc): 5 frames, 3D periodic",
                              "  energy change: 4 values", "  atoms (8):"}},
        {"dynamics/rocksalt.gout", {"Run type: 3 (Dynamics)", "ensemble NVT", "  production time (ps): 6 values",
                                    "  pressure file (.pre): 6 steps", "Dynamics frames (.mdynam):"}},
        {"phonons/rocksalt", {"Oscillator strengths (.osc): 6 modes", "Density of states (.dens): 60 points",
                              "20 k-points, 6 modes", "labels: 1=G 10=X 11=X 20=L"}},
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
