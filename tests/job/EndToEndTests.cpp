// The road of a job with the engine stand-in: the logic object submits the
// rock salt, the job manager runs zelm-stub and the module's job object
// follows it to completion.

#include "JobHost.h"
#include "../logic/LogicHost.h"

#include "host/model/QsdFile.h"
#include "qorqm/TrjFile.h"
#include "readers/GeomOptReaders.h"

#include <fstream>
#include <regex>

using namespace LogicTest;
namespace fs = std::filesystem;

namespace {

class WholeJob : public LogicHost {
protected:
    // Submits the rock salt for `task` and runs the stand-in with `options`.
    QzHost::DeliveryReport RunJob(long task, const std::string& options = "")
    {
        Set("ZelmLogic", "Task", static_cast<int32_t>(task));
        host->Jobs().SetServerCommand("ZELM", std::string(QZ_BIN_DIR) + "/zelm-stub %SEED% " + options);
        const Outcome submitted = Call([&] { return Zelm()->Run(Contents(document).get()); });
        EXPECT_EQ(submitted.hr, S_OK) << submitted.message;
        if (Jobs().empty())
            throw std::runtime_error("no job");
        return host->Jobs().Run(*Jobs().back());
    }
    std::string Results() const { return Jobs().back()->ResultsFolder() + "/"; }
    static std::vector<std::string> Events(const QzHost::DeliveryReport& report)
    {
        std::vector<std::string> names;
        for (const std::string& event : report.events)
            names.push_back(event.substr(0, event.find(' ') == std::string::npos ? event.find(':') : event.find(' ')));
        return names;
    }
    static std::string Failures(const QzHost::DeliveryReport& report)
    {
        return report.failures.empty() ? std::string() : report.failures.front();
    }

    JobTest::JobClasses jobClasses;
};

TEST_F(WholeJob, GeomOptOfTheRockSaltFollowedToItsFinalStructure)
{
    const QzHost::DeliveryReport report = RunJob(2, "--steps 4");
    ASSERT_TRUE(report.Succeeded()) << Failures(report);
    std::vector<std::string> expected{"OnAttach:", "OnJobStart:"};
    for (int step = 0; step < 4 * 3; ++step)
        expected.push_back("OnIntermediateFileResult");
    expected.insert(expected.end(), {"OnJobComplete:", "OnDetach:"});
    EXPECT_EQ(expected, Events(report));

    // The live documents, made while the engine ran.
    for (const char* live : {"Status.txt", "rocksalt Energies.qcd", "rocksalt Convergence.qcd"})
        EXPECT_TRUE(fs::exists(Results() + live)) << live;
    EXPECT_NE(std::string::npos, QzTest::ReadFile(Results() + "Status.txt").find("Step: 4 of 4"));

    // The structure document holds the last frame of the archive (its cell
    // written to six decimals): the cell shrank with the rock salt's
    // fractional positions kept.
    const auto final = HostModel::LoadQsd(Results() + "rocksalt.qsd");
    EXPECT_NEAR(5.628920, final->Lattice3()->Parameters().a, 1e-9);
    EXPECT_EQ(8u, final->Atoms().size());
    const HostModel::Atom& chlorine = final->Atoms()[4];
    EXPECT_EQ("Cl", chlorine.element);
    EXPECT_NEAR(0.5, final->Fractional(chlorine.handle)[0], 1e-6);

    // The trajectory: one frame per optimisation step, behind a document.
    EXPECT_TRUE(fs::exists(Results() + "rocksalt.qtd"));
    const TrjContents trajectory = TrjFile::Read(Results() + "rocksalt.trj");
    EXPECT_EQ(4u, trajectory.frames.size());
    EXPECT_EQ(8, trajectory.atomCount);

    // The main output, in the engine's layout with its notes between the
    // cycles, gives one history point per cycle.
    const CGeomOptOutputFileReader output(Results() + "rocksalt.gout");
    EXPECT_EQ(3, output.GetDimensionality());
    EXPECT_EQ(4u, output.GetSeries1().size());
    EXPECT_EQ(4u, output.GetSeries3().size());
}

TEST_F(WholeJob, AnEngineErrorFailsTheJobWithItsReason)
{
    const QzHost::DeliveryReport report = RunJob(2, "--steps 3 --engine-error 'input file is empty'");
    EXPECT_FALSE(report.Succeeded());
    EXPECT_EQ("OnJobComplete: The ZELM run failed: input file is empty", Failures(report));
    // The files came home; nothing was imported from them: the structure
    // keeps its cell and no trajectory was written.
    EXPECT_TRUE(fs::exists(Results() + "rocksalt.gout"));
    EXPECT_TRUE(fs::exists(Results() + "rocksalt.arc"));
    EXPECT_NEAR(5.6402, HostModel::LoadQsd(Results() + "rocksalt.qsd")->Lattice3()->Parameters().a, 1e-6);
    for (const char* imported : {"rocksalt.qtd", "rocksalt.trj"})
        EXPECT_FALSE(fs::exists(Results() + imported)) << imported;
}

TEST_F(WholeJob, RunsThatStopWithoutAnErrorLineOrWereKilledFailTheJobAndImportNothing)
{
    const struct {
        const char* options;
        const char* failure;
    } runs[] = {
        {"--steps 3 --terminate 'Too many reciprocal lattice vectors needed'",
         "OnJobComplete: The ZELM run failed: Too many reciprocal lattice vectors needed"},
        {"--steps 3 --cut-off 2", "OnJobComplete: The ZELM run did not finish: its output ends without the engine's "
                                  "closing lines (the run was stopped or is still being written)."},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.options);
        const QzHost::DeliveryReport report = RunJob(2, run.options);
        EXPECT_FALSE(report.Succeeded());
        EXPECT_EQ(run.failure, Failures(report));
        EXPECT_NEAR(5.6402, HostModel::LoadQsd(Results() + "rocksalt.qsd")->Lattice3()->Parameters().a, 1e-6);
        for (const char* imported : {"rocksalt.qtd", "rocksalt.trj"})
            EXPECT_FALSE(fs::exists(Results() + imported)) << imported;
    }
}

TEST_F(WholeJob, TheStatusOfAFailedRunSaysWhy)
{
    const QzHost::DeliveryReport report = RunJob(2, "--steps 3 --engine-error 'input file is empty'");
    EXPECT_FALSE(report.Succeeded());
    // The live status text said "running" at the last step it saw.
    const std::string status = QzTest::ReadFile(Results() + "Status.txt");
    EXPECT_EQ(0u, status.find("The ZELM run failed: input file is empty\n")) << status;
    EXPECT_NE(std::string::npos, status.find("Status: running")) << status;
}

TEST_F(WholeJob, DynamicsDrawsItsChartsAndWritesTheTrajectoryOfTheRun)
{
    const QzHost::DeliveryReport report = RunJob(3, "--steps 3");
    ASSERT_TRUE(report.Succeeded()) << Failures(report);
    for (const char* live : {"rocksalt Energy.qcd", "rocksalt Temperature.qcd", "rocksalt Constant.qcd"})
        EXPECT_TRUE(fs::exists(Results() + live)) << live;
    // The deck gives the rock salt's two atoms and its space group: the
    // output's table holds those two, the trajectory the whole cell.
    const TrjContents trajectory = TrjFile::Read(Results() + "rocksalt.trj");
    EXPECT_EQ(3u, trajectory.frames.size());
    EXPECT_EQ(8, trajectory.atomCount);
    EXPECT_NE(std::string::npos,
              QzTest::ReadFile(Results() + "rocksalt.gout").find("Number of irreducible atoms/shells =       2\n"));
}

} // namespace
