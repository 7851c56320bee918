// The driver's result commands run in this process with the archive and
// output readers replaced by fakes, on the bundled rock salt and its
// dynamics trajectory.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <vector>

#include "ResultCommands.h"
#include "host/model/CifImport.h"
#include "host/model/QsdFile.h"
#include "kelv/kelv.h"
#include "qorqm/LatticeUtilities.h"
#include "qorqm/TrjFile.h"
#include "trajectory/FakeArchive.h"
#include "trajectory/FakeRunOutput.h"

namespace {

namespace fs = std::filesystem;
const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples";

struct ResultCommands : ::testing::Test {
    QzTest::TempFolder folder{"result-commands"};
    QzTest::FakeArchiveOpener archive;
    QzTest::FakeRunOutputServices output;
    std::string salt = folder.File("salt.qsd");
    std::ostringstream out;

    void SetUp() override
    {
        HostModel::SaveQsd(*HostModel::ImportCif(examples + "/rocksalt.cif"), salt);
        archive.content.periodic3D = true;
        output.content = QzTest::FakeOutputContent();
        output.content.dimensionality = 3;
    }
    // A frame of the eight atoms at their places in a cell of edge a.
    TrajectoryArchiveFrame Frame(double a, double time)
    {
        TrajectoryArchiveFrame frame{CLatticeInfo(a, a, a, 90, 90, 90), time, -40.0 - time, {}};
        const double sites[8][3] = {{0, 0, 0}, {0, .5, .5}, {.5, 0, .5}, {.5, .5, 0},
                                    {.5, .5, .5}, {.5, 0, 0}, {0, .5, 0}, {0, 0, .5}};
        for (const auto& s : sites)
            frame.positions.push_back({s[0] * a, s[1] * a, s[2] * a});
        return frame;
    }
};

}  // namespace

TEST_F(ResultCommands, UpdateStructureWritesTheLastFrameAndSaves)
{
    QzTest::WriteFile(folder.File("run.arc"), "archive");
    archive.content.frames = {Frame(5.7, 0.0)};
    ZelmHost::UpdateStructure(salt, folder.File("run.arc"), false, out);
    EXPECT_NE(out.str().find("updated " + salt), std::string::npos) << out.str();
    EXPECT_NEAR(HostModel::LoadQsd(salt)->Lattice3()->Parameters().a, 5.7, 1e-9);
    EXPECT_THROW(ZelmHost::UpdateStructure(salt, folder.File("none.arc"), false, out), std::runtime_error);
}

TEST_F(ResultCommands, TrajectoryOfAnOptimisationAndOfTheBundledDynamicsRun)
{
    QzTest::WriteFile(folder.File("opt.arc"), "archive");
    QzTest::WriteFile(folder.File("opt.gout"), "output");
    archive.content.frames = {Frame(5.64, 0.0), Frame(5.60, 1.0)};
    output.content.runType = 2;
    ZelmHost::WriteTrajectory(folder.File("opt"), salt, "", out);
    EXPECT_NE(out.str().find("wrote " + folder.File("opt") + ".trj (geomopt)"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Trajectory: 2 frames of 8 atoms"), std::string::npos) << out.str();
    EXPECT_TRUE(fs::exists(folder.File("opt.qtd")));

    fs::copy_file(examples + "/results/dynamics/rocksalt.trg", folder.File("md.trg"));
    QzTest::WriteFile(folder.File("md.gout"), "output");
    output.content.runType = 3;
    output.content.ensemble = 2;
    output.content.cores = 8;
    const double cell[6] = {5.64, 5.64, 5.64, 90, 90, 90};
    std::copy(cell, cell + 6, output.content.cell);
    out.str("");
    ZelmHost::WriteTrajectory(folder.File("md"), salt, "", out);
    EXPECT_NE(out.str().find("Trajectory: 5 frames of 8 atoms"), std::string::npos) << out.str();
    const TrjContents read = TrjFile::Read(folder.File("md.trj"));
    ASSERT_EQ(read.frames.size(), 5u);
    EXPECT_NEAR(read.frames[3].time, 0.008, 1e-12);
    EXPECT_NEAR(read.frames[0].cell[0], 5.64, 1e-9);

    EXPECT_THROW(ZelmHost::WriteTrajectory(folder.File("none"), salt, "dynamics", out), std::runtime_error);
}

namespace {

TEST_F(ResultCommands, AnEmptiedArchiveKeepsTheEarlierTrajectory)
{
    QzTest::WriteFile(folder.File("opt.arc"), "archive");
    QzTest::WriteFile(folder.File("opt.gout"), "output");
    output.content.runType = 2;
    archive.content.frames = {Frame(5.64, 0.0), Frame(5.62, 1.0), Frame(5.60, 2.0)};
    ZelmHost::WriteTrajectory(folder.File("opt"), salt, "", out);
    const std::string frames = QzTest::ReadFile(folder.File("opt.trj"));
    ASSERT_FALSE(frames.empty());

    archive.content.frames.clear();
    try {
        ZelmHost::WriteTrajectory(folder.File("opt"), salt, "", out);
        FAIL() << "a run without a frame made a trajectory";
    } catch (const KelvResult& failure) {
        EXPECT_NE(failure.GetMessage().find("holds no frame"), std::string::npos) << failure.GetMessage();
    }
    EXPECT_EQ(QzTest::ReadFile(folder.File("opt.trj")), frames);
}

TEST_F(ResultCommands, ATrajectoryOfNoInputWritesNoDocument)
{
    QzTest::WriteFile(folder.File("md.gout"), "output");
    output.content.runType = 3;
    EXPECT_THROW(ZelmHost::WriteTrajectory(folder.File("md"), salt, "", out), std::runtime_error);
    EXPECT_FALSE(fs::exists(folder.File("md.qtd")));
    EXPECT_FALSE(fs::exists(folder.File("md.trj")));
}

TEST_F(ResultCommands, AFailedRunIsRefusedAndNoDocumentChanges)
{
    QzTest::WriteFile(folder.File("run.gout"), "  ZELM\n!! ERROR : temperature has exceeded maximum allowed\n");
    QzTest::WriteFile(folder.File("run.arc"), "archive");
    archive.content.frames = {Frame(5.7, 0.0)};
    output.content.runType = 2;
    const std::string before = QzTest::ReadFile(salt);
    const std::string reason = "The ZELM run failed: temperature has exceeded maximum allowed";
    // The run's own document, which import-result imports with run.arc.
    const std::string run = folder.File("run.qsd");
    fs::copy_file(salt, run);
    const std::string runBefore = QzTest::ReadFile(run);
    for (const auto& command : std::vector<std::function<void()>>{
             [&] { ZelmHost::UpdateStructure(salt, folder.File("run.arc"), false, out); },
             [&] { ZelmHost::WriteTrajectory(folder.File("run"), salt, "", out); },
             [&] { ZelmHost::ImportResult(run, out); }}) {
        try {
            command();
            ADD_FAILURE() << "a failed run was used";
        } catch (const std::runtime_error& failure) {
            EXPECT_EQ(failure.what(), reason);
        }
    }
    EXPECT_EQ(QzTest::ReadFile(salt), before);
    EXPECT_EQ(QzTest::ReadFile(run), runBefore);
    EXPECT_EQ(out.str().find("imported"), std::string::npos) << out.str();
    EXPECT_FALSE(fs::exists(folder.File("run.trj")));
    EXPECT_FALSE(fs::exists(folder.File("run.qtd")));
}

TEST_F(ResultCommands, ImportResultWithoutAFrameWritesNothing)
{
    const std::string run = folder.File("run.qsd");
    fs::copy_file(salt, run);
    QzTest::WriteFile(folder.File("run.arc"), "archive");
    const std::string before = QzTest::ReadFile(run);
    EXPECT_THROW(ZelmHost::ImportResult(run, out), std::runtime_error);
    EXPECT_EQ(QzTest::ReadFile(run), before);
    EXPECT_EQ(out.str().find("imported"), std::string::npos) << out.str();
}

}  // namespace
