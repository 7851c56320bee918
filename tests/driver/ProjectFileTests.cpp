// What the driver reports follows what happened: concurrent changes of one
// project keep every value, bad values are refused by name, and commands
// that had nothing to do fail instead of reporting success.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;

class ProjectFiles : public QzTest::DriverTest {
protected:
    ProjectFiles() : DriverTest("project-files") {}
};

// Eight driver processes at once, each setting a key of its own (two of
// them the engine settings): every value is there afterwards, the files are
// whole and no temporary file is left.
TEST_F(ProjectFiles, ConcurrentWritersKeepEveryValue)
{
    Step("project p");
    const std::vector<std::string> commands = {
        "state --project p ZelmLogic write 21",         "state --project p ZelmLogic sample 22",
        "state --project p ZelmLogic timestep 2.5",     "state --project p ZelmLogic equilibration 0.5",
        "state --project p ZelmLogic number_of_steps 77", "state --project p ZelmLogic library mylib",
        "engine --project p 'my-engine %SEED%'",        "engine --project p --time-limit 42"};
    std::vector<pid_t> children;
    for (const std::string& command : commands) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string line = "cd '" + folder.Path() + "' && QZ_USER_SETTINGS='" + folder.File("user-settings") +
                                     "' '" + QzTest::DriverPath() + "' --registry '" + folder.File("registry.json") +
                                     "' " + command + " >/dev/null 2>&1";
            _exit(std::system(line.c_str()) == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string state = Run("state --project p ZelmLogic").out;
    for (const char* value : {"write = 21\n", "sample = 22\n", "timestep = 2.5\n", "equilibration = 0.5\n",
                              "number_of_steps = 77\n", "library = mylib\n"})
        EXPECT_NE(state.find(value), std::string::npos) << value << "\n" << state;
    EXPECT_EQ(Run("engine --project p").out, "engine of \"ZELM\": my-engine %SEED%\ntime limit: 42 s\n");
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.File("p")))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(ProjectFiles, NonsensicalValuesAreRefusedByName)
{
    Step("project p");
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"state --project p ZelmLogic timestep -0.005",
         "\"timestep\" of the logic \"ZelmLogic\" must be a finite number greater than 0, not -0.005"},
        {"state --project p ZelmLogic timestep nan", "\"timestep\" of the logic \"ZelmLogic\" takes a double value"},
        {"state --project p ZelmLogic number_of_steps -5", "\"number_of_steps\" of the logic \"ZelmLogic\" must be a whole number of at least 0"},
        {"state --project p ZelmLogic ensemble_temperature -1", "\"ensemble_temperature\" of the logic \"ZelmLogic\" must be a finite number of at least 0"},
        {"engine --project p --time-limit nan", "the time limit must be a finite number of seconds"},
        {"engine --project p --time-limit inf", "the time limit must be a finite number of seconds"},
        {"engine --project p --time-limit -3", "the time limit must be a finite number of seconds"},
        // Bounds the job manager's clock can keep, named; an empty value is
        // no "no limit".
        {"engine --project p --time-limit 1e10",
         "the time limit must be a finite number of seconds from 0 to 1000000000 (0: no limit), not \"1e10\""},
        {"engine --project p --time-limit ''", "from 0 to 1000000000 (0: no limit), not an empty value"},
        {"engine --project p --time-limit 12s", "not \"12s\""},
    };
    for (const auto& c : cases) {
        const QzTest::DriverOutcome refused = Run(c.arguments);
        EXPECT_EQ(refused.code, 1) << c.arguments;
        EXPECT_NE(refused.err.find(c.message), std::string::npos) << c.arguments << "\n" << refused.err;
    }
    const std::string state = Run("state --project p ZelmLogic").out;
    EXPECT_NE(state.find("timestep = 1\n"), std::string::npos) << state;
    EXPECT_EQ(Run("engine --project p").out, "engine of \"ZELM\": none\ntime limit: 3600 s\n");
}

// A settings file that cannot be read names itself and the way out, and
// that way out works.
TEST_F(ProjectFiles, DamagedEngineSettingsNameTheFileAndClearMendsThem)
{
    Step("project p");
    QzTest::WriteFile(folder.File("p/host-settings.json"), "{\"engines\": {}, \"timeLimit\": null}");
    for (const char* command : {"engine --project p", "engine --project p --stub"}) {
        const QzTest::DriverOutcome refused = Run(command);
        EXPECT_EQ(refused.code, 1) << command;
        EXPECT_NE(refused.err.find("host-settings.json\" cannot be read"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("zelm-host engine --clear"), std::string::npos) << refused.err;
    }
    // A stored limit the clock cannot keep is refused by name as well.
    QzTest::WriteFile(folder.File("p/host-settings.json"), "{\"engines\": {}, \"timeLimit\": 1e10}");
    const QzTest::DriverOutcome tooLong = Run("engine --project p");
    EXPECT_EQ(tooLong.code, 1);
    EXPECT_NE(tooLong.err.find("\"timeLimit\" is not a number of seconds of at most 1000000000"), std::string::npos)
        << tooLong.err;
    const QzTest::DriverOutcome cleared = Run("engine --project p --clear");
    EXPECT_EQ(cleared.code, 0) << cleared.err;
    EXPECT_EQ(cleared.out, "engine of \"ZELM\": none\ntime limit: 3600 s\n");
}

// A write that fails half-way (the file size limit of the process) leaves
// the old state file whole and no temporary file.
TEST_F(ProjectFiles, AFailedWriteLeavesTheOldStateFile)
{
    Step("project p");
    Step("state --project p ZelmLogic write 21");
    const std::string before = QzTest::ReadFile(folder.File("p/project-state.json"));
    // The driver's own arguments come first; the subshell then runs a second
    // driver under a file size limit far below the state file's size.
    const QzTest::DriverOutcome failed =
        Run("state --project p ZelmLogic write >/dev/null; (ulimit -f 1; trap '' XFSZ; '" + QzTest::DriverPath() +
            "' --registry '" + folder.File("registry.json") + "' state --project p ZelmLogic sample 44)");
    EXPECT_EQ(failed.code, 1) << failed.out << failed.err;
    EXPECT_NE(failed.err.find("project-state.json\" cannot be written"), std::string::npos) << failed.err;
    EXPECT_EQ(QzTest::ReadFile(folder.File("p/project-state.json")), before);

    // The engine settings likewise (a full disk once left them empty).
    // A command long enough for the file to pass the size limit below.
    Step("engine --project p --time-limit 90 'engine " + std::string(3000, 'x') + "'");
    const std::string settings = QzTest::ReadFile(folder.File("p/host-settings.json"));
    const QzTest::DriverOutcome full =
        Run("engine --project p >/dev/null; (ulimit -f 1; trap '' XFSZ; '" + QzTest::DriverPath() + "' --registry '" +
            folder.File("registry.json") + "' engine --project p --time-limit 120)");
    EXPECT_EQ(full.code, 1) << full.out << full.err;
    EXPECT_NE(full.err.find("host-settings.json\" cannot be written"), std::string::npos) << full.err;
    EXPECT_EQ(QzTest::ReadFile(folder.File("p/host-settings.json")), settings);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.File("p")))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(ProjectFiles, UpdateStructureFailsWhenItWritesNothing)
{
    const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
    Step("project .");
    Step("import " + examples + "rocksalt.cif --name salt");
    const std::string document = QzTest::ReadFile(folder.File("salt.qsd"));

    QzTest::WriteFile(folder.File("empty.arc"), "");
    QzTest::WriteFile(folder.File("noise.arc"), "\x01\x02 noise\nmore noise\n");
    for (const char* archive : {"empty.arc", "noise.arc"}) {
        const QzTest::DriverOutcome nothing = Run(std::string("update-structure salt.qsd ") + archive);
        EXPECT_EQ(nothing.code, 1) << archive << nothing.out;
        EXPECT_EQ(nothing.out.find("updated"), std::string::npos) << nothing.out;
        EXPECT_NE(nothing.err.find(archive), std::string::npos) << nothing.err;
    }
    EXPECT_EQ(QzTest::ReadFile(folder.File("salt.qsd")), document);

    fs::copy_file(examples + "results/geomopt/rocksalt.arc", folder.File("run.arc"));

    // The working copy cannot be made: its name and the reason.
    fs::create_directory(folder.File("run_TDE_.arc"));
    const QzTest::DriverOutcome blocked = Run("update-structure salt.qsd run.arc");
    EXPECT_EQ(blocked.code, 1);
    EXPECT_NE(blocked.err.find("run_TDE_.arc\" cannot be written: it is a folder, not a file"), std::string::npos)
        << blocked.err;
    fs::remove(folder.File("run_TDE_.arc"));

    const QzTest::DriverOutcome updated = Run("update-structure salt.qsd run.arc");
    EXPECT_EQ(updated.code, 0) << updated.err;
    const QzTest::DriverOutcome again = Run("update-structure salt.qsd run.arc");
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("its last frame gives the structure the document already has"), std::string::npos)
        << again.err;
}

TEST_F(ProjectFiles, TrgFailsOnAFileThatIsNoTrajectory)
{
    QzTest::WriteFile(folder.File("noise.trg"), std::string("\x13\x37 not a trajectory \x00\x01\x02", 24));
    const QzTest::DriverOutcome noise = Run("trg noise.trg --module " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
    EXPECT_EQ(noise.code, 1);
    EXPECT_EQ(noise.out.rfind("noise.trg: format value ", 0), 0u) << noise.out;
    EXPECT_NE(noise.err.find("\"noise.trg\" is no engine trajectory"), std::string::npos) << noise.err;
}

}  // namespace

namespace {

TEST_F(ProjectFiles, ClassesFailsOnARegistryItCannotRead)
{
    QzTest::WriteFile(folder.File("registry.json"), "{\"classes\": [");
    const QzTest::DriverOutcome listed = Run("classes");
    EXPECT_EQ(listed.code, 1) << listed.out;
    EXPECT_EQ(listed.out, "");
    EXPECT_NE(listed.err.find("is corrupt"), std::string::npos) << listed.err;
    EXPECT_EQ(Run("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so").code, 1);
}

}  // namespace
