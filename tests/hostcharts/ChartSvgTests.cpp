// Chart documents drawn as SVG pictures.
#include "host/charts/ChartSvg.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

} // namespace
