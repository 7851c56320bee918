// The live updater: which items a file belongs to, and the history charts
// it draws from hand-written intermediate files.

#include "JobHost.h"

#include <algorithm>
#include <cmath>
#include <regex>

using namespace JobTest;

namespace {

const char* const GeomOpt = "Tolerances energy:0.00001 gradient:0.00100\n"
                            "-31.861437 0.412800 -0.100000\n"
                            "-31.902113 0.081240 -0.040676\n"
                            "-31.907650 0.012530 -0.005537\n"
                            "-31.907912 0.000912 -0.000262\n";

std::string Mdynam(bool pressure)
{
    std::string text;
    for (int frame = 1; frame <= 3; ++frame) {
        text += "Frame number: " + std::to_string(frame) + "\n";
        text += "t : 0.00" + std::to_string(2 * frame) + "\n";
        text += "T : " + std::to_string(300 + frame) + ".0\n";
        if (pressure)
            text += "P : 0.1" + std::to_string(frame) + "\n";
        text += "Ek : 0.3" + std::to_string(frame) + "\n";
        text += "Ep : -31.9" + std::to_string(frame) + "\n";
        text += "Et : -31.6" + std::to_string(frame) + "\n";
        text += "H : -31.64" + std::to_string(frame) + "\n";
    }
    return text + "Frame number: 4\n";
}

class LiveUpdates : public JobHost {
protected:
    // A started job whose handler serves `policy`.
    CZelmLiveUpdater& Updater(int policy)
    {
        MakeJob("GeomOpt", {});
        EXPECT_EQ(S_OK, Events()->OnAttach(job.get()));
        handlerCopy = Job().JobHandler();
        handlerCopy.SetLiveUpdatesPolicy(static_cast<CJobHandlerUtility::LiveUpdatesType>(policy));
        return Job().GetLiveUpdater();
    }
    std::shared_ptr<HostCharts::ChartData> Chart(const std::string& title)
    {
        KelvComPtr<ISBDocumentRoot> document;
        EXPECT_EQ(S_OK, host->Documents().FindDocument(KelvBSTR(Results() + title + ".qcd").Get(), document.Receive()));
        HostCharts::ChartDocument* chart = HostCharts::ChartDocument::From(document.get());
        if (!chart || chart->Charts().empty()) {
            ADD_FAILURE() << "no chart " << title;
            return std::make_shared<HostCharts::ChartData>();
        }
        return chart->Charts()[0];
    }
    static std::vector<double> Xs(const HostCharts::GraphData& graph)
    {
        std::vector<double> xs;
        for (const auto& point : graph.points)
            xs.push_back(point.x);
        return xs;
    }
    static std::vector<double> Ys(const HostCharts::GraphData& graph)
    {
        std::vector<double> ys;
        for (const auto& point : graph.points)
            ys.push_back(point.y);
        return ys;
    }

    CJobHandlerUtility handlerCopy;
};

TEST_F(LiveUpdates, ItemsOfAFileByItsExtensionAndContents)
{
    CZelmLiveUpdater& updater = Updater(7);
    const std::string withP = folder.Write("f/p.mdynam", Mdynam(true));
    const std::string withoutP = folder.Write("f/n.mdynam", Mdynam(false));
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows{
        {"run/rocksalt-step2.summary", {"Summary"}},
        {"x.arc", {"Model"}},
        {"RUN.ARC", {"Model"}},
        {"a/b.geomopt", {"GeomOptEnergy", "GeomOptConv"}},
        {withoutP, {"DynamicsEnergy", "DynamicsTemp", "DynamicsCOM"}},
        {withP, {"DynamicsEnergy", "DynamicsTemp", "DynamicsPress", "DynamicsCOM"}},
        {"rocksalt.gout", {}},
        {"rocksalt.trg", {}},
        {"rocksalt.arc.bak", {}},
    };
    for (const auto& [file, expected] : rows) {
        updater.SetName(KelvBSTR(file));
        std::vector<std::string> matched;
        for (int i = 0; i < updater.GetItemCount(); ++i)
            if (updater.MatchesItem(updater.GetItem(i)->name))
                matched.push_back(updater.GetItem(i)->name);
        EXPECT_EQ(expected, matched) << file;
        EXPECT_FALSE(updater.MatchesItem("Unknown"));
    }
    EXPECT_EQ(8, updater.GetItemCount());
    EXPECT_EQ(nullptr, updater.GetItem(8));
    EXPECT_STREQ("%JOB_PREFIX% Constant", updater.GetItem(7)->title);
}

TEST_F(LiveUpdates, OptimisationChartsFromTheWholeHistory)
{
    CZelmLiveUpdater& updater = Updater(5);
    const std::string file = folder.Write("f/rocksalt-step4.geomopt", GeomOpt);
    updater.UpdateFromFileResult(KelvBSTR(file));
    EXPECT_FALSE(fs::exists(Results() + "rocksalt Energies.qcd")) << "text and model only";

    handlerCopy.SetLiveUpdatesPolicy(CJobHandlerUtility::LiveUpdatesGraphs);
    updater.UpdateFromFileResult(KelvBSTR(file));
    const auto energy = Chart("rocksalt Energies");
    ASSERT_EQ(1u, energy->graphs.size());
    EXPECT_EQ((std::vector<double>{1, 2, 3, 4}), Xs(*energy->graphs[0]));
    EXPECT_DOUBLE_EQ(-31.907912, energy->graphs[0]->points.back().y);

    const auto convergence = Chart("rocksalt Convergence");
    ASSERT_EQ(4u, convergence->graphs.size());
    EXPECT_EQ((std::vector<double>{2, 3, 4, 5}), Xs(*convergence->graphs[0])) << "energy changes start at 2";
    EXPECT_EQ((std::vector<double>{1, 2, 3, 4}), Xs(*convergence->graphs[1]));
    // The tolerance lines at the file's two header values.
    ASSERT_FALSE(convergence->graphs[2]->points.empty());
    ASSERT_FALSE(convergence->graphs[3]->points.empty());
    EXPECT_NEAR(-5.0, convergence->graphs[2]->points[0].y, 1e-9);
    EXPECT_NEAR(-3.0, convergence->graphs[3]->points[0].y, 1e-9);

    // The chart file as saved after the update, identity aside.
    const std::regex identity("\"id\": \"[^\"]*\"");
    EXPECT_EQ(std::regex_replace(QzTest::ReadFile(Data("job/live-geomopt-energies.qcd")), identity, "\"id\": \"\""),
              std::regex_replace(QzTest::ReadFile(Results() + "rocksalt Energies.qcd"), identity, "\"id\": \"\""));
}

TEST_F(LiveUpdates, DynamicsChartsAndThePressureChartOnlyWithPressure)
{
    CZelmLiveUpdater& updater = Updater(CJobHandlerUtility::LiveUpdatesGraphs);
    updater.UpdateFromFileResult(KelvBSTR(folder.Write("f/rocksalt-step3.mdynam", Mdynam(false))));
    EXPECT_FALSE(fs::exists(Results() + "rocksalt Pressure.qcd"));
    const auto energies = Chart("rocksalt Energy");
    ASSERT_EQ(3u, energies->graphs.size());
    EXPECT_EQ((std::vector<double>{0.002, 0.004, 0.006}), Xs(*energies->graphs[0]));
    EXPECT_EQ((std::vector<double>{-31.61, -31.62, -31.63}), Ys(*energies->graphs[0]));
    EXPECT_EQ((std::vector<double>{0.31, 0.32, 0.33}), Ys(*energies->graphs[1]));
    EXPECT_EQ((std::vector<double>{-31.91, -31.92, -31.93}), Ys(*energies->graphs[2]));
    EXPECT_EQ((std::vector<double>{301, 302, 303}), Ys(*Chart("rocksalt Temperature")->graphs.at(0)));
    EXPECT_EQ((std::vector<double>{-31.641, -31.642, -31.643}), Ys(*Chart("rocksalt Constant")->graphs.at(0)));

    updater.UpdateFromFileResult(KelvBSTR(folder.Write("f/rocksalt-step4.mdynam", Mdynam(true))));
    EXPECT_EQ((std::vector<double>{0.11, 0.12, 0.13}), Ys(*Chart("rocksalt Pressure")->graphs.at(0)));
}

} // namespace
