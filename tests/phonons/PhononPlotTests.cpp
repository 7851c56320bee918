// The phonon commands on the in-memory host with a hand-written run: the
// Can... answers, the density of states in THz and the band structure drawn
// by the host's generator.
#include "analysis/AnalysisHost.h"
#include "analysis/PhononPlots.h"

#include "host/charts/ChartDocument.h"
#include "host/charts/PhononDispersionGenerator.h"
#include "host/model/OperationLog.h"

#include "common/KelvResults.h"

#include <cmath>

namespace {

using AnalysisTest::Fixture;
using HostCharts::ChartDocument;
using HostCharts::ChartList;

std::string PhononFixture(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/phonons/" + name;
}

class PhononPlot : public Fixture {
protected:
    void Stage(std::initializer_list<const char*> extensions)
    {
        for (const char* extension : extensions)
            Put(std::string("nacl") + extension, QzTest::ReadFile(PhononFixture(std::string("nacl") + extension)));
        Look("nacl.gout");
    }
    void SetUnits(const char* text)
    {
        const KelvComPtr<ISBLogic> logic = Host().Logic(QzHost::ModuleExtensionName, "ZelmAnalysis");
        KelvComPtr<ISBState> state;
        ASSERT_EQ(S_OK, logic->get_State(state.Receive()));
        ASSERT_EQ(S_OK, state->SetPropertyValue(KelvBSTR("FrequencyUnits").Get(), KelvVariant(text).Get()));
    }
    ChartList Charts(const std::string& name)
    {
        KelvComPtr<ISBDocumentRoot> document;
        Host().Documents().FindDocument(KelvBSTR(Result(name)).Get(), document.Receive());
        ChartDocument* charts = ChartDocument::From(document.get());
        return charts ? charts->Charts() : ChartList{};
    }
    HostCharts::PhononDispersionGenerator* Generator()
    {
        KelvComPtr<IQoPhononDispersionGenerator> generator;
        EXPECT_EQ(S_OK, analysis->get_PhononDispersionGenerator(generator.Receive()));
        return dynamic_cast<HostCharts::PhononDispersionGenerator*>(generator.get());
    }
};

TEST_F(PhononPlot, DensityOfStatesNeedsAShrinkLine)
{
    Stage({".gout", ".dens"});
    // A job's results come home without their deck: the ".dens" answers.
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanPlotPhononDOS));
    EXPECT_FALSE(Can(&IZelmAnalysis::get_CanPlotPhononDispersion));
    const struct {
        const char* deck;
        bool can;
    } decks[] = {{"opti\nshrink 4 4 4\n", true},
                 {"opti\nshri", true},
                 {"opti\n  shrink 4 4 4\n", false},
                 {"shr\n", false},
                 {"Shrink 4 4 4\n", false}};
    for (const auto& deck : decks) {
        Put("nacl.gin", deck.deck);
        EXPECT_EQ(deck.can, Can(&IZelmAnalysis::get_CanPlotPhononDOS)) << deck.deck;
        // Where the answer is no, the command refuses.
        if (!deck.can) {
            EXPECT_EQ(E_UNEXPECTED, analysis->PlotPhononDOS()) << deck.deck;
        }
    }
    EXPECT_EQ("The run's deck \"" + Result("nacl.gin") +
                  "\" asks for no phonon density of states (it has no \"shrink\" line).",
              QzTest::LastErrorText());
    EXPECT_EQ(E_POINTER, analysis->get_CanPlotPhononDOS(nullptr));
    std::string message;
    EXPECT_EQ(E_UNEXPECTED, QzTest::CodeOf([&] { DeckAsksForDos(Results()); }, message));
    // A folder given as the deck is named as what it is.
    EXPECT_EQ("Unable to open file: " + Results() + ": it is a folder, not a file.", message);
}

TEST_F(PhononPlot, DensityOfStatesInTerahertz)
{
    Stage({".gout", ".dens", ".gin"});
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanPlotPhononDOS));
    SetUnits("THz");
    ASSERT_EQ(S_OK, analysis->PlotPhononDOS()) << QzTest::LastErrorText();
    const ChartList charts = Charts("nacl Phonon DOS");
    ASSERT_EQ(1u, charts.size());
    EXPECT_EQ("nacl phonon DOS", charts[0]->title);
    EXPECT_EQ("Frequency (THz)", charts[0]->xAxisTitle);
    EXPECT_EQ("DOS (arb. units)", charts[0]->yAxisTitle);
    ASSERT_EQ(1u, charts[0]->graphs.size());
    EXPECT_EQ("DOS", charts[0]->graphs[0]->name);
    const auto& points = charts[0]->graphs[0]->points;
    ASSERT_EQ(3u, points.size());
    EXPECT_NEAR(1.0, points[1].x, 1e-6);
    EXPECT_NEAR(2.0, points[2].x, 1e-6);
    EXPECT_EQ(1.0, points[2].y);
}

TEST_F(PhononPlot, DispersionThroughTheHostGenerator)
{
    Stage({".gout", ".disp", ".kptaux"});
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanPlotPhononDispersion));
    for (const auto& unit : {std::pair<const char*, LONG>{"cm-1", 5}, {"THz", 6}}) {
        SetUnits(unit.first);
        ASSERT_EQ(S_OK, analysis->PlotPhononDispersion()) << QzTest::LastErrorText();
        ASSERT_NE(nullptr, Generator());
        EXPECT_EQ(unit.second, Generator()->FrequencyUnits());
        EXPECT_EQ("ZELM", Generator()->ApplicationName());
    }
    const ChartList charts = Charts("nacl Phonon Dispersion");
    ASSERT_EQ(1u, charts.size());
    EXPECT_EQ("Frequency (cm-1)", charts[0]->yAxisTitle);
    ASSERT_EQ(2u, charts[0]->graphs.size());
    // Two segments of three points joined at X: path lengths in 1/Angstrom.
    const auto& band = charts[0]->graphs[1]->points;
    ASSERT_EQ(6u, band.size());
    const double xs[] = {0, 0.05, 0.1, 0.1, 0.15, 0.2};
    const double ys[] = {100, 110, 120, 120, 125, 130};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(xs[i], band[i].x, 1e-12) << i;
        EXPECT_EQ(ys[i], band[i].y) << i;
    }
    ASSERT_EQ(3u, charts[0]->xMarks.size());
    EXPECT_EQ("X", charts[0]->xMarks[1].text);
    EXPECT_NEAR(0.1, charts[0]->xMarks[1].x, 1e-12);
}

TEST_F(PhononPlot, MissingFilesAreReportedBeforeAnyDocument)
{
    Stage({".gout", ".osc"});
    Put("nacl.dens", "0 0\n");
    Look("nacl.gout");
    EXPECT_EQ(E_UNEXPECTED, analysis->PlotPhononDispersion());
    EXPECT_EQ("ZELM .disp file does not exist.", QzTest::LastErrorText());
    EXPECT_TRUE(Charts("nacl Phonon Dispersion").empty());
    std::filesystem::remove(Result("nacl.dens"));
    EXPECT_EQ(E_UNEXPECTED, analysis->PlotPhononDOS());
    EXPECT_EQ("ZELM .dens file does not exist.", QzTest::LastErrorText());
    EXPECT_TRUE(Charts("nacl Phonon DOS").empty());
    EXPECT_EQ(E_POINTER, analysis->get_PhononDispersionGenerator(nullptr));
    EXPECT_EQ("Pointer required in CZelmAnalysis::get_PhononDispersionGenerator()", QzTest::LastErrorText());
}

} // namespace
