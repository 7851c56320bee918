// `zelm-host surface` on the bundled slab: the command's code over the
// in-memory host (the module's calculator class registered in this process),
// and the built driver as a user runs it.
#include "SurfaceFixture.h"

#include "SurfaceCommands.h"
#include "host/model/QsdFile.h"
#include "common/ShellOutput.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace SurfaceTest;

namespace {

const std::string bundledSlab = std::string(QZ_TEST_DATA) + "/../../examples/slab.qsd";

class SurfaceCommand : public testing::Test {
protected:
    SurfaceCommand() : m_slab(m_folder.File("slab.qsd"))
    {
        std::filesystem::copy_file(bundledSlab, m_slab);
    }

    // Parses the command line as the driver does and runs the command.
    std::string Run(const std::string& arguments)
    {
        CLI::App app;
        ZelmHost::SurfaceOptions options;
        ZelmHost::AddSurfaceArguments(*app.add_subcommand("surface"), options);
        app.parse("surface " + m_slab + " " + arguments);
        std::ostringstream out;
        ZelmHost::SurfaceCommand(options, out);
        return out.str();
    }

    std::shared_ptr<HostModel::Document> Saved() const { return HostModel::LoadQsd(m_slab); }

    ModuleClasses m_classes{true};
    QzTest::TempFolder m_folder{"surface-driver"};
    std::string m_slab;
};

TEST_F(SurfaceCommand, ReportsBuildsTheSetsSelectsLayersAndSavesTheDocument)
{
    const std::string first = Run("report");
    for (const char* line : {"2D periodic: yes\n", "Surface depth: relative 4.000000, absolute 11.280000\n",
                             "Dipole moment: 0.000000\n", "CanSelectLayer: yes\n", "CanAddToSurfaceAtomSet: no\n",
                             "SurfaceEnergyCalculationCanProceed: no\n", "SurfaceAtoms: no set\n"})
        EXPECT_NE(first.find(line), std::string::npos) << line << "in\n" << first;

    EXPECT_NE(Run("--select 1-2,4 add-surface").find("SurfaceAtoms: 3 atoms: 1 2 4\n"), std::string::npos);
    EXPECT_EQ(Saved()->SetAtoms("SurfaceAtoms").size(), 3u);
    const std::string report = Run("--select 3 report");
    EXPECT_NE(report.find("CanAddToSurfaceAtomSet: yes\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Region 1 charge: -1.000000\n"), std::string::npos) << report;

    EXPECT_NE(Run("select-layer 1 1").find("Selection: 2 atoms: 1 2\n"), std::string::npos);
    EXPECT_NE(Run("select-layer 2 3").find("Selection: 4 atoms: 3 4 5 6\n"), std::string::npos);
    EXPECT_NE(Run("--select 1 --no-select remove-surface").find("SurfaceAtoms: 2 atoms: 2 4\n"), std::string::npos);
    EXPECT_EQ(Selected(*Saved()), (std::set<std::size_t>{1}));
}

TEST_F(SurfaceCommand, RefusesBadArguments)
{
    const std::pair<const char*, const char*> cases[] = {
        {"select-layer 1", "select-layer needs two layer numbers: FROM TO"},
        {"--select 9 report", "atom 9 does not exist: the document has 8 atoms"},
        {"--select 3-1 report", "the range \"3-1\" runs backwards"},
    };
    for (const auto& c : cases) {
        try {
            Run(c.first);
            ADD_FAILURE() << c.first;
        } catch (const std::exception& failure) {
            EXPECT_EQ(std::string(failure.what()), c.second);
        }
    }
}

// The built driver in a project of its own; it needs the engine logic of
// this build, without which the calculator cannot connect.
std::string Shell(const std::string& command, int& status)
{
    return QzTest::ShellOutput(command + " 2>&1", status);
}

TEST(SurfaceDriver, ReportsAndSelectsTheTopLayerOfTheBundledSlab)
{
    QzTest::TempFolder folder("surface-process");
    const std::string driver = std::string(QZ_BIN_DIR) + "/zelm-host --registry " + folder.File("registry.json");
    int status = 0;
    Shell(driver + " register", status);
    ASSERT_EQ(status, 0);
    const std::string engine = Shell(driver + " create QorZelm.ZelmLogic", status);
    if (status != 0 || engine.find(": created") == std::string::npos)
        GTEST_SKIP() << "this build has no engine logic: " << engine;
    Shell(driver + " project " + folder.File("p"), status);
    ASSERT_EQ(status, 0);
    std::filesystem::copy_file(bundledSlab, folder.File("p/slab.qsd"));
    const std::string report = Shell(driver + " surface " + folder.File("p/slab.qsd") + " report", status);
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find("Dipole moment: 0.000000\n"), std::string::npos) << report;
    const std::string layer = Shell(driver + " surface " + folder.File("p/slab.qsd") + " select-layer 1 1", status);
    EXPECT_EQ(status, 0) << layer;
    EXPECT_NE(layer.find("Selection: 2 atoms: 1 2\n"), std::string::npos) << layer;
}

} // namespace
