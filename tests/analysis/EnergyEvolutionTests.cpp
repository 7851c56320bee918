// The energy-evolution charts made from hand-written engine outputs.
#include "AnalysisHost.h"

#include "host/charts/ChartFile.h"
#include "host/model/OperationLog.h"

namespace {

using namespace AnalysisTest;
using HostCharts::ChartList;

// Charts alike in every text, flag and style, and in every point to within
// rounding.
void ExpectSameChart(const HostCharts::ChartData& actual, const HostCharts::ChartData& expected)
{
    EXPECT_EQ(actual.title, expected.title);
    EXPECT_EQ(actual.xAxisTitle, expected.xAxisTitle);
    EXPECT_EQ(actual.yAxisTitle, expected.yAxisTitle);
    EXPECT_EQ(actual.showLegend, expected.showLegend);
    ASSERT_EQ(actual.graphs.size(), expected.graphs.size()) << expected.title;
    for (size_t g = 0; g < expected.graphs.size(); ++g) {
        const HostCharts::GraphData& a = *actual.graphs[g];
        const HostCharts::GraphData& e = *expected.graphs[g];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(a.name, e.name);
        EXPECT_EQ(a.showMarkers, e.showMarkers);
        EXPECT_EQ(a.colour, e.colour);
        EXPECT_EQ(a.drawOnTop, e.drawOnTop);
        EXPECT_EQ(a.lineStyle, e.lineStyle);
        ASSERT_EQ(a.points.size(), e.points.size());
        for (size_t p = 0; p < e.points.size(); ++p) {
            EXPECT_NEAR(a.points[p].x, e.points[p].x, 1e-9);
            EXPECT_NEAR(a.points[p].y, e.points[p].y, 1e-9);
            EXPECT_EQ(a.points[p].itemIndex, e.points[p].itemIndex);
        }
    }
}

class EnergyEvolution : public Fixture {
protected:
    // The chart document's charts as the host wrote them to its file.
    ChartList ChartsOf(const std::string& name)
    {
        EXPECT_EQ(Host().Documents().Synchronize(), S_OK);
        HostCharts::DocumentHeader header;
        ChartList charts;
        HostCharts::ReadChartFile(Result(name), header, charts);
        return charts;
    }
    size_t GraphPoints(const std::string& name, size_t graph)
    {
        const ChartList charts = ChartsOf(name);
        return charts.empty() || charts[0]->graphs.size() <= graph ? 0 : charts[0]->graphs[graph]->points.size();
    }
    // A run whose trajectory document is there already, with its frames.
    void Run(const std::string& fixture)
    {
        Copy(fixture, "run.gout");
        Put("run.qtd");
        Put("run.trj");
        Look("run.gout");
    }
    HRESULT Plot() { return analysis->PlotEnergyEvolution(); }
};

TEST_F(EnergyEvolution, OptimisationGivesEnergyAndConvergenceCharts)
{
    Run("geomopt.gout");
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanViewEnergyEvolution));
    ASSERT_EQ(Plot(), S_OK) << QzTest::LastErrorText();

    HostCharts::DocumentHeader header;
    ChartList golden;
    HostCharts::ReadChartFile(Data("geomopt-charts.qcd"), header, golden);
    ASSERT_EQ(golden.size(), 2u);
    const ChartList energies = ChartsOf("run Energies.qcd");
    const ChartList convergence = ChartsOf("run Convergence.qcd");
    ASSERT_EQ(energies.size(), 1u);
    ASSERT_EQ(convergence.size(), 1u);
    ExpectSameChart(*energies[0], *golden[0]);
    ExpectSameChart(*convergence[0], *golden[1]);

    // Both charts follow the run's trajectory document.
    const auto& associations = Host().Documents().Associations();
    ASSERT_EQ(associations.size(), 2u);
    for (const auto& association : associations) {
        EXPECT_EQ(association.handlerProgId, "QorQMUtilities.ChartTrajectoryEventHandler");
        EXPECT_EQ(association.associatedPath, Result("run.qtd"));
    }

    // A second plot redraws the same graphs and adds none.
    ASSERT_EQ(Plot(), S_OK) << QzTest::LastErrorText();
    EXPECT_TRUE(HostCharts::SameCharts(ChartsOf("run Energies.qcd"), energies));
    EXPECT_TRUE(HostCharts::SameCharts(ChartsOf("run Convergence.qcd"), convergence));
}

TEST_F(EnergyEvolution, DynamicsGivesFourDocuments)
{
    const struct {
        const char* fixture;
        double firstConstant; // the constant of motion's first value
        size_t pressurePoints;
    } rows[] = {
        {"dynamics.gout", -31.64, 3},
        // Without conserved quantities the total energy stands in; without
        // pressures the pressure document is made with no chart set up.
        {"dynamics-no-conserved.gout", -31.62, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fixture);
        Run(row.fixture);
        ASSERT_EQ(Plot(), S_OK) << QzTest::LastErrorText();
        const ChartList constant = ChartsOf("run Constant.qcd");
        ASSERT_EQ(constant.size(), 1u);
        ASSERT_EQ(constant[0]->graphs.size(), 1u);
        EXPECT_EQ(constant[0]->yAxisTitle, "Constant of Motion (eV)");
        ASSERT_EQ(constant[0]->graphs[0]->points.size(), 3u);
        EXPECT_DOUBLE_EQ(constant[0]->graphs[0]->points[0].x, 0.002);
        EXPECT_DOUBLE_EQ(constant[0]->graphs[0]->points[0].y, row.firstConstant);
        EXPECT_EQ(GraphPoints("run Energy.qcd", 2), 3u);
        EXPECT_EQ(GraphPoints("run Temperature.qcd", 0), 3u);
        EXPECT_EQ(GraphPoints("run Pressure.qcd", 0), row.pressurePoints);
        if (row.pressurePoints == 0) {
            const ChartList pressure = ChartsOf("run Pressure.qcd");
            ASSERT_EQ(pressure.size(), 1u);
            EXPECT_TRUE(pressure[0]->graphs.empty());
            EXPECT_TRUE(pressure[0]->title.empty());
        }
        for (const char* name : {"run Constant.qcd", "run Energy.qcd", "run Temperature.qcd", "run Pressure.qcd"})
            std::filesystem::remove(Result(name));
        Host().Documents().Clear();
    }
}

TEST_F(EnergyEvolution, DynamicsSeriesOfUnequalLengthAreReported)
{
    Run("dynamics-short.gout");
    EXPECT_EQ(Plot(), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "Results document corrupted: possibly during early run termination.");
}

TEST_F(EnergyEvolution, AnEnergyRunHasNoChartsAndTheCommandSaysWhy)
{
    Run("energy.gout");
    EXPECT_FALSE(Can(&IZelmAnalysis::get_CanViewEnergyEvolution));
    EXPECT_EQ(Plot(), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(),
              "The run \"run.gout\" is no optimisation or dynamics run: it has no energy evolution.");
    EXPECT_FALSE(Exists("run Energies.qcd"));
}

TEST_F(EnergyEvolution, WithoutTrajectoryOrStructureNothingIsLeftBehind)
{
    Copy("geomopt.gout", "run.gout");
    Look("run.gout");
    // The answer says no with the command's reason.
    VARIANT_BOOL answer = VARIANT_TRUE;
    EXPECT_EQ(analysis->get_CanViewEnergyEvolution(&answer), ZELM_E_NO_STRUCTURE_DOCUMENT);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_EQ(QzTest::LastErrorText(), "Atomistic 3D document not found");
    EXPECT_EQ(Plot(), ZELM_E_NO_STRUCTURE_DOCUMENT);
    EXPECT_EQ(QzTest::LastErrorText(), "Atomistic 3D document not found");
    EXPECT_FALSE(Exists("run.qsd"));
    EXPECT_FALSE(Exists("run Energies.qcd"));
    // The next plot fails the same way instead of building from an empty document.
    EXPECT_EQ(Plot(), ZELM_E_NO_STRUCTURE_DOCUMENT);
    EXPECT_EQ(QzTest::LastErrorText(), "Atomistic 3D document not found");
}

TEST_F(EnergyEvolution, ASurfaceRunIsPlottedAsAnOptimisation)
{
    Run("surface-opt.gout");
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanViewEnergyEvolution));
    ASSERT_EQ(Plot(), S_OK) << QzTest::LastErrorText();
    EXPECT_EQ(GraphPoints("run Energies.qcd", 0), 3u);
    const ChartList energies = ChartsOf("run Energies.qcd");
    ASSERT_FALSE(energies.empty());
    ASSERT_FALSE(energies[0]->graphs.empty());
    EXPECT_DOUBLE_EQ(energies[0]->graphs[0]->points.back().y, -412.618);
    EXPECT_EQ(ChartsOf("run Convergence.qcd").size(), 1u);
}

TEST_F(EnergyEvolution, ATrajectoryDocumentWithoutItsFramesIsNotTakenAsBuilt)
{
    // What a failed trajectory build once left behind: the document alone.
    Copy("geomopt.gout", "run.gout");
    Put("run.qtd");
    Look("run.gout");
    EXPECT_EQ(Plot(), ZELM_E_NO_STRUCTURE_DOCUMENT);
    EXPECT_EQ(QzTest::LastErrorText(), "Atomistic 3D document not found");
    EXPECT_FALSE(Exists("run Energies.qcd"));
}

TEST_F(EnergyEvolution, WithATrajectoryDocumentNoStructureIsLookedFor)
{
    Run("geomopt.gout");
    HostModel::OperationLog::Clear();
    ASSERT_EQ(Plot(), S_OK) << QzTest::LastErrorText();
    for (const auto& entry : HostModel::OperationLog::Find("DocumentManager"))
        for (const std::string& argument : entry.arguments)
            EXPECT_EQ(argument.find(".qsd"), std::string::npos) << entry.call;
}

} // namespace
