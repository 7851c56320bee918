// The chart document file: contents written and read back equal, texts and
// unusual numbers kept, and malformed files refused with their reason.

#include "host/charts/ChartFile.h"
#include "host/model/TextEncoding.h"

#include "common/FailingWrite.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace HostCharts;

namespace {

// Two graphs of different styles, with a title holding "Å" (byte 0xC5).
ChartList TwoGraphChart()
{
    auto chart = std::make_shared<ChartData>();
    chart->title = "Quartz Energies";
    chart->xAxisTitle = "Step";
    chart->yAxisTitle = "Energy (eV/\xC5)";
    chart->autoScale = false;
    chart->showLegend = true;
    auto total = std::make_shared<GraphData>();
    total->name = "Total energy";
    total->showMarkers = true;
    total->colour = 0x0000FF;
    total->points = {{1.0, -1234.5678901234567, 1}, {2.0, -1234.6, 2}, {3.0, 1e-300, 3}};
    auto tolerance = std::make_shared<GraphData>();
    tolerance->name = "Tolerance";
    tolerance->lineStyle = 2;
    tolerance->lineWidth = 3;
    tolerance->drawOnTop = true;
    tolerance->points = {{0.1, std::numeric_limits<double>::quiet_NaN(), 0},
                         {-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(), -7}};
    chart->graphs = {total, tolerance};
    return {chart, std::make_shared<ChartData>()};
}

DocumentHeader Header()
{
    DocumentHeader header;
    header.name = "Quartz \xC5nergies";
    header.id = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    header.properties = {{"_ParentDocID", "{AAAAAAAA-0000-0000-0000-000000000000}"}};
    return header;
}

} // namespace

TEST(ChartFile, TwoGraphChartIsReadBackEqual)
{
    QzTest::TempFolder folder("qcd");
    const std::string path = folder.File("Quartz Energies.qcd");
    const ChartList written = TwoGraphChart();
    WriteChartFile(path, Header(), written);
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));

    DocumentHeader header;
    ChartList read;
    ReadChartFile(path, header, read);
    EXPECT_TRUE(SameCharts(written, read));
    EXPECT_EQ(Header().name, header.name);
    EXPECT_EQ(Header().id, header.id);
    EXPECT_EQ(Header().properties, header.properties);
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ("Energy (eV/\xC5)", read[0]->yAxisTitle);
    // Latin-1 text is stored as UTF-8, so the file is valid JSON for any reader.
    EXPECT_NE(std::string::npos, QzTest::ReadFile(path).find("eV/\xC3\x85"));
    EXPECT_TRUE(std::isnan(read[0]->graphs[1]->points[0].y));
    EXPECT_EQ(-7, read[0]->graphs[1]->points[1].itemIndex);
}

TEST(ChartFile, ComparisonSeesEveryDifference)
{
    const ChartList base = TwoGraphChart();
    auto changed = [&](auto change) {
        ChartList copy;
        for (const auto& chart : base) {
            auto c = std::make_shared<ChartData>(*chart);
            for (auto& graph : c->graphs)
                graph = std::make_shared<GraphData>(*graph);
            copy.push_back(c);
        }
        change(copy);
        return SameCharts(base, copy);
    };
    EXPECT_TRUE(changed([](ChartList&) {}));
    EXPECT_FALSE(changed([](ChartList& c) { c[0]->yAxisTitle = "Energy"; }));
    EXPECT_FALSE(changed([](ChartList& c) { c[0]->graphs[0]->points[1].y += 1e-9; }));
    EXPECT_FALSE(changed([](ChartList& c) { c[0]->graphs[1]->points[0].itemIndex = 1; }));
    EXPECT_FALSE(changed([](ChartList& c) { c[0]->graphs[1]->lineStyle = 3; }));
    EXPECT_FALSE(changed([](ChartList& c) { c[0]->graphs.pop_back(); }));
    EXPECT_FALSE(changed([](ChartList& c) { c.pop_back(); }));
}

struct MalformedCase {
    const char* label;
    const char* text;
    const char* reason; // a part of the message
};

TEST(ChartFile, MalformedTextIsRefusedWithItsReason)
{
    const std::vector<MalformedCase> cases{
        {"empty", "", "not valid JSON"},
        {"truncated", R"({"format": "QorZelm chart document", "version": 1, "charts": [{"graphs": [)",
         "not valid JSON"},
        {"not an object", "[1, 2]", "must hold a JSON object"},
        {"other format", R"({"format": "QorZelm structure document", "version": 1, "charts": []})",
         "is not a chart document"},
        {"newer version", R"({"format": "QorZelm chart document", "version": 2, "charts": []})", "version"},
        {"no charts", R"({"format": "QorZelm chart document", "version": 1})", "needs a list \"charts\""},
        {"chart not an object", R"({"format": "QorZelm chart document", "version": 1, "charts": [3]})",
         "Chart 1 must be an object"},
        {"title a number",
         R"({"format": "QorZelm chart document", "version": 1, "charts": [{"title": 5, "graphs": []}]})",
         "Chart 1 \"title\" must be a text"},
        {"point too short",
         R"({"format": "QorZelm chart document", "version": 1, "charts": [{"graphs": [{"points": [[1]]}]}]})",
         "Chart 1 graph 1 point 1 must be a list"},
        {"point not a number",
         R"({"format": "QorZelm chart document", "version": 1, "charts": [{"graphs": [{"points": [[1, "x"]]}]}]})",
         "point 1 y must be a number"},
        {"item index too large",
         R"({"format": "QorZelm chart document", "version": 1, "charts": [{"graphs": [{"points": [[1, 2, 4294967296]]}]}]})",
         "item index is out of range"},
        {"line style unknown",
         R"({"format": "QorZelm chart document", "version": 1, "charts": [{"graphs": [{"style": {"lineStyle": 9}, "points": []}]}]})",
         "\"lineStyle\" must lie between 0 and 5"},
        {"properties not texts",
         R"({"format": "QorZelm chart document", "version": 1, "properties": {"a": 1}, "charts": []})",
         "property \"a\" must be a text"},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.label);
        DocumentHeader header;
        header.name = "untouched";
        ChartList charts;
        try {
            ReadChartFileText(c.text, header, charts);
            ADD_FAILURE() << "accepted";
        } catch (const ChartFileError& error) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find(c.reason)) << error.what();
        }
        // A refused text leaves what the caller had.
        EXPECT_EQ("untouched", header.name);
        EXPECT_TRUE(charts.empty());
    }
}

// The reader's complaint about a number quotes an excerpt of the file, not
// the whole of a huge number with the control characters after it.
TEST(ChartFile, ANumberRefusalQuotesOnlyAShortExcerpt)
{
    const std::string text = R"({"format": "QorZelm chart document", "version": 1, "charts": [{"graphs": [{"points": [[1, 1)" +
                             std::string(1 << 20, '0') + "e\x1b[2J]]}]}]}";
    DocumentHeader header;
    ChartList charts;
    try {
        ReadChartFileText(text, header, charts);
        ADD_FAILURE() << "accepted";
    } catch (const ChartFileError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("not valid JSON"), std::string::npos) << message.substr(0, 300);
        EXPECT_LT(message.size(), 600u);
        EXPECT_EQ(message.find('\x1b'), std::string::npos);
    }
}

TEST(ChartFile, MissingFileAndLatin1Conversions)
{
    QzTest::TempFolder folder("qcd");
    DocumentHeader header;
    ChartList charts;
    try {
        ReadChartFile(folder.File("none.qcd"), header, charts);
        ADD_FAILURE() << "accepted";
    } catch (const ChartFileError& error) {
        EXPECT_NE(std::string::npos, std::string(error.what()).find("none.qcd"));
    }

    std::string every;
    for (int b = 1; b < 256; ++b)
        every += static_cast<char>(b);
    EXPECT_EQ(every, HostModel::Utf8ToLatin1(HostModel::Latin1ToUtf8(every)));
    EXPECT_EQ("1?", HostModel::Utf8ToLatin1("1\xE2\x82\xAC")); // the euro sign has no Latin-1 byte
    EXPECT_EQ("a\xC5", HostModel::Utf8ToLatin1("a\xC5"));      // a lone Latin-1 byte stays as it is
}

// A write that runs out of room half-way reports the failure and leaves the
// previous chart document whole, with no partial file beside it.
TEST(ChartFile, WriteFailingHalfWayLeavesThePreviousFileWhole)
{
    QzTest::TempFolder folder("qcd-limit");
    const std::string path = folder.File("Energies.qcd");
    WriteChartFile(path, Header(), TwoGraphChart());
    const std::string before = QzTest::ReadFile(path);
    ChartList large = TwoGraphChart();
    for (int i = 0; i < 200; ++i)
        large[0]->graphs[0]->points.push_back({double(i), -1234.5 - i, i});
    ASSERT_GT(ChartFileText(Header(), large).size(), 4096u);

    const auto outcome = QzTest::WriteWithFileSizeLimit([&] { WriteChartFile(path, Header(), large); });
    EXPECT_EQ(outcome, QzTest::WriteOutcome::Threw);
    EXPECT_EQ(QzTest::ReadFile(path), before);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"Energies.qcd"});
}
