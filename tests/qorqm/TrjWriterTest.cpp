// The trajectory writer and its reader: what a provider serves reads back
// exactly, and a failing provider or bad list leaves no file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/ErrorInfo.h"
#include "common/FailingWrite.h"
#include "common/FakeTrajectory.h"
#include "common/TempFolder.h"
#include "qorqm/CTrjWriter.h"
#include "qorqm/TrjFile.h"

namespace {

struct TrjWriterTest : ::testing::Test {
    QzTest::TempFolder folder{"trj"};
    QzTest::FakeTrjProvider provider;
    CTrjWriter writer;
};

}  // namespace

TEST_F(TrjWriterTest, EveryServedValueReadsBackForEachPeriodicity)
{
    for (int periodicity : {3, 2, 0}) {
        SCOPED_TRACE(periodicity);
        provider = QzTest::FakeTrjProvider();
        provider.periodicity = periodicity;
        provider.secondVectors = periodicity == 3;
        // Without the extension and with it: the same file.
        const std::string base = folder.File("run" + std::to_string(periodicity));
        ASSERT_EQ(writer.WriteTrajFile(provider, periodicity == 2 ? base + ".trj" : base), S_OK);
        EXPECT_EQ(provider.misuses, 0);
        EXPECT_EQ(provider.cellCalls, periodicity == 0 ? 0 : 3);

        const TrjContents read = TrjFile::Read(base + ".trj");
        EXPECT_EQ(read.name, "run");
        EXPECT_EQ(read.atomCount, 2);
        EXPECT_EQ(read.optionA, 1);
        EXPECT_EQ(read.optionB, 2);
        ASSERT_EQ(read.frames.size(), 3u);
        const TrjFrame& second = read.frames[1];
        EXPECT_EQ(second.frame, 2);
        EXPECT_EQ(second.time, 207.25);
        EXPECT_EQ(second.timeStep, 206.25);
        EXPECT_EQ(second.pressure, -217.25);
        EXPECT_TRUE(std::isnan(second.cellVolume));
        EXPECT_EQ(second.valuesB[5], 220.25);
        EXPECT_EQ(second.hasCell, periodicity != 0);
        if (periodicity != 0) {
            EXPECT_EQ(second.cell[0], 213.25);
        }
        EXPECT_EQ(second.positions, (std::vector<double>{2000, 2001, 2002, 2003, 2004, 2005}));
        EXPECT_EQ(second.secondAtomVectors.size(), periodicity == 3 ? 6u : 0u);
        EXPECT_TRUE(second.thirdAtomVectors.empty());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}),
                  periodicity == 3 ? 1 : periodicity == 2 ? 2 : 3);  // no temporary file stays
    }
}

TEST_F(TrjWriterTest, NoFramesGivesAnEmptyTrajectory)
{
    provider.frames = 0;
    ASSERT_EQ(writer.WriteTrajFile(provider, folder.File("empty")), S_OK);
    EXPECT_EQ(provider.misuses, 0);
    const TrjContents read = TrjFile::Read(folder.File("empty.trj"));
    EXPECT_EQ(read.atomCount, 0);
    EXPECT_TRUE(read.frames.empty());
}

TEST_F(TrjWriterTest, FailuresLeaveNoFileAndKeepAnOlderOne)
{
    struct Case {
        const char* what;
        std::function<void(QzTest::FakeTrjProvider&)> spoil;
        HRESULT hr;
        const char* message;
    } cases[] = {
        {"provider throws at frame 2",
         [](auto& p) { p.onStep = [](int f) { if (f == 2) throw KelvResult(E_ACCESSDENIED, "step failed"); }; },
         E_ACCESSDENIED, "step failed"},
        {"positions not 3N", [](auto& p) { p.positionsOf = [](int) { return std::vector<double>(5); }; },
         E_UNEXPECTED, "Frame 1 of the trajectory holds 5 position values, not 6 (three for each atom)."},
    };
    QzTest::WriteFile(folder.File("old.trj"), "older");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        provider = QzTest::FakeTrjProvider();
        c.spoil(provider);
        EXPECT_EQ(writer.WriteTrajFile(provider, folder.File("new")), c.hr);
        EXPECT_EQ(QzTest::LastErrorText(), c.message);
        EXPECT_EQ(writer.WriteTrajFile(provider, folder.File("old")), c.hr);
        EXPECT_FALSE(std::filesystem::exists(folder.File("new.trj")));
        EXPECT_EQ(QzTest::ReadFile(folder.File("old.trj")), "older");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
    }
    EXPECT_NE(writer.WriteTrajFile(provider, folder.File("no/such/folder/run")), S_OK);
}

TEST_F(TrjWriterTest, DamagedFilesAreClearErrors)
{
    ASSERT_EQ(writer.WriteTrajFile(provider, folder.File("good")), S_OK);
    const std::string good = QzTest::ReadFile(folder.File("good.trj"));
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"not ours", "hello world", "is not a trajectory file."},
        {"cut in a frame", good.substr(0, good.size() - 30), "is cut short."},
        {"trailing bytes", good + "x", "is damaged: data follows its end."},
        {"wrong frame count", good.substr(0, good.size() - 4) + std::string("\x07\0\0\0", 4),
         "is damaged: its frame count does not match its frames."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QzTest::WriteFile(folder.File("bad.trj"), c.bytes);
        try {
            TrjFile::Read(folder.File("bad.trj"));
            ADD_FAILURE() << "read a damaged file";
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetMessage(), "The trajectory file \"" + folder.File("bad.trj") + "\" " + c.message);
        }
    }
}

// A write that runs out of room half-way fails and leaves the older file
// whole, with no partial file beside it.
TEST_F(TrjWriterTest, WriteFailingHalfWayKeepsTheOlderFile)
{
    QzTest::WriteFile(folder.File("run.trj"), "older");
    provider.frames = 50;
    provider.atoms = 20;
    HRESULT hr = S_OK;
    const auto outcome = QzTest::WriteWithFileSizeLimit([&] {
        hr = writer.WriteTrajFile(provider, folder.File("run"));
        if (FAILED(hr))
            throw KelvResult(hr, "failed");
    });
    EXPECT_EQ(outcome, QzTest::WriteOutcome::Threw);
    EXPECT_EQ(QzTest::ReadFile(folder.File("run.trj")), "older");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run.trj"});
}
