// The optical-properties command on the in-memory host with a hand-written
// run: chart layout for every optical function, the order of its errors and
// the units.
#include "analysis/AnalysisHost.h"

#include "host/charts/ChartDocument.h"

#include "qorqm/QMPhysicalConstants.h"

#include <cmath>
#include <complex>

namespace {

using AnalysisTest::Fixture;
using HostCharts::ChartData;
using HostCharts::ChartDocument;
using HostCharts::ChartList;

std::string PhononFixture(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/phonons/" + name;
}

class OpticalPlot : public Fixture {
protected:
    void SetUp() override
    {
        Fixture::SetUp();
        for (const char* extension : {".gout", ".osc"})
            Put(std::string("nacl") + extension, QzTest::ReadFile(PhononFixture(std::string("nacl") + extension)));
        Look("nacl.gout");
        const KelvComPtr<ISBLogic> logic = Host().Logic(QzHost::ModuleExtensionName, "ZelmAnalysis");
        ASSERT_EQ(S_OK, logic->get_State(state.Receive()));
        Set("InitialFrequency", 0.0);
        Set("FinalFrequency", 250.0);
    }
    template <class T>
    void Set(const std::string& key, T value)
    {
        ASSERT_EQ(S_OK, state->SetPropertyValue(KelvBSTR(key).Get(), KelvVariant(value).Get())) << key;
    }
    // Plots and gives the charts of the new document.
    ChartList Plot()
    {
        EXPECT_EQ(S_OK, analysis->PlotOpticalProperties()) << QzTest::LastErrorText();
        ++plots;
        return Charts();
    }
    // The charts of the last document made (a later one of the same name
    // is numbered).
    ChartList Charts()
    {
        std::string name = "nacl Optical Properties";
        if (plots > 1)
            name += "_" + std::to_string(plots);
        KelvComPtr<ISBDocumentRoot> document;
        Host().Documents().FindDocument(KelvBSTR(Result(name)).Get(), document.Receive());
        ChartDocument* charts = ChartDocument::From(document.get());
        return charts ? charts->Charts() : ChartList{};
    }
    std::string Failure()
    {
        EXPECT_EQ(E_UNEXPECTED, analysis->PlotOpticalProperties());
        return QzTest::LastErrorText();
    }

    KelvComPtr<ISBState> state;
    int plots = 0;
};

struct Layout {
    LONG function;
    const char* title; // start of the title
    const char* yAxis;
    std::vector<std::string> graphs;
};

TEST_F(OpticalPlot, LaysOutEachFunctionWithItsGraphs)
{
    const Layout layouts[] = {
        {1, "Reflectivity for nacl\nIncident direction: (0 0 1 ) Reflected direction: (0 0 1 )", "R", {"R"}},
        {2, "Refractive index for nacl\n", "Refraction", {"N", "K"}},
        {3, "Dielectric constant for nacl\n", "Dielectric constant", {"Re(Eps)", "Im(Eps)"}},
        {5, "Absorption coefficient for nacl\n", "Absorption coefficient (1/cm)", {"Absorption"}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.function);
        Set("OpticalFunction", layout.function);
        const ChartList charts = Plot();
        ASSERT_EQ(1u, charts.size());
        const ChartData& chart = *charts[0];
        EXPECT_EQ(0u, chart.title.find(layout.title)) << chart.title;
        EXPECT_NE(std::string::npos, chart.title.find("\nOscillator damping constant: 10  (1/cm)"));
        EXPECT_EQ("Frequency (1/cm)", chart.xAxisTitle);
        EXPECT_EQ(layout.yAxis, chart.yAxisTitle);
        ASSERT_EQ(layout.graphs.size(), chart.graphs.size());
        for (std::size_t g = 0; g < chart.graphs.size(); ++g) {
            EXPECT_EQ(layout.graphs[g], chart.graphs[g]->name);
            EXPECT_EQ(2, chart.graphs[g]->lineStyle);
            EXPECT_EQ(2001u, chart.graphs[g]->points.size());
        }
    }
}

TEST_F(OpticalPlot, TensorElementsWhateverTheSampleType)
{
    Set("OpticalFunction", LONG(4));
    Set("SampleType", LONG(7));
    const ChartList charts = Plot();
    ASSERT_EQ(2u, charts.size());
    EXPECT_EQ("Diagonal elements of dielectric constant tensor for nacl", charts[0]->title);
    EXPECT_EQ("Off-diagonal elements of dielectric constant tensor for nacl", charts[1]->title);
    const char* names[2][6] = {{"Re(Eps11)", "Re(Eps22)", "Re(Eps33)", "Im(Eps11)", "Im(Eps22)", "Im(Eps33)"},
                               {"Re(Eps12)", "Re(Eps13)", "Re(Eps23)", "Im(Eps12)", "Im(Eps13)", "Im(Eps23)"}};
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ("Dielectric Constant", charts[c]->yAxisTitle);
        ASSERT_EQ(6u, charts[c]->graphs.size());
        for (int g = 0; g < 6; ++g) {
            EXPECT_EQ(names[c][g], charts[c]->graphs[g]->name);
            EXPECT_EQ(g < 3 ? 2 : 5, charts[c]->graphs[g]->lineStyle);
            EXPECT_EQ(2001u, charts[c]->graphs[g]->points.size());
        }
    }
    // xx at 0 cm-1: 2 + 5000 / 100^2.
    EXPECT_DOUBLE_EQ(2.5, charts[0]->graphs[0]->points[0].y);
    EXPECT_EQ(0.0, charts[1]->graphs[0]->points[0].y);
}

TEST_F(OpticalPlot, UnknownSampleOrFunctionLeavesEmptyCharts)
{
    Set("SampleType", LONG(0));
    ChartList charts = Plot();
    ASSERT_EQ(1u, charts.size());
    ASSERT_EQ(1u, charts[0]->graphs.size());
    EXPECT_EQ("R", charts[0]->graphs[0]->name);
    EXPECT_TRUE(charts[0]->graphs[0]->points.empty());
    EXPECT_EQ("Reflectivity for nacl\nOscillator damping constant: 10  (1/cm)", charts[0]->title);

    Set("OpticalFunction", LONG(6));
    charts = Plot();
    ASSERT_EQ(1u, charts.size());
    EXPECT_TRUE(charts[0]->graphs.empty());
    EXPECT_TRUE(charts[0]->title.empty());
}

TEST_F(OpticalPlot, ErrorsInTheirOrderAndNoDocumentBeforeTheChecksPass)
{
    // A zero direction fails for a polycrystal too, before the grid.
    Set("SampleType", LONG(2));
    Set("incoming_z", 0.0);
    Set("FinalFrequency", 0.0);
    EXPECT_EQ("Incident direction is ill defined.", Failure());
    Set("incoming_z", 1.0);
    EXPECT_EQ("Invalid combination of grid resolution, initial and final frequencies for optical plots.", Failure());
    EXPECT_TRUE(Charts().empty());

    Put("nacl.osc", "oscillator strengths and phonon frequencies 1\n1 100.0\n1 1 0\n1 2 0\n1 3 0\n2 1 0\n"
                    "2 2 0\n2 3 0\n3 1 0\n3 2 0\n3 3 -2.0\nhigh frequency dielectric constant tensor\n"
                    "1 0 0\n0 1 0\n0 0 1\n");
    EXPECT_EQ("Optical properties are not available.\nAll oscillator strengths in the nacl.osc file are zero. \n"
              "Please make sure to use charges when requesting optical properties.",
              Failure());
    EXPECT_TRUE(Charts().empty());

    // The answer reads the run's files as the command does: no, with its reason.
    VARIANT_BOOL can = VARIANT_TRUE;
    EXPECT_EQ(E_UNEXPECTED, analysis->get_CanPlotOpticalProperties(&can));
    EXPECT_EQ(VARIANT_FALSE, can);
    EXPECT_NE(std::string::npos, QzTest::LastErrorText().find("All oscillator strengths in the nacl.osc file are zero"));
    EXPECT_EQ(E_POINTER, analysis->get_CanPlotOpticalProperties(nullptr));
}

TEST_F(OpticalPlot, ElectronvoltsTitleTheAxisAndScaleTheAbsorption)
{
    Set("OpticalFunction", LONG(5));
    Set("SampleType", LONG(2));
    Set("FrequencyUnits", std::string("eV"));
    Set("InitialFrequency", 0.0);
    Set("FinalFrequency", 0.04);
    const ChartList charts = Plot();
    ASSERT_EQ(1u, charts.size());
    EXPECT_EQ("Frequency (eV)", charts[0]->xAxisTitle);
    const auto& points = charts[0]->graphs[0]->points;
    ASSERT_EQ(2001u, points.size());
    // Above the mode (0.0124 eV) the undamped value is negative: there the
    // extinction is the root of its magnitude.
    for (std::size_t i = 0; i < points.size(); i += 400)
        EXPECT_GE(points[i].y, 0.0) << i;
    EXPECT_EQ(0.0, points[0].y);
    // 4 pi kappa / lambda in 1/cm, with 1 / lambda = w, the photon energy x in cm-1.
    const double x = points[1000].x;
    const double w = x * QMPhysicalConstants::EV_TO_CM_1;
    const std::complex<double> eps = 2.0 + 5000.0 / std::complex<double>(10000.0 - w * w, 10.0 * w);
    EXPECT_NEAR(4.0 * M_PI * w * -std::sqrt(eps).imag(), points[1000].y, 1e-9 * points[1000].y);
}

} // namespace
