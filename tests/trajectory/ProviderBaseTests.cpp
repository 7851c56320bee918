// The trajectory provider base: stepping, time steps, cells in the standard
// orientation, realignment, ".trjaux" and failures, with a provider whose
// series the test fills.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/ErrorInfo.h"
#include "kelv/KelvResult.h"
#include "common/TempFolder.h"
#include "qorqm/CTrjWriter.h"
#include "qorqm/TrjFile.h"
#include "readers/ZelmTrjDataProvider.h"

namespace {

struct EmptyArchive : ITrajectoryArchive {
    std::size_t GetFrameCount() const override { return 0; }
    TrajectoryArchiveFrame GetFrame(std::size_t) const override { return {}; }
    bool Is2DPeriodic() const override { return false; }
    bool Is3DPeriodic() const override { return false; }
};

class TestProvider : public CZelmTrjDataProvider {
public:
    int periodicity = 0;
    int archiveOpenings = 0;

    TestProvider()
        : CZelmTrjDataProvider([this](const std::string& path, const CAtomicIndexMap&) {
              ++archiveOpenings;
              lastArchive = path;
              return std::make_unique<EmptyArchive>();
          })
    {
    }
    // Frames of N atoms, atom i of frame f (from 1) at (f, i, 10 f + i).
    void Fill(const std::string& name, int atoms, std::vector<double> times, std::vector<double> cell = {})
    {
        m_name = name;
        m_atomCount = atoms;
        m_frameCount = static_cast<int>(times.size());
        m_time = times;
        m_energyTerm1.assign(times.size(), 1.0);
        m_energyTerm2.assign(times.size(), 2.0);
        m_auxiliary.assign(times.size(), 3.0);
        for (int f = 1; f <= m_frameCount; ++f) {
            for (int i = 0; i < atoms; ++i) {
                m_x.push_back(f);
                m_y.push_back(i);
                m_z.push_back(10 * f + i);
            }
            m_cell.insert(m_cell.end(), cell.begin(), cell.end());
        }
    }
    std::vector<double>& X() { return m_x; }
    std::vector<double>& Z() { return m_z; }
    double GetCellVolume() override { return 5.0; }
    double GetVolumeFactor() override { return 0.5; }
    double GetPressure() override { return 7.0; }
    int GetPeriodicity() override { return periodicity; }
    int QueryOptionA() override { return 0; }
    int QueryOptionB() override { return 0; }
    std::string lastArchive;
};

std::vector<double> Cell(TestProvider& p)
{
    std::vector<double> six(6, -9.0);
    p.GetCell(six.data());
    return six;
}

void ExpectNear(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-12) << "at " << i;
}

}  // namespace

TEST(ProviderBase, SteppingTimeStepsAndRestart)
{
    TestProvider p;
    p.Fill("run", 1, {0.0, 0.5, 1.5});
    ASSERT_TRUE(p.GoToFirstFrame());
    EXPECT_EQ(p.archiveOpenings, 0);  // a fresh provider is not reloaded
    EXPECT_EQ(p.GetTimeStep(), 0.0);
    EXPECT_EQ(p.GetEnergySum(), 3.0);
    EXPECT_EQ(p.GetVolumeProduct(), 2.5);
    ASSERT_TRUE(p.GoToNextFrame());
    ASSERT_TRUE(p.GoToNextFrame());
    EXPECT_EQ(p.GetCurrentFrame(), 3);
    EXPECT_EQ(p.GetTimeStep(), 1.0);
    EXPECT_FALSE(p.GoToNextFrame());
    EXPECT_FALSE(p.GoToNextFrame());
    EXPECT_EQ(p.GetCurrentFrame(), 4);
    EXPECT_THROW(p.GetTime(), KelvResult);  // no frame is current
    // A later first frame restarts: the base reopens the archive only.
    EXPECT_FALSE(p.GoToFirstFrame());
    EXPECT_EQ(p.archiveOpenings, 1);
    EXPECT_EQ(p.lastArchive, "run.arc");

    TestProvider none;
    EXPECT_FALSE(none.GoToFirstFrame());
    EXPECT_EQ(none.GetCurrentFrame(), 1);
}

TEST(ProviderBase, CellsAndPositionsInTheStandardOrientation)
{
    struct Case {
        const char* what;
        int periodicity;
        std::vector<double> cell;
        std::vector<double> six;        // -9: nothing written
        std::vector<double> positions;  // frame 1, atoms at (1, 0, 10) and (1, 1, 11)
    } cases[] = {
        {"3-D cell turned: c along z, b in yz", 3, {0, 0, 2, 3, 0, 0, 0, 4, 0}, {2, 3, 4, 0, 0, 0},
         {10, 1, 0, 11, 1, 1}},
        {"2-D surface vectors (3, 0) and (0, 4)", 2, {3, 0, 0, 0, 4, 0, 0, 0, 1}, {1, 3, 4, 0, 0, 0},
         {10, 1, 0, 11, 1, 1}},
        {"2-D at 60 degrees", 2, {2, 0, 0, 0.5, std::sqrt(0.75), 0, 0, 0, 1},
         {1, 2 * std::sqrt(0.75), 1, 1, 0, 0},
         {10, std::sqrt(0.75), 0.5, 11, std::sqrt(0.75) - 0.5, 0.5 + std::sqrt(0.75)}},
        {"a molecule", 0, {}, {-9, -9, -9, -9, -9, -9}, {1, 0, 10, 1, 1, 11}},
        {"3-D frame without cell values", 3, {}, {-9, -9, -9, -9, -9, -9}, {1, 0, 10, 1, 1, 11}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestProvider p;
        p.periodicity = c.periodicity;
        p.Fill("run", 2, {0.0}, c.cell);
        ASSERT_TRUE(p.GoToFirstFrame());
        ExpectNear(Cell(p), c.six);
        ExpectNear(p.GetPositions(), c.positions);
    }
    // The example of a slab atom: (1, 0, 2) at alpha 90 degrees is (2, 1, 0).
    TestProvider slab;
    slab.periodicity = 2;
    slab.Fill("run", 1, {0.0}, {3, 0, 0, 0, 4, 0, 0, 0, 1});
    slab.Z() = {2};
    ASSERT_TRUE(slab.GoToFirstFrame());
    ExpectNear(slab.GetPositions(), {2, 1, 0});
}

TEST(ProviderBase, AtomIdsFromTheSideFile)
{
    QzTest::TempFolder folder("trjaux");
    const std::string name = folder.File("run.v1");  // a dotted job name keeps its whole name
    TestProvider p;
    p.Fill(name, 3, {0.0});
    ASSERT_EQ(p.ReadAtomIds(), S_OK);
    EXPECT_EQ(p.GetAtomIds(), (std::vector<std::int32_t>{1, 2, 3}));

    QzTest::WriteFile(name + ".trjaux", "# Atom IDs to appear\n5\n7 # seven\n");
    ASSERT_EQ(p.ReadAtomIds(), S_OK);
    EXPECT_EQ(p.GetAtomIds(), (std::vector<std::int32_t>{5, 7}));

    QzTest::WriteFile(name + ".trjaux", "5\n\n7\n");
    EXPECT_EQ(p.ReadAtomIds(), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "Found invalid field in the string ");
}

TEST(ProviderBase, AFailingStepIsThrownAndTheWriterLeavesNoFile)
{
    QzTest::TempFolder folder("trjfail");
    TestProvider p;
    p.Fill("run", 2, {0.0, 1.0});
    p.X().resize(3);  // the second frame lacks a value
    EXPECT_EQ(CTrjWriter().WriteTrajFile(p, folder.File("run")), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "The trajectory holds no value for the current frame.");
    EXPECT_FALSE(std::filesystem::exists(folder.File("run.trj")));
}

TEST(ProviderBase, TheWrittenTrajectoryReadsBackAsServed)
{
    QzTest::TempFolder folder("trjback");
    TestProvider p;
    p.periodicity = 3;
    p.Fill("run", 2, {0.0, 0.25}, {0, 0, 2, 3, 0, 0, 0, 4, 0});
    ASSERT_EQ(CTrjWriter().WriteTrajFile(p, folder.File("run") + ".trj"), S_OK);
    const TrjContents read = TrjFile::Read(folder.File("run.trj"));
    ASSERT_EQ(read.frames.size(), 2u);
    const TrjFrame& f = read.frames[1];
    EXPECT_EQ(f.timeStep, 0.25);
    EXPECT_EQ(f.energySum, 3.0);
    EXPECT_EQ(f.volumeProduct, 2.5);
    ExpectNear({f.cell.begin(), f.cell.end()}, {2, 3, 4, 0, 0, 0});
    ExpectNear(f.positions, {20, 2, 0, 21, 2, 1});
    EXPECT_TRUE(f.secondAtomVectors.empty());
}
