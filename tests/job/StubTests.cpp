// The engine stand-in: the task told from the deck's keyword line, outputs
// that the module's own readers accept, the announced snapshots, and clear
// failures for a missing or bad deck.

#include "readers/ArchiveFileReader.h"
#include "readers/GeomOptReaders.h"
#include "readers/MolDynFileReader.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"
#include "readers/ZelmTrajectoryReader.h"

#include "host/model/CifImport.h"
#include "host/model/QsdFile.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace {

struct StubRun {
    int status = -1;
    std::vector<std::string> announced;
    std::string errors;
};

// Runs the stand-in in `folder` for the seed "rocksalt".
StubRun RunStub(const QzTest::TempFolder& folder, const std::string& options = "")
{
    const std::string command = "cd '" + folder.Path() + "' && '" + QZ_BIN_DIR + "/zelm-stub' rocksalt " + options +
                                " 2> stub.err";
    StubRun run;
    FILE* pipe = popen(command.c_str(), "r");
    char line[1024];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        run.announced.push_back(text);
    }
    const int status = pipe ? pclose(pipe) : -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = QzTest::ReadFile(folder.File("stub.err"));
    return run;
}

class Stub : public testing::Test {
protected:
    void Stage(const std::string& keywords, const std::string& body = "")
    {
        folder.Write("rocksalt.gin", keywords + "\n\ntitle\nrock salt\nend\n" + body + "library rocksalt\n");
        HostModel::SaveQsd(*HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.cif"),
                           folder.File("rocksalt.qsd"));
    }
    std::string Path(const std::string& name) const { return folder.File(name); }
    QzTest::TempFolder folder;
};

TEST_F(Stub, GeomOptOutputsReadByTheModulesReaders)
{
    Stage("opti conp conse qok nomod ");
    const StubRun run = RunStub(folder, "--steps 3");
    ASSERT_EQ(0, run.status) << run.errors;
    ASSERT_EQ(9u, run.announced.size());
    EXPECT_EQ("@intermediate-file rocksalt-step1.summary", run.announced[0]);
    EXPECT_EQ("@intermediate-file rocksalt-step3.arc", run.announced[8]);

    EXPECT_EQ(2, COutputFileReader::ScanRunType(Path("rocksalt.gout")));
    const CGeomOptOutputFileReader output(Path("rocksalt.gout"));
    EXPECT_EQ(3, output.GetDimensionality());
    EXPECT_EQ(8, output.GetCoreCount());
    EXPECT_EQ(3u, output.GetSeries1().size());
    EXPECT_DOUBLE_EQ(0.001, output.GetTolerance2());

    const CGeomOptFileReader history(Path("rocksalt.geomopt"));
    EXPECT_EQ(3u, history.GetSeries1().size());
    EXPECT_EQ(2u, history.GetSeries2().size());
    EXPECT_DOUBLE_EQ(0.00001, history.GetTolerance1());

    const CArchiveFileReader archive(Path("rocksalt.arc"), CAtomicIndexMap::Default);
    ASSERT_EQ(3u, archive.GetFrames().size());
    EXPECT_TRUE(archive.Is3DPeriodic());
    EXPECT_EQ(8u, archive.GetFrames().back().GetAtomPositions().size());
    // Each snapshot holds the frames so far.
    EXPECT_EQ(1u, CArchiveFileReader(Path("rocksalt-step1.arc"), CAtomicIndexMap::Default).GetFrames().size());
}

TEST_F(Stub, DynamicsWritesPressuresOnlyAtConstantPressureAndTheBinaryTrajectory)
{
    for (const bool npt : {true, false}) {
        Stage(npt ? "md conp conse qok nomod " : "md conv conse qok nomod ",
              npt ? "ensemble npt 0.005 0.005\noutput trajectory rocksalt.trg\n" : "");
        const StubRun run = RunStub(folder, "--steps 4");
        ASSERT_EQ(0, run.status) << run.errors;
        EXPECT_EQ(3, COutputFileReader::ScanRunType(Path("rocksalt.gout")));
        const CMolDynFileReader history(Path("rocksalt.mdynam"));
        EXPECT_EQ(npt, history.HasPressure());
        EXPECT_EQ(4u, history.GetTime().size());
        const CMolDynOutputFileReader output(Path("rocksalt.gout"));
        EXPECT_EQ(npt ? 3 : 1, output.GetEnsemble());
        EXPECT_EQ(4u, output.GetOutputFileInfo().GetCommonInfo().GetTotalEnergy().size());
        int atoms = 0, frames = 0, status = -1;
        double version = 0;
        Get_Zelm_Trajectory_File_Info(Path("rocksalt.trg").c_str(), npt ? 1 : 0, &atoms, &frames, &version, &status);
        EXPECT_EQ(0, status);
        EXPECT_EQ(8, atoms);
        EXPECT_EQ(4, frames) << npt;
    }
}

TEST_F(Stub, FitDumpsTheStagedLibraryWithChangedValues)
{
    Stage("fit libff libd conp simu conse qok nomod ", "dump rocksalt.res\n");
    folder.Write("rocksalt.lib", "species\nNa core 1.0\nCl core -1.0\nbuckingham\nNa core Cl core 1000.0 0.3 0.0\n");
    ASSERT_EQ(0, RunStub(folder).status);
    EXPECT_EQ("fit libff libd conp simu conse qok nomod \nspecies\nNa core 1.0\nCl core -1.0\nbuckingham\n"
              "Na core Cl core 1050.000000 0.3 0.0\n",
              QzTest::ReadFile(Path("rocksalt.res")));

    folder.Write("rocksalt.lib", "");
    std::remove(Path("rocksalt.lib").c_str());
    std::remove(Path("rocksalt.res").c_str());
    const StubRun missing = RunStub(folder);
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.errors.find("rocksalt.lib")) << missing.errors;
    EXPECT_FALSE(std::ifstream(Path("rocksalt.res")).good());
}

TEST_F(Stub, SurfaceRunTakesTheDecksRegionsInOrder)
{
    folder.Write("rocksalt.gin", "opti conv nomod qok pres \nscell\n5.64 5.64 90.0\nsfractional region 1\n"
                                 "Na1 core 0.5 0.5 -2.82 1.0 1.0 0.0 1 1 1\nCl1 core 0.0 0.5 0.0 -1.0\n"
                                 "sfractional region 2\nCl2 core 0.5 0.0 -5.64 -1.0\n"
                                 "sfractional region 3\nNa2 core 0.0 0.0 -8.46 1.0\n");
    const StubRun run = RunStub(folder, "--steps 2");
    ASSERT_EQ(0, run.status) << run.errors;
    EXPECT_EQ(5, COutputFileReader::ScanRunType(Path("rocksalt.gout")));
    // The output's surface table has the deck's three regions, its surface
    // cell stands under one blank line.
    const CGeomOptOutputFileReader output(Path("rocksalt.gout"));
    EXPECT_EQ(2, output.GetDimensionality());
    EXPECT_EQ(4, output.GetCoreCount());
    EXPECT_EQ(2u, output.GetSeries1().size());
    double a = 0, b = 0, alpha = 0;
    CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha, Path("rocksalt.gout"));
    EXPECT_EQ(5.64, a);
    EXPECT_EQ(90.0, alpha);
    const CArchiveFileReader archive(Path("rocksalt.arc"), CAtomicIndexMap::Default);
    ASSERT_EQ(2u, archive.GetFrames().size());
    EXPECT_TRUE(archive.Is2DPeriodic());
    const CArchiveFileReader snapshot(Path("rocksalt-step1.arc"), CAtomicIndexMap::Default);
    const std::vector<xxPoint3d>& first = snapshot.GetFrames().at(0).GetAtomPositions();
    ASSERT_EQ(4u, first.size());
    EXPECT_NEAR(2.82, first[0].x, 0.05);
    EXPECT_NEAR(-5.64, first[2].z, 0.05);
}

TEST_F(Stub, MissingOrBadDeckFailsClearly)
{
    const StubRun none = RunStub(folder);
    EXPECT_EQ(2, none.status);
    EXPECT_NE(std::string::npos, none.errors.find("rocksalt.gin\" cannot be opened")) << none.errors;
    EXPECT_TRUE(none.announced.empty());

    folder.Write("rocksalt.gin", "phon conse\n");
    const StubRun bad = RunStub(folder);
    EXPECT_EQ(2, bad.status);
    EXPECT_NE(std::string::npos, bad.errors.find("names no run")) << bad.errors;

    folder.Write("rocksalt.gin", "opti conse qok nomod\ncell\n5 5 5 90 90 90\n");
    const StubRun noStructure = RunStub(folder);
    EXPECT_EQ(2, noStructure.status);
    EXPECT_NE(std::string::npos, noStructure.errors.find("rocksalt.qsd")) << noStructure.errors;
}

} // namespace
