// Chart documents drawn as SVG pictures.
#include "host/charts/ChartSvg.h"

#include "common/FailingWrite.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace HostCharts;

// The text of the picture with the numeric character references resolved
// into UTF-8, so that titles can be searched for.
std::string Resolved(const std::string& svg)
{
    std::string out;
    for (size_t i = 0; i < svg.size(); ++i) {
        if (svg.compare(i, 3, "&#x") == 0) {
            const size_t end = svg.find(';', i);
            const unsigned long code = std::stoul(svg.substr(i + 3, end - i - 3), nullptr, 16);
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
            i = end;
        } else {
            out += svg[i];
        }
    }
    return out;
}

// True when every element opened is closed in order (comments, the
// declaration and the document type aside).
bool WellFormed(const std::string& svg)
{
    std::vector<std::string> open;
    const std::regex tag(R"(<(/?)([A-Za-z][\w:.-]*)[^>]*?(/?)>)");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), tag); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        if (m[3] == "/")
            continue;
        if (m[1] == "/") {
            if (open.empty() || open.back() != m[2])
                return false;
            open.pop_back();
        } else {
            open.push_back(m[2]);
        }
    }
    return open.empty();
}

// Number of polylines drawn in the colour (as "#RRGGBB").
int LinesInColour(const std::string& svg, const std::string& colour)
{
    int count = 0;
    const std::regex polyline("<polyline[^>]*stroke=\"" + colour + "\"[^>]*points=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), polyline); it != std::sregex_iterator(); ++it)
        ++count;
    return count;
}

TEST(ChartSvg, DrawsEveryChartWithTitlesAndOneLinePerStretchOfFinitePoints)
{
    DocumentHeader header;
    ChartList charts;
    ReadChartFile(std::string(QZ_TEST_DATA) + "/hostcharts/two-charts.qcd", header, charts);
    ASSERT_EQ(charts.size(), 2u);

    QzTest::TempFolder folder("svg");
    const std::string path = folder.File("charts.svg");
    WriteChartSvg(charts, path);
    const std::string svg = QzTest::ReadFile(path);
    ASSERT_FALSE(svg.empty());
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_TRUE(WellFormed(svg));

    const std::string text = Resolved(svg);
    for (const char* expected : {"ZELM Optimization Convergence", "second line", "Optimization Step",
                                 "Convergence (log10)", "ZELM Dynamics History", "Distance (\xC3\x85)",
                                 "Energy (eV)", "Energy Change (eV/atom)", "Energy Tolerance"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    // A legend only where the chart shows one.
    EXPECT_EQ(text.find("Total Energy"), std::string::npos);

    // Colours are 0x00BBGGRR: the not-a-number point breaks the first
    // graph's line in two; the other graphs are one line each.
    EXPECT_EQ(LinesInColour(svg, "#0080FF"), 2 + 1); // two stretches and its legend line
    EXPECT_EQ(LinesInColour(svg, "#FF8040"), 1 + 1); // the tolerance line and its legend line
    EXPECT_EQ(LinesInColour(svg, "#400080"), 1);

    // The same document gives the same picture.
    const std::string again = folder.File("again.svg");
    WriteChartSvg(charts, again);
    EXPECT_EQ(QzTest::ReadFile(again), svg);
}

// One chart of one graph through the points (i, y[i]).
ChartList OneGraph(const std::string& title, const std::vector<double>& ys)
{
    auto chart = std::make_shared<ChartData>();
    chart->title = title;
    auto graph = std::make_shared<GraphData>();
    graph->colour = 0x0000FF;
    for (size_t i = 0; i < ys.size(); ++i)
        graph->points.push_back({static_cast<double>(i), ys[i], 0});
    chart->graphs.push_back(graph);
    return {chart};
}

// The texts of the picture that read wholly as numbers, in order.
std::vector<std::string> NumberTexts(const std::string& svg)
{
    std::vector<std::string> numbers;
    const std::string text = Resolved(svg);
    const std::regex label(R"(>\s*(-?[0-9][0-9.e+-]*)\s*<)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), label); it != std::sregex_iterator(); ++it)
        numbers.push_back((*it)[1]);
    return numbers;
}

TEST(ChartSvg, TicksOfASmallRangeReadApart)
{
    QzTest::TempFolder folder("svg");
    const struct {
        const char* what;
        std::vector<double> ys;
    } cases[] = {
        {"drift of a constant of motion", {-31.6401, -31.64005, -31.6400, -31.63995}},
        {"one plus steps of 1e-9", {1.0, 1.0 + 1e-9, 1.0 + 2e-9, 1.0 + 3e-9, 1.0 + 4e-9}},
        {"a small value with a smaller change", {2.5e-7, 2.5e-7 + 1e-12, 2.5e-7 + 3e-12}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.File("ticks.svg");
        WriteChartSvg(OneGraph(c.what, c.ys), path);
        const std::vector<std::string> numbers = NumberTexts(QzTest::ReadFile(path));
        // The x axis counts 0, 1, 2...; the y ticks follow. No two labels of
        // an axis read the same.
        std::vector<std::string> sorted(numbers);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << ::testing::PrintToString(numbers);
        EXPECT_GE(numbers.size(), 6u) << ::testing::PrintToString(numbers);
    }
}

TEST(ChartSvg, ValuesSpanningBeyondTheLargestNumberAreRefusedBeforeTheFile)
{
    QzTest::TempFolder folder("svg");
    const std::string path = folder.File("huge.svg");
    try {
        WriteChartSvg(OneGraph("Huge\nsecond line", {1e308, -1e308}), path);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("\"Huge\""), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    // Large values of one sign still draw.
    WriteChartSvg(OneGraph("Large", {1e307, 2e307}), path);
    EXPECT_TRUE(WellFormed(QzTest::ReadFile(path)));
}

TEST(ChartSvg, AnUnwritablePathIsNamed)
{
    ChartList charts;
    try {
        WriteChartSvg(charts, "/nonexistent-folder/x.svg");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/x.svg"), std::string::npos);
    }
}

// Texts of any length in a chart document (a file a user receives) reach
// the renderer bounded: long texts are drawn shortened, each with a warning.
TEST(ChartSvg, TextsOfAnyLengthAreDrawnShortenedWithAWarning)
{
    QzTest::TempFolder folder("svg");
    const std::string longText(5000, 'T');
    const std::string escapes(700, '#');
    const struct {
        const char* what;
        std::function<void(ChartData&)> set;
        const char* named;
    } cases[] = {
        {"title", [&](ChartData& c) { c.title = longText; }, "the title line"},
        {"title of escapes", [&](ChartData& c) { c.title = escapes; }, "the title line"},
        {"x-axis title", [&](ChartData& c) { c.xAxisTitle = longText; }, "the x-axis title"},
        {"y-axis title", [&](ChartData& c) { c.yAxisTitle = std::string(1026, '\xC5'); }, "the y-axis title"},
        {"legend name",
         [&](ChartData& c) {
             c.showLegend = true;
             c.graphs.front()->name = longText;
         },
         "the name of graph 1"},
        {"mark", [&](ChartData& c) { c.xMarks.push_back({1.0, longText}); }, "the mark"},
        {"title of many lines", [&](ChartData& c) { c.title = std::string(40, '\n'); }, "its title has 41 lines"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ChartList charts = OneGraph("Plain", {1.0, 2.0, 3.0});
        c.set(*charts.front());
        const std::string path = folder.File("long.svg");
        const std::vector<std::string> warnings = WriteChartSvg(charts, path);
        ASSERT_EQ(warnings.size(), 1u) << ::testing::PrintToString(warnings);
        EXPECT_NE(warnings.front().find(c.named), std::string::npos) << warnings.front();
        EXPECT_TRUE(WellFormed(QzTest::ReadFile(path)));
    }
    // A text the renderer takes is drawn whole, without a warning.
    const std::string path = folder.File("plain.svg");
    EXPECT_TRUE(WriteChartSvg(OneGraph(std::string(250, 'P'), {1.0, 2.0}), path).empty());
    EXPECT_NE(Resolved(QzTest::ReadFile(path)).find(std::string(250, 'P')), std::string::npos);
}

// The x position of every text drawn right-aligned (the y axis's tick
// labels) and of the vertical y-axis title, with the label texts.
struct LeftTexts {
    std::vector<std::pair<double, std::string>> labels;
    double title = 0.0;
};

LeftTexts LeftSide(const std::string& svg)
{
    LeftTexts found;
    const std::string text = Resolved(svg);
    const std::regex element(R"re(transform="matrix\(([-0-9.]+) [-0-9.]+ [-0-9.]+ [-0-9.]+ ([-0-9.]+) [-0-9.]+\)"\s*)re"
                             R"re(text-anchor="(\w+)"[^>]*>\s*<tspan[^>]*>([^<]*)<)re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), element); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        const double x = std::stod(m[2]);
        if (m[3] == "end" && std::stod(m[1]) == 1.0)
            found.labels.emplace_back(x, m[4]);
        else if (std::stod(m[1]) == 0.0 && m[4] == "Value")
            found.title = x;
    }
    return found;
}

TEST(ChartSvg, LongTickLabelsStayOnThePictureBesideTheAxisTitle)
{
    QzTest::TempFolder folder("svg");
    const struct {
        const char* what;
        std::vector<double> ys;
    } cases[] = {
        {"one plus steps of 1e-12", {1.0, 1.0 + 1e-12, 1.0 + 2e-12, 1.0 + 3e-12}},
        {"a large value in scientific form", {-1.234567891234e300, -1.234567891233e300}},
        {"short labels", {1.0, 2.0, 3.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ChartList charts = OneGraph(c.what, c.ys);
        charts.front()->yAxisTitle = "Value";
        const std::string path = folder.File("labels.svg");
        WriteChartSvg(charts, path);
        const LeftTexts texts = LeftSide(QzTest::ReadFile(path));
        ASSERT_FALSE(texts.labels.empty());
        ASSERT_GT(texts.title, 0.0);
        // A digit is at most 0.6 of the text size (17) wide; the title's
        // text, turned upright, is about 17 wide around its x.
        for (const auto& label : texts.labels) {
            const double left = label.first - 0.6 * 17.0 * static_cast<double>(label.second.size());
            EXPECT_GT(left, texts.title + 8.5) << label.second;
        }
        EXPECT_GT(texts.title - 8.5, 0.0);
    }
}

// A picture that cannot be written whole (a full disk) is reported, and
// the picture that was there stays as it was.
TEST(ChartSvg, AFailedWriteLeavesThePreviousPictureWhole)
{
    QzTest::TempFolder folder("svg");
    const std::string path = folder.Write("picture.svg", "the previous picture\n");
    const ChartList charts = OneGraph("Full disk", {1.0, 2.0, 3.0});
    EXPECT_EQ(QzTest::WriteWithFileSizeLimit([&] { WriteChartSvg(charts, path); }), QzTest::WriteOutcome::Threw);
    EXPECT_EQ(QzTest::ReadFile(path), "the previous picture\n");
    // Without the limit the picture is replaced.
    WriteChartSvg(charts, path);
    EXPECT_TRUE(WellFormed(QzTest::ReadFile(path)));
}

} // namespace
