// The phonon dispersion reader over hand-written ".disp", ".kptaux" and
// ".gout" files.

#include "readers/PhononFileReader.h"

#include "ReaderFiles.h"

#include "kelv/kelv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

using QzTest::ReaderFolder;

namespace {

struct Segment {
    xxPoint3d start, final;
};

// A dispersion file: per segment a section line, start and final lines, and
// `points` groups of `modes` frequency lines.
std::string Dispersion(const std::vector<Segment>& segments, int points, int modes, double base = 100.0)
{
    std::ostringstream text;
    int number = 0;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        const Segment& seg = segments[s];
        text << "# Section " << s + 1 << "\n";
        text << "# Start k-point at : " << seg.start.x << " " << seg.start.y << " " << seg.start.z << "\n";
        text << "# Final k-point at : " << seg.final.x << " " << seg.final.y << " " << seg.final.z << "\n";
        for (int p = 0; p < points; ++p) {
            ++number;
            for (int m = 0; m < modes; ++m) {
                text << number << " " << base + number + m << "\n";
            }
        }
    }
    return text.str();
}

const char* const PathGXM = "# k-point path\nKPOINT_PATH 3\n1 0 0 0 2 G\n2 0.5 0 0 4 X\n3 0.5 0.5 0 3 M\n"
                            "END_KPOINT_PATH\n";

const char* const Output = "Cartesian lattice vectors (Angstroms) :\n\n 1 0 0\n 0 1 0\n 0 0 1\n"
                           "Cartesian lattice vectors (Angstroms) :\n\n 2.0 0.0 0.0\n 0.0 4.0 0.0\n 0 0\n";

CZelmPhononData ReadRun(const ReaderFolder& folder, const std::string& dispersion,
                        const std::string& path = PathGXM, const std::string& output = Output)
{
    folder.Write("run.disp", dispersion);
    folder.Write("run.kptaux", path);
    folder.Write("run.gout", output);
    CZelmPhononData data(folder.Path("run"));
    CPhononFileReader().Read(data.resultsPath, data);
    return data;
}

std::string Failure(const ReaderFolder& folder, const std::string& dispersion)
{
    try {
        ReadRun(folder, dispersion);
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        return error.GetMessage();
    }
    return "no failure";
}

} // namespace

TEST(PhononReader, TwoSectionsJoinedOrBroken)
{
    ReaderFolder folder;
    const xxPoint3d g(0, 0, 0), x(0.5, 0, 0), m(0.5, 0.5, 0), y(0, 0.5, 0);
    for (bool joined : {true, false}) {
        const CZelmPhononData data =
            ReadRun(folder, Dispersion({{g, x}, {joined ? x : y, m}}, 10, 3));
        EXPECT_EQ(3, data.numberOfModes);
        ASSERT_EQ(20u, data.kPoints.size());
        ASSERT_EQ(20u, data.boundaryTypes.size());
        ASSERT_EQ(20u, data.frequencies.size());
        EXPECT_EQ(20, data.pointNumbers.back());
        for (std::size_t i = 0; i < 20; ++i) {
            SegmentBoundaryTypeEnum expected = SegmentBoundaryInside;
            if (i == 0 || (!joined && i == 10)) {
                expected = SegmentBoundaryStart;
            } else if (i == 19 || (!joined && i == 9)) {
                expected = SegmentBoundaryEnd;
            } else if (joined && (i == 9 || i == 10)) {
                expected = SegmentBoundaryJoint;
            }
            EXPECT_EQ(expected, data.boundaryTypes[i]) << i << joined;
            EXPECT_EQ(3u, data.frequencies[i].size());
            const std::string label = i == 0 ? "G" : i == 9 || i == 10 ? "X" : i == 19 ? "M" : "";
            EXPECT_EQ(label, data.labels[i]) << i;
        }
        EXPECT_DOUBLE_EQ(101.0, data.minimumFrequency);
        EXPECT_DOUBLE_EQ(0.5, data.kPoints[9].x);
        // The second lattice block gives the cell; a short vector line keeps
        // the unit vector: reciprocal lengths 1/2, 1/4, 1.
        EXPECT_DOUBLE_EQ(0.5, data.reciprocalLattice(1, 1));
        EXPECT_DOUBLE_EQ(0.25, data.reciprocalLattice(2, 2));
        EXPECT_DOUBLE_EQ(1.0, data.reciprocalLattice(3, 3));
    }
}

TEST(PhononReader, ReciprocalVectorsAreTheColumnsOfATriclinicCell)
{
    // a = (3, 0, 0), b = (1, 4, 0), c = (0.5, 1, 5): volume 60; the reciprocal
    // vectors b x c / 60 = (1/3, -1/12, -1/60), c x a / 60 = (0, 1/4, -1/20),
    // a x b / 60 = (0, 0, 1/5) stand in the columns, in that order.
    ReaderFolder folder;
    const CZelmPhononData data =
        ReadRun(folder, Dispersion({{xxPoint3d(0, 0, 0), xxPoint3d(0.5, 0, 0)}}, 2, 1), PathGXM,
                "Cartesian lattice vectors (Angstroms) :\n\n 3.0 0.0 0.0\n 1.0 4.0 0.0\n 0.5 1.0 5.0\n");
    const double expected[3][3] = {{1.0 / 3, 0, 0}, {-1.0 / 12, 0.25, 0}, {-1.0 / 60, -0.05, 0.2}};
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            EXPECT_NEAR(expected[i - 1][j - 1], data.reciprocalLattice(i, j), 1e-15) << i << j;
        }
    }
}

// Each file boundary point takes the label of its own path vertex: "-"
// joins vertices within a run of segments (a joint), "|" starts a new run
// after a break. The path lists one inner point between vertices.
TEST(PhononReader, LabelsFollowJointsAndBreaksOfThePath)
{
    const std::map<char, xxPoint3d> where = {{'G', xxPoint3d(0, 0, 0)},     {'X', xxPoint3d(0.5, 0, 0)},
                                             {'M', xxPoint3d(0.5, 0.5, 0)}, {'R', xxPoint3d(0.5, 0.5, 0.5)},
                                             {'K', xxPoint3d(0.25, 0.5, 0)}, {'Z', xxPoint3d(0, 0, 0.5)}};
    ReaderFolder folder;
    for (const std::string route : {"G-X|M-R", "G-X-K|M-R", "G-X|M-R|Z-G", "G-X-M-G-R-X|M-R"}) {
        const int points = 4;
        std::vector<Segment> segments;
        std::vector<std::string> expected;
        std::ostringstream path;
        int count = 0;
        std::size_t runStart = 0;
        while (runStart < route.size()) {
            const std::size_t runEnd = std::min(route.find('|', runStart), route.size());
            for (std::size_t v = runStart; v < runEnd; v += 2) {
                const int kind = v == runStart ? 2 : v + 1 >= runEnd ? 3 : 4;
                const xxPoint3d k = where.at(route[v]);
                if (v != runStart) {
                    path << ++count << " 0.1 0.1 0.1 1\n";
                    segments.push_back({where.at(route[v - 2]), k});
                    expected.resize(expected.size() + points);
                    expected[expected.size() - points] = std::string(1, route[v - 2]);
                    expected.back() = std::string(1, route[v]);
                }
                path << ++count << " " << k.x << " " << k.y << " " << k.z << " " << kind << " " << route[v] << "\n";
            }
            runStart = runEnd + 1;
        }
        const CZelmPhononData data =
            ReadRun(folder, Dispersion(segments, points, 1),
                    "KPOINT_PATH " + std::to_string(count) + "\n" + path.str() + "END_KPOINT_PATH\n");
        EXPECT_EQ(expected, data.labels.ToVector()) << route;
    }
}

TEST(PhononReader, PointsStepAlongTheSegment)
{
    ReaderFolder folder;
    const CZelmPhononData data =
        ReadRun(folder, Dispersion({{xxPoint3d(0, 0, 0), xxPoint3d(0.5, 0, 0)}}, 6, 1, 20000.0),
                "KPOINT_PATH 2\n1 0 0 0 2 G\n2 0.5 0 0 3 X\nEND_KPOINT_PATH\n");
    ASSERT_EQ(6u, data.kPoints.size());
    for (int p = 0; p < 6; ++p) {
        EXPECT_NEAR(0.1 * p, data.kPoints[static_cast<std::size_t>(p)].x, 1e-12);
    }
    EXPECT_EQ(10000.0, data.minimumFrequency);
    EXPECT_EQ("G", data.labels.front());
    EXPECT_EQ("X", data.labels.back());

    // One point a segment: no step, no division by zero.
    const CZelmPhononData single =
        ReadRun(folder, Dispersion({{xxPoint3d(0.1, 0, 0), xxPoint3d(0.5, 0, 0)}}, 1, 2, -50.0));
    ASSERT_EQ(1u, single.kPoints.size());
    EXPECT_DOUBLE_EQ(0.1, single.kPoints[0].x);
    EXPECT_DOUBLE_EQ(-49.0, single.minimumFrequency);
}

TEST(PhononReader, ModeCountRulesAndShortGroups)
{
    std::istringstream modes("x\n01 5\n2 7\n1 5\n1 6\n3 words here\n1 7\n2 8\n1 9\n");
    EXPECT_EQ(3, CPhononFileReader::CountModes(modes));
    std::string rest;
    EXPECT_TRUE(std::getline(modes, rest)); // rewound
    EXPECT_EQ("x", rest);

    ReaderFolder folder;
    std::string text = Dispersion({{xxPoint3d(0, 0, 0), xxPoint3d(1, 0, 0)}}, 2, 3);
    text.replace(text.find("2 103\n"), 6, "2 103 x\n");
    const CZelmPhononData data = ReadRun(folder, text);
    ASSERT_EQ(2u, data.frequencies.size());
    EXPECT_EQ((std::vector<double>{101.0, 102.0, 103.0}), data.frequencies[0].ToVector());
    EXPECT_EQ((std::vector<double>{102.0, 104.0}), data.frequencies[1].ToVector());
}

TEST(PhononReader, APointWithoutFrequenciesLeavesTheNextPointsTheirOwn)
{
    ReaderFolder folder;
    std::string text = Dispersion({{xxPoint3d(0, 0, 0), xxPoint3d(1, 0, 0)}}, 3, 2);
    text.replace(text.find("2 102\n2 103\n"), 12, "2 x y\n2 x y\n");
    const CZelmPhononData data = ReadRun(folder, text);
    ASSERT_EQ(3u, data.frequencies.size());
    EXPECT_EQ((std::vector<double>{101.0, 102.0}), data.frequencies[0].ToVector());
    EXPECT_TRUE(data.frequencies[1].empty());
    EXPECT_EQ((std::vector<double>{103.0, 104.0}), data.frequencies[2].ToVector());
}

// Only the labelled points are held; a label may come again, go, or come
// before one already set.
TEST(PhononReader, PointLabelsInAnyOrder)
{
    CPointLabels labels;
    labels.Reset(6);
    labels.Set(3, "X");
    labels.Set(0, "G");
    labels.Set(3, "Y");
    labels.Set(5, "M");
    labels.Set(1, "K");
    labels.Set(1, "");
    labels.Set(6, "beyond");
    EXPECT_EQ((std::vector<std::string>{"G", "", "", "Y", "", "M"}), labels.ToVector());
    EXPECT_EQ(3u, labels.Labelled().size());
    EXPECT_EQ("", labels[9]);
    EXPECT_EQ("M", labels.back());
    labels.Reset(2);
    EXPECT_EQ((std::vector<std::string>{"", ""}), labels.ToVector());
}

TEST(PhononReader, FilesWithoutPointsFailAndBrokenSegmentsStayInBounds)
{
    ReaderFolder folder;
    const xxPoint3d g(0, 0, 0), x(0.5, 0, 0);
    const std::string noPoints = "The ZELM dispersion file run.disp holds no dispersion points.";
    // No frequency line starting "1", no section line, fewer points than sections.
    EXPECT_EQ(noPoints, Failure(folder, "# Section 1\n2 100\n3 100\n"));
    EXPECT_EQ(noPoints, Failure(folder, "# x\n1 100\n1 100\n2 100\n"));
    EXPECT_EQ(noPoints, Failure(folder, "# Section 1\n# Section 2\n# Section 3\n1 5\n2 6\n"));
    EXPECT_EQ(noPoints, Failure(folder, ""));
    EXPECT_EQ("Failed to open ZELM dispersion file.", [&] {
        try {
            CZelmPhononData data(folder.Path("none"));
            CPhononFileReader().Read(data.resultsPath, data);
        } catch (const KelvResult& error) {
            return error.GetMessage();
        }
        return std::string();
    }());

    // A first segment whose start line is broken: its lines are taken as the
    // next segment's, so fewer points are read than counted; the join test
    // and the labels stay within the lists.
    std::string broken = Dispersion({{g, x}, {x, g}}, 4, 2);
    broken.replace(broken.find("# Start"), 7, "# Begin");
    const CZelmPhononData data = ReadRun(folder, broken, PathGXM);
    EXPECT_EQ(8u, data.boundaryTypes.size());
    EXPECT_LT(data.kPoints.size(), 8u);
    EXPECT_EQ(data.kPoints.size(), data.labels.size());

    // More inner vertices than the file has boundaries: those without a
    // point stay unused.
    const CZelmPhononData many = ReadRun(folder, Dispersion({{g, x}}, 3, 1),
                                         "KPOINT_PATH 4\n1 0 0 0 2 G\n2 1 0 0 4 X\n3 1 1 0 4 M\n4 0 1 0 3 Y\n"
                                         "END_KPOINT_PATH\n");
    EXPECT_EQ((std::vector<std::string>{"G", "", "Y"}), many.labels.ToVector());

    // A mode count far above the data: groups end with the file.
    const CZelmPhononData hostile = ReadRun(folder, "# Section 1\n# Start k at : 0 0 0\n# Final k at : 1 0 0\n"
                                                    "1 5\n1 6\n1 7\n");
    EXPECT_EQ(1u, hostile.kPoints.size());
}
