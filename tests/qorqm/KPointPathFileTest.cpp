#include "qorqm/KPointPathFile.h"

#include "FakeHost.h"
#include "common/TempFolder.h"
#include "common/KelvResults.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

using QzTest::CodeOf;
using QzTest::TempFolder;

using namespace Fakes;

namespace {

// Writes the path's block into "<folder>/run.kptaux" as the deck writer does.
std::string WriteBlock(const TempFolder& folder, const KelvComPtr<DispersionPath>& path) {
    const std::string file = folder.Path() + "/run.kptaux";
    std::ofstream out(file);
    out.setf(std::ios::fixed | std::ios::right);
    out.fill(' ');
    QMKPointFileUtilities::WriteKPointPathBlock(out, KelvComPtr<IQoDispersionPath>(path.get()));
    return file;
}

TEST(KPointPathFile, WrittenBlockReadsBackBesideTheDispersionFile) {
    TempFolder folder;
    const auto path = Make<DispersionPath>(std::vector<PathPoint>{
        {0.0, 0.0, 0.0, SegmentBoundaryStart, "G"},
        {0.25, 0.0, 0.0, SegmentBoundaryInside, ""},
        {0.5, 0.0, 0.0, SegmentBoundaryJoint, "X"},
        {0.5, 0.5, 0.0, SegmentBoundaryJoint, "M point"},
        {0.25, 0.25, 1.0 / 3.0, SegmentBoundaryInside, "  \tpadded\n "},
        {0.0, 0.0, 0.5, SegmentBoundaryEnd, "Z"},
    });
    WriteBlock(folder, path);

    std::vector<LONG> numbers{99};
    std::vector<std::string> labels{"old"};
    std::vector<SegmentBoundaryTypeEnum> types{SegmentBoundaryJoint};
    // The dispersion results find the k-point path of their run.
    KPointParseUtilities::ReadPathInfo(folder.Path() + "/run.disp", numbers, labels, types);

    EXPECT_EQ((std::vector<LONG>{1, 2, 3, 4, 5, 6}), numbers);
    EXPECT_EQ((std::vector<std::string>{"G", "", "X", "M point", "padded", "Z"}), labels);
    EXPECT_EQ((std::vector<SegmentBoundaryTypeEnum>{SegmentBoundaryStart, SegmentBoundaryInside, SegmentBoundaryJoint,
                                                    SegmentBoundaryJoint, SegmentBoundaryInside, SegmentBoundaryEnd}),
              types);
}

TEST(KPointPathFile, BlockLayoutAndAnEmptyPath) {
    std::ostringstream out;
    out.precision(2);
    const auto path = Make<DispersionPath>(std::vector<PathPoint>{{0.5, -0.125, 1.0, SegmentBoundaryStart, "L"}});
    QMKPointFileUtilities::WriteKPointPathBlock(out, path.get());
    EXPECT_NE(std::string::npos, out.str().find("KPOINT_PATH 1\n"
                                                "     1     0.5000000000    -0.1250000000     1.0000000000  2 L\n"
                                                "END_KPOINT_PATH\n"));
    EXPECT_EQ(2, out.precision());  // the caller's settings stay

    TempFolder folder;
    const std::string file = WriteBlock(folder, Make<DispersionPath>(std::vector<PathPoint>{}));
    std::vector<LONG> numbers{1};
    std::vector<std::string> labels{"x"};
    std::vector<SegmentBoundaryTypeEnum> types{SegmentBoundaryEnd};
    KPointParseUtilities::ReadPathInfo(file, numbers, labels, types);
    EXPECT_TRUE(numbers.empty());
    EXPECT_TRUE(labels.empty());
    EXPECT_TRUE(types.empty());
}

TEST(KPointPathFile, AFailingHostCallLeavesTheStreamUntouched) {
    auto path = Make<DispersionPath>(std::vector<PathPoint>{{0, 0, 0, SegmentBoundaryStart, "G"},
                                                            {0.5, 0, 0, SegmentBoundaryEnd, "X"}});
    path->failAt = 1;
    std::ostringstream out;
    out << "kept";
    std::string message;
    EXPECT_EQ(E_UNEXPECTED,
              CodeOf([&] { QMKPointFileUtilities::WriteKPointPathBlock(out, path.get()); }, message));
    EXPECT_EQ("Point 1 is not ready", message);
    EXPECT_EQ("kept", out.str());

    EXPECT_EQ(E_POINTER, CodeOf([&] { QMKPointFileUtilities::WriteKPointPathBlock(out, nullptr); }, message));
}

TEST(KPointPathFile, MalformedOrMissingFilesAreRefusedAndLeaveTheListsEmpty) {
    struct Case {
        const char* name;
        const char* text;  // nullptr: no file at all
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"missing file", nullptr, "Unable to open k-point path file"},
        {"empty file", "", "no KPOINT_PATH line"},
        {"comments only", "# nothing here\n", "no KPOINT_PATH line"},
        {"count missing", "KPOINT_PATH\nEND_KPOINT_PATH\n", "point count is missing or invalid"},
        {"negative count", "KPOINT_PATH -2\nEND_KPOINT_PATH\n", "point count is missing or invalid"},
        {"truncated", "KPOINT_PATH 2\n 1 0 0 0 2 G\n", "the file ends after 1 of 2 points"},
        {"too few points", "KPOINT_PATH 2\n 1 0 0 0 2 G\nEND_KPOINT_PATH\n", "only 1 of 2 points are listed"},
        {"too many points", "KPOINT_PATH 1\n 1 0 0 0 2 G\n 2 0 0 0 3 X\nEND_KPOINT_PATH\n",
         "more points are listed than the 1 announced"},
        {"no end line", "KPOINT_PATH 1\n 1 0 0 0 2 G\n", "no END_KPOINT_PATH line"},
        {"kind out of range", "KPOINT_PATH 1\n 1 0 0 0 5 G\nEND_KPOINT_PATH\n", "the point kind 5 is not 1, 2, 3 or 4"},
        {"coordinate not a number", "KPOINT_PATH 1\n 1 0 zero 0 2 G\nEND_KPOINT_PATH\n",
         "does not hold a number, three coordinates and a kind"},
        {"fractional point number", "KPOINT_PATH 1\n 1.5 0 0 0 2\nEND_KPOINT_PATH\n",
         "does not hold a number, three coordinates and a kind"},
        {"too few fields", "KPOINT_PATH 1\n 1 0 0 0\nEND_KPOINT_PATH\n",
         "does not hold a number, three coordinates and a kind"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string file = folder.Path() + "/run.kptaux";
        if (c.text) {
            folder.Write("run.kptaux", c.text);
        }
        std::vector<LONG> numbers{7};
        std::vector<std::string> labels{"old"};
        std::vector<SegmentBoundaryTypeEnum> types{SegmentBoundaryStart};
        std::string message;
        EXPECT_EQ(E_UNEXPECTED, CodeOf([&] { KPointParseUtilities::ReadPathInfo(file, numbers, labels, types); },
                                       message));
        EXPECT_NE(std::string::npos, message.find(c.expected)) << message;
        EXPECT_NE(std::string::npos, message.find(file)) << message;
        EXPECT_TRUE(numbers.empty());
        EXPECT_TRUE(labels.empty());
        EXPECT_TRUE(types.empty());
    }
}

TEST(KPointPathFile, ReaderAcceptsCommentsBlankLinesAndWindowsLineEnds) {
    TempFolder folder;
    folder.Write("scan.kptaux",
                 "# written by hand\r\n\r\nKPOINT_PATH 2\r\n# first\r\n   1 0 0 0 2 Gamma\r\n\r\n"
                 "   2 0.5 0.5 0.5 3\r\nEND_KPOINT_PATH\r\n");
    std::vector<LONG> numbers;
    std::vector<std::string> labels;
    std::vector<SegmentBoundaryTypeEnum> types;
    KPointParseUtilities::ReadPathInfo(folder.Path() + "\\scan.gout", numbers, labels, types);
    EXPECT_EQ((std::vector<LONG>{1, 2}), numbers);
    EXPECT_EQ((std::vector<std::string>{"Gamma", ""}), labels);
    EXPECT_EQ((std::vector<SegmentBoundaryTypeEnum>{SegmentBoundaryStart, SegmentBoundaryEnd}), types);
}

}  // namespace
