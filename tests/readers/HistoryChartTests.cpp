// The history charts and the density-of-states chart on the host's chart
// documents.

#include "analysis/HistoryCharts.h"
#include "readers/OutputFileReader.h"

#include "host/charts/ChartDocument.h"
#include "kelv/kelv.h"
#include "qorqm/ChartUtility.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using HostCharts::ChartDocument;

namespace {

struct Point {
    double x, y;
    LONG item;
    bool operator==(const Point& o) const { return x == o.x && y == o.y && item == o.item; }
};

std::ostream& operator<<(std::ostream& out, const Point& p)
{
    return out << "(" << p.x << ", " << p.y << ", " << p.item << ")";
}

KelvComPtr<ISDChart2d> Chart(ChartDocument* document)
{
    return CChartUtility::GetChart(document, 1);
}

std::vector<Point> Points(ChartDocument* document, LONG graph)
{
    KelvComPtr<ISDChart2dGraph> g = CChartUtility::GetGraph(Chart(document).get(), graph);
    LONG count = 0;
    g->get_PointCount(&count);
    std::vector<Point> points;
    for (LONG i = 1; i <= count; ++i) {
        Point p{};
        g->GetPoint(i, &p.x, &p.y, &p.item);
        points.push_back(p);
    }
    return points;
}

std::string Text(BSTR text)
{
    return KelvBSTR::Attach(text).ToTString();
}

} // namespace

TEST(HistoryCharts, SixLayouts)
{
    struct Case {
        void (*build)(ISDChart2dDocument*);
        const char* title;
        const char* xAxis;
        const char* yAxis;
        std::vector<std::pair<std::string, LONG>> graphs;
    } cases[] = {
        {CreateGeomOptEnergyChart, "ZELM Geometry Optimization", "Optimization Step", "Energy (eV)",
         {{"Total Energy", 0x009B00}}},
        {CreateOptimizationConvergenceChart, "ZELM Optimization Convergence", "Optimization Step",
         "Convergence (log10)",
         {{"Energy Change (eV/atom)", 0xFF8000}, {"Gradient Normal", 0x4080FF}, {"Energy Tolerance", 0xFF8000},
          {"Gradient Tolerance", 0x4080FF}}},
        {CreateDynamicsEnergyChart, "ZELM Dynamics History", "Simulation Time (ps)", "Energy (eV)",
         {{"Total Energy", 0xFF8000}, {"Kinetic Energy", 0x4080FF}, {"Potential Energy", 0x800040}}},
        {CreateDynamicsTemperatureChart, "ZELM Dynamics History", "Simulation Time (ps)", "Temperature (K)",
         {{"Ionic Temperature", 0xFF8000}}},
        {CreateDynamicsPressureChart, "ZELM Dynamics History", "Simulation Time (ps)", "Pressure (GPa)",
         {{"Hydrostatic Pressure", 0xFF8000}}},
        {CreateDynamicsConstantOfMotionChart, "ZELM Dynamics History", "Simulation Time (ps)",
         "Constant of Motion (eV)", {{"Constant of Motion", 0xFF8000}}},
    };
    for (const Case& c : cases) {
        KelvComPtr<ChartDocument> document = ChartDocument::Create();
        c.build(document.get());
        KelvComPtr<ISDChart2d> chart = Chart(document.get());
        BSTR text = nullptr;
        chart->get_Title(&text);
        EXPECT_EQ(c.title, Text(text));
        chart->get_XAxisTitle(&text);
        EXPECT_EQ(c.xAxis, Text(text));
        chart->get_YAxisTitle(&text);
        EXPECT_EQ(c.yAxis, Text(text));
        VARIANT_BOOL legend = VARIANT_FALSE;
        VARIANT_BOOL scale = VARIANT_FALSE;
        chart->get_ShowLegend(&legend);
        chart->get_AutoScale(&scale);
        EXPECT_EQ(c.graphs.size() > 1 ? VARIANT_TRUE : VARIANT_FALSE, legend) << c.title;
        EXPECT_EQ(VARIANT_TRUE, scale);
        for (std::size_t i = 0; i < c.graphs.size(); ++i) {
            KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(chart.get(), static_cast<LONG>(i + 1));
            graph->get_Name(&text);
            EXPECT_EQ(c.graphs[i].first, Text(text));
            LONG colour = 0;
            graph->get_Colour(&colour);
            EXPECT_EQ(c.graphs[i].second, colour);
            VARIANT_BOOL onTop = VARIANT_FALSE;
            graph->get_DrawOnTop(&onTop);
            EXPECT_EQ(c.graphs[i].first.find("Tolerance") != std::string::npos ? VARIANT_TRUE : VARIANT_FALSE, onTop);
        }
        KelvComPtr<ISDChart2dGraphs> graphs;
        chart->get_Graphs(graphs.Receive());
        LONG count = 0;
        graphs->get_Count(&count);
        EXPECT_EQ(static_cast<LONG>(c.graphs.size()), count);
    }
}

TEST(HistoryCharts, LogWithFloor)
{
    EXPECT_EQ(-6.0, LogWithFloor(0.0));
    EXPECT_DOUBLE_EQ(-3.0, LogWithFloor(1e-3));
    EXPECT_DOUBLE_EQ(-2.0, LogWithFloor(-1e-2));
    EXPECT_DOUBLE_EQ(-6.0, LogWithFloor(1e-6));
    EXPECT_TRUE(std::isnan(LogWithFloor(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(3u, LogWithFloor(std::vector<double>{1, 2, 3}).size());
}

TEST(HistoryCharts, ConvergenceOffsetsAndToleranceLines)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    CreateOptimizationConvergenceChart(document.get());
    for (int pass = 0; pass < 2; ++pass) {
        UpdateOptimizationConvergenceChart(document.get(), {1e-3, 1e-2, 0.0, 1.0}, 1, {1.0, 0.1, 0.01, 0.001}, 0,
                                           true, 0.0, 1e-3);
        const std::vector<Point> changes = Points(document.get(), 1);
        ASSERT_EQ(4u, changes.size());
        EXPECT_EQ((Point{2, -3, 2}), changes[0]);
        EXPECT_EQ((Point{4, -6, 4}), changes[2]);
        EXPECT_EQ(5.0, changes[3].x);
        const std::vector<Point> gradients = Points(document.get(), 2);
        ASSERT_EQ(4u, gradients.size());
        EXPECT_EQ(1.0, gradients[0].x);
        EXPECT_EQ(4.0, gradients[3].x);
        EXPECT_EQ((std::vector<Point>{{1, -6, 0}, {4, -6, 0}}), Points(document.get(), 3));
        EXPECT_EQ((std::vector<Point>{{1, -3, 0}, {4, -3, 0}}), Points(document.get(), 4));
    }
    LONG style = 0;
    CChartUtility::GetGraph(Chart(document.get()).get(), 3)->get_LineStyle(&style);
    EXPECT_EQ(SDLineDot, style);

    // No energy changes: nothing changes.
    UpdateOptimizationConvergenceChart(document.get(), {}, 1, {5.0}, 0, true, 1.0, 1.0);
    EXPECT_EQ(4u, Points(document.get(), 2).size());
}

TEST(HistoryCharts, UpdatersReplaceAndGuardLengths)
{
    KelvComPtr<ChartDocument> energy = ChartDocument::Create();
    CreateGeomOptEnergyChart(energy.get());
    UpdateGeomOptEnergyChart(energy.get(), {-1.0, -2.0, -3.0}, 0);
    UpdateGeomOptEnergyChart(energy.get(), {-1.0, -2.0}, 0);
    UpdateGeomOptEnergyChart(energy.get(), {}, 0);
    EXPECT_EQ((std::vector<Point>{{1, -1, 1}, {2, -2, 2}}), Points(energy.get(), 1));

    KelvComPtr<ChartDocument> dynamics = ChartDocument::Create();
    CreateDynamicsEnergyChart(dynamics.get());
    UpdateDynamicsHistoryCharts(dynamics.get(), {0.1, 0.2}, {1, 2}, 0, {3, 4}, 0, {5, 6}, 0);
    EXPECT_EQ((std::vector<Point>{{0.1, 3, 1}, {0.2, 4, 2}}), Points(dynamics.get(), 2));
    // A kinetic series one value short changes none of the three graphs.
    UpdateDynamicsHistoryCharts(dynamics.get(), {0.1, 0.2, 0.3}, {1, 2, 3}, 0, {3, 4}, 0, {5, 6, 7}, 0);
    EXPECT_EQ(2u, Points(dynamics.get(), 1).size());
    EXPECT_EQ(2u, Points(dynamics.get(), 3).size());

    KelvComPtr<ChartDocument> temperature = ChartDocument::Create();
    CreateDynamicsTemperatureChart(temperature.get());
    UpdateDynamicsChart(temperature.get(), {0.1, 0.2}, {300, 310}, 0);
    UpdateDynamicsChart(temperature.get(), {0.1, 0.2}, {300}, 0);
    EXPECT_EQ((std::vector<Point>{{0.1, 300, 1}, {0.2, 310, 2}}), Points(temperature.get(), 1));

    // Mismatched lengths draw nothing.
    KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(Chart(temperature.get()).get(), 1);
    AddGraphData(graph.get(), {1, 2, 3}, {1}, 0);
    EXPECT_EQ(2u, Points(temperature.get(), 1).size());
    AddGraphData(graph.get(), {1}, {7}, 5);
    EXPECT_EQ((Point{1, 7, 6}), Points(temperature.get(), 1).back());
}

TEST(HistoryCharts, ALongerYSeriesPlotsOnePointPerXValue)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    CreateDynamicsTemperatureChart(document.get());
    const KelvComPtr<ISDChart2d> chart = Chart(document.get());
    ReplaceGraphPoints(chart.get(), 1, {0.1, 0.2}, {300, 310, 320}, 0);
    EXPECT_EQ((std::vector<Point>{{0.1, 300, 1}, {0.2, 310, 2}}), Points(document.get(), 1));
    // A shorter y series is the fault: the graph stays as it was.
    ReplaceGraphPoints(chart.get(), 1, {0.1, 0.2, 0.3}, {1, 2}, 0);
    EXPECT_EQ(2u, Points(document.get(), 1).size());
    KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(chart.get(), 1);
    AddGraphData(graph.get(), {0.5}, {7, 8}, 4);
    EXPECT_EQ((Point{0.5, 7, 5}), Points(document.get(), 1).back());
}

TEST(HistoryCharts, DensityOfStatesChart)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    COutputFileReader::PlotDos(document.get(), u"Phonon DOS", u"Frequency (cm-1)");
    KelvComPtr<ISDChart2d> chart = Chart(document.get());
    BSTR text = nullptr;
    chart->get_YAxisTitle(&text);
    EXPECT_EQ("DOS (arb. units)", Text(text));
    chart->get_XAxisTitle(&text);
    EXPECT_EQ("Frequency (cm-1)", Text(text));
    KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(chart.get(), 1);
    graph->get_Name(&text);
    EXPECT_EQ("DOS", Text(text));
    LONG style = 0;
    graph->get_LineStyle(&style);
    EXPECT_EQ(SDLineDash, style);

    COutputFileReader::FillDosChart(document.get(), {}, {});
    EXPECT_TRUE(Points(document.get(), 1).empty());
    COutputFileReader::FillDosChart(document.get(), {10.0, 20.0}, {0.5, 0.25});
    EXPECT_EQ((std::vector<Point>{{10, 0.5, 1}, {20, 0.25, 2}}), Points(document.get(), 1));

    EXPECT_THROW(CChartUtility::GetChart(nullptr, 1), KelvResult);
    EXPECT_THROW(CChartUtility::GetGraph(chart.get(), 9), KelvResult);
}

TEST(HistoryCharts, UnknownValuesAreNoPointsAndTheTitleCountsThem)
{
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    const auto title = [](ChartDocument* document) {
        BSTR text = nullptr;
        Chart(document)->get_Title(&text);
        return Text(text);
    };
    KelvComPtr<ChartDocument> energy = ChartDocument::Create();
    CreateGeomOptEnergyChart(energy.get());
    UpdateGeomOptEnergyChart(energy.get(), {-1.0, unknown, unknown, -4.0}, 0);
    // The unknown steps keep their places: the last point is step 4.
    EXPECT_EQ((std::vector<Point>{{1, -1, 1}, {4, -4, 4}}), Points(energy.get(), 1));
    EXPECT_EQ("ZELM Geometry Optimization (2 energy values could not be read)", title(energy.get()));
    // A later history that reads whole takes the note off again.
    UpdateGeomOptEnergyChart(energy.get(), {-1.0, -2.0}, 0);
    EXPECT_EQ("ZELM Geometry Optimization", title(energy.get()));

    KelvComPtr<ChartDocument> convergence = ChartDocument::Create();
    CreateOptimizationConvergenceChart(convergence.get());
    UpdateOptimizationConvergenceChart(convergence.get(), {1e-3, unknown}, 1, {1.0, unknown, 0.1}, 0, true, 1e-5,
                                       1e-3);
    EXPECT_EQ((std::vector<Point>{{2, -3, 2}}), Points(convergence.get(), 1));
    EXPECT_EQ((std::vector<Point>{{1, 0, 1}, {3, -1, 3}}), Points(convergence.get(), 2));
    EXPECT_EQ("ZELM Optimization Convergence (1 gradient norm could not be read)", title(convergence.get()));

    // A title the user gave the chart stays.
    Chart(energy.get())->put_Title(KelvBSTR("My run").Get());
    UpdateGeomOptEnergyChart(energy.get(), {unknown}, 0);
    EXPECT_EQ("My run", title(energy.get()));
}
