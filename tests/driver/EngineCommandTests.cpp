// The driver's engine setting of a project, and `run` following a job of
// the bundled rock salt to completion through the engine stand-in.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "DriverRun.h"

namespace {

class EngineCommand : public QzTest::DriverTest {
protected:
    EngineCommand() : DriverTest("engine-command") {}
    void SetUp() override
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + examples + "rocksalt.cif --project p");
        std::filesystem::copy_file(examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
        Step("state --project p ZelmLogic library rocksalt");
    }
};

TEST_F(EngineCommand, SetShowAndClearTheProjectsEngine)
{
    EXPECT_EQ("engine of \"ZELM\": none\ntime limit: 3600 s\n", Run("engine --project p").out);
    const QzTest::DriverOutcome stub = Run("engine --project p --stub --time-limit 90");
    ASSERT_EQ(0, stub.code) << stub.err;
    EXPECT_EQ("engine of \"ZELM\": " + std::string(QZ_BIN_DIR) + "/zelm-stub %SEED%\ntime limit: 90 s\n", stub.out);
    EXPECT_TRUE(std::filesystem::exists(folder.File("p/host-settings.json")));
    EXPECT_EQ("engine of \"ZELM\": my-engine %SEED% -q\ntime limit: 90 s\n",
              Run("engine --project p 'my-engine %SEED% -q'").out);
    EXPECT_EQ("engine of \"ZELM\": none\ntime limit: none\n", Run("engine --project p --clear --time-limit 0").out);

    const QzTest::DriverOutcome noProject = Run("engine --project nowhere");
    EXPECT_EQ(1, noProject.code);
    EXPECT_NE(std::string::npos, noProject.err.find("not a project folder")) << noProject.err;
}

TEST_F(EngineCommand, RunFollowsAGeometryOptimisationToItsUpdatedStructure)
{
    Step("engine --project p --stub");
    const QzTest::DriverOutcome run = Run("run p/rocksalt.qsd --task GeomOpt");
    ASSERT_EQ(0, run.code) << run.out << run.err;
    EXPECT_NE(std::string::npos, run.out.find("zelm-stub rocksalt\" exited with status 0.")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("  OnIntermediateFileResult rocksalt-step5.arc: S_OK\n"
                                              "  OnJobComplete: S_OK\n  OnDetach: S_OK\n"))
        << run.out;
    for (const char* document : {"  Status.txt\n", "  rocksalt Energies.qcd\n", "  rocksalt.qsd\n", "  rocksalt.qtd\n"})
        EXPECT_NE(std::string::npos, run.out.find(document)) << document;
    const std::string results = run.out.substr(run.out.find("results folder: ") + 16);
    const QzTest::DriverOutcome show =
        Run("show '" + results.substr(0, results.find('\n')) + "/rocksalt.qsd' --project p");
    ASSERT_EQ(0, show.code) << show.err;
    EXPECT_NE(std::string::npos, show.out.find("a=5.628920")) << show.out;
}

TEST_F(EngineCommand, FailedEngineFailsTheRunAfterPrintingIt)
{
    Step("engine --project p 'echo broken deck >&2; exit 4'");
    const QzTest::DriverOutcome run = Run("run p/rocksalt.qsd --task Energy");
    EXPECT_EQ(1, run.code);
    EXPECT_NE(std::string::npos, run.out.find("exited with status 4")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("  OnJobComplete: S_OK")) << run.out;
    EXPECT_NE(std::string::npos, run.err.find("the job failed: Engine: ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("broken deck")) << run.err;
}

// A project received from elsewhere carries its engine command: it runs
// only once the user accepted it on this machine.
TEST_F(EngineCommand, AProjectsOwnEngineCommandRunsOnlyOnceAccepted)
{
    QzTest::WriteFile(folder.File("p/host-settings.json"),
                      "{\"engines\": {\"ZELM\": \"touch '" + folder.File("ran") + "'; exit 3\"}}\n");
    const QzTest::DriverOutcome shown = Run("engine --project p");
    EXPECT_NE(std::string::npos, shown.out.find("not accepted on this machine")) << shown.out;

    const QzTest::DriverOutcome refused = Run("run p/rocksalt.qsd --task Energy");
    EXPECT_EQ(1, refused.code);
    EXPECT_NE(std::string::npos, refused.err.find("engine --project " + folder.File("p") + " --accept"))
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(folder.File("ran")));

    Step("engine --project p --accept");
    EXPECT_EQ(std::string::npos, Run("engine --project p").out.find("not accepted")) << Run("engine --project p").out;
    EXPECT_EQ(1, Run("run p/rocksalt.qsd --task Energy").code); // the engine ran and failed with 3
    EXPECT_TRUE(std::filesystem::exists(folder.File("ran")));
}

// A command the project's settings change after the user accepted it is a
// new command: it is not accepted, and does not run.
TEST_F(EngineCommand, ACommandChangedAfterAcceptanceIsNotAccepted)
{
    Step("engine --project p 'touch \"" + folder.File("first") + "\"; exit 3'");
    QzTest::WriteFile(folder.File("p/host-settings.json"),
                      "{\"engines\": {\"ZELM\": \"touch '" + folder.File("changed") + "'; exit 3\"}}\n");
    EXPECT_NE(std::string::npos, Run("engine --project p").out.find("not accepted on this machine"));
    const QzTest::DriverOutcome refused = Run("run p/rocksalt.qsd --task Energy");
    EXPECT_EQ(1, refused.code);
    EXPECT_NE(std::string::npos, refused.err.find("--accept")) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(folder.File("changed")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("first")));
}

// The user's accepted commands that cannot be read are refused by name and
// kept as they are: they hold the acceptances of every other project.
TEST_F(EngineCommand, AcceptedCommandsThatCannotBeReadAreRefusedNotReplaced)
{
    QzTest::WriteFile(folder.File("p/host-settings.json"), "{\"engines\": {\"ZELM\": \"exit 3\"}}\n");
    std::filesystem::create_directories(folder.File("user-settings"));
    const std::string accepted = folder.File("user-settings/accepted-engines.json");
    const struct {
        const char* bytes;
        const char* why;
    } cases[] = {
        {"{\"/elsewhere\": {\"ZELM\": \"mine\"}", "it is not JSON"},
        {"[\"/elsewhere\"]\n", "it does not hold an object of project folders"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        QzTest::WriteFile(accepted, c.bytes);
        for (const char* command : {"engine --project p --accept", "engine --project p 'my-engine %SEED%'"}) {
            const QzTest::DriverOutcome refused = Run(command);
            EXPECT_EQ(1, refused.code) << command;
            EXPECT_NE(std::string::npos, refused.err.find("\"" + accepted + "\" cannot be read: " + c.why))
                << refused.err;
            EXPECT_EQ(c.bytes, QzTest::ReadFile(accepted)) << command;
        }
        // The project's settings were not changed either.
        EXPECT_EQ("{\"engines\": {\"ZELM\": \"exit 3\"}}\n", QzTest::ReadFile(folder.File("p/host-settings.json")));
    }
    // A folder in its place is named as what it is.
    std::filesystem::remove(accepted);
    std::filesystem::create_directory(accepted);
    const QzTest::DriverOutcome folderInPlace = Run("engine --project p --accept");
    EXPECT_EQ(1, folderInPlace.code);
    EXPECT_NE(std::string::npos, folderInPlace.err.find("it is a folder, not a file")) << folderInPlace.err;
}

// A ".server" link in a project would stage the job outside it.
TEST_F(EngineCommand, AStagingFolderLeadingOutsideTheProjectIsRefused)
{
    std::filesystem::create_directory(folder.File("elsewhere"));
    std::filesystem::create_directory_symlink(folder.File("elsewhere"), folder.File("p/.server"));
    const QzTest::DriverOutcome run = Run("run p/rocksalt.qsd --task Energy");
    EXPECT_EQ(1, run.code);
    EXPECT_NE(std::string::npos, run.err.find("leads outside the project")) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(folder.File("elsewhere")));
}

// A driver built in a folder whose name holds a blank stores a command that
// still runs its stand-in.
TEST_F(EngineCommand, TheStandInsPathIsOneWordOfTheCommand)
{
    const std::string bin = folder.File("bin with blank");
    std::filesystem::create_directory(bin);
    for (const char* program : {"zelm-host", "zelm-stub"})
        std::filesystem::copy_file(std::string(QZ_BIN_DIR) + "/" + program, bin + "/" + program);
    const std::string set = "cd '" + folder.Path() + "' && QZ_USER_SETTINGS='" + folder.File("user-settings") +
                            "' '" + bin + "/zelm-host' --registry '" + folder.File("registry.json") +
                            "' engine --project p --stub";
    ASSERT_EQ(0, std::system(set.c_str()));
    EXPECT_EQ("engine of \"ZELM\": '" + bin + "/zelm-stub' %SEED%\ntime limit: 3600 s\n",
              Run("engine --project p").out);
    const QzTest::DriverOutcome run = Run("run p/rocksalt.qsd --task GeomOpt");
    ASSERT_EQ(0, run.code) << run.out << run.err;
    EXPECT_NE(std::string::npos, run.out.find("exited with status 0.")) << run.out;
}

} // namespace
