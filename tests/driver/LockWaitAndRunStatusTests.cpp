// A command that waits for a project's lock says which process holds it and
// gives up after its bound; a run whose driver was killed at any stage never
// reads as running, nor as finished without its main output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <set>
#include <thread>
#include <vector>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string Examples = std::string(QZ_TEST_DATA) + "/../../examples/";

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// A process that holds the lock of `folder` (open without close-on-exec, so
// that it stays with "sleep 30" that the process becomes), once it runs
// that; -1 when it could not be made in time.
pid_t HoldLock(const std::string& folder)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Held once a try of our own fails.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const Clock::time_point end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
        // Held, and "sleep 30" runs.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 &&
            QzTest::ReadFile("/proc/" + std::to_string(child) + "/cmdline").rfind("sleep", 0) == 0) {
            ::close(fd);
            return child;
        }
        ::flock(fd, LOCK_UN);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

void End(pid_t child)
{
    ::kill(child, SIGCONT);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

class LockWait : public QzTest::DriverTest {
protected:
    LockWait() : DriverTest("lock-wait") {}
    void SetUp() override
    {
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + Examples + "rocksalt.cif --project p --name salt");
    }
    void TearDown() override { ::unsetenv("QZ_LOCK_WAIT_SECONDS"); }

    // The driver in the background with the given bound, its standard error
    // in `errFile`.
    pid_t Start(const std::string& arguments, const std::string& bound, const std::string& errFile) const
    {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("QZ_LOCK_WAIT_SECONDS", bound.c_str(), 1);
            ::setenv("QZ_USER_SETTINGS", folder.File("user-settings").c_str(), 1);
            const std::string line = "cd '" + folder.Path() + "' && exec '" + QzTest::DriverPath() + "' --registry '" +
                                     folder.File("registry.json") + "' " + arguments + " >/dev/null 2>'" + errFile + "'";
            ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return child;
    }
};

// A stopped holder: every writer names it once and gives up after the
// bound, changing nothing; let go on, the holder lets a waiting writer do
// its work. A killed holder blocks nobody.
TEST_F(LockWait, AWriterNamesAStoppedHolderGivesUpAfterItsBoundAndGoesOnOnceItIsLetGo)
{
    const pid_t holder = HoldLock(folder.File("p"));
    ASSERT_GT(holder, 0);
    ASSERT_EQ(0, ::kill(holder, SIGSTOP));
    const std::string before = QzTest::ReadFile(folder.File("p/salt.qsd"));
    ::setenv("QZ_LOCK_WAIT_SECONDS", "0.5", 1);
    const char* const writers[] = {
        "types p/salt.qsd --type Na=Na_y",
        "state --project p ZelmLogic Task 2",
        "import rocksalt.cif --project p --name more",
    };
    fs::copy_file(Examples + "rocksalt.cif", folder.File("rocksalt.cif"));
    for (const char* writer : writers) {
        SCOPED_TRACE(writer);
        const Clock::time_point start = Clock::now();
        const QzTest::DriverOutcome outcome = Run(writer);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(1, outcome.code) << outcome.out << outcome.err;
        EXPECT_GE(seconds, 0.5);
        EXPECT_LT(seconds, 30.0);
        const std::string named = "process " + std::to_string(holder) + " (sleep 30)";
        EXPECT_EQ(1u, Count(outcome.err, "waiting for the lock of the project folder")) << outcome.err;
        EXPECT_EQ(2u, Count(outcome.err, named)) << "once waiting, once giving up\n" << outcome.err;
        EXPECT_NE(std::string::npos, outcome.err.find("is still locked by " + named + " after 0.5 s")) << outcome.err;
    }
    EXPECT_EQ(before, QzTest::ReadFile(folder.File("p/salt.qsd")));
    EXPECT_FALSE(fs::exists(folder.File("p/more.qsd")));

    // A writer waiting with a longer bound goes on once the holder is let go.
    const pid_t waiter = Start("types p/salt.qsd --type Na=Na_y", "60", folder.File("waiter-stderr.txt"));
    for (const Clock::time_point end = Clock::now() + std::chrono::seconds(20);
         Clock::now() < end && QzTest::ReadFile(folder.File("waiter-stderr.txt")).empty();)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(holder, SIGCONT);
    ::kill(holder, SIGTERM);
    ::waitpid(holder, nullptr, 0);
    int status = 0;
    ASSERT_EQ(waiter, ::waitpid(waiter, &status, 0));
    const std::string waited = QzTest::ReadFile(folder.File("waiter-stderr.txt"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << waited;
    EXPECT_EQ(1u, Count(waited, "waiting for the lock of the project folder")) << waited;
    EXPECT_NE(std::string::npos, QzTest::ReadFile(folder.File("p/salt.qsd")).find("Na_y"));

    // A holder that is gone held nothing: no wait, no word of one.
    const pid_t killed = HoldLock(folder.File("p"));
    ASSERT_GT(killed, 0);
    End(killed);
    const QzTest::DriverOutcome free = Run("types p/salt.qsd --type Na=Na_z");
    EXPECT_EQ(0, free.code) << free.err;
    EXPECT_EQ(std::string::npos, free.err.find("waiting")) << free.err;
}

// Each row holds some locks with stopped processes and runs one command
// under a bound: a command that only asks takes no lock and answers at
// once; a writer's waits share one bound, each said once naming its own
// lock; a bound of 0 fails at once and silently; a bound that is no
// decimal number of seconds is refused by name before any wait (the table
// of such texts is the COM runtime's test of the bound).
TEST_F(LockWait, QuestionsTakeNoLockAndAWritersWaitsShareOneBoundEachSaidByItsLocksName)
{
    fs::copy_file(Examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
    Step("state --project p ZelmLogic library rocksalt");
    Step("deck p/salt.qsd --project p --task GeomOpt --out p/run");
    fs::copy_file(folder.File("p/salt.qsd"), folder.File("p/run/salt.qsd")); // staged as a run stages it
    ASSERT_EQ(0, std::system(("cd '" + folder.File("p/run") + "' && '" + std::string(QZ_BIN_DIR) +
                              "/zelm-stub' salt --steps 2 >/dev/null")
                                 .c_str()));
    fs::create_directory(folder.File("p/sub"));
    fs::copy_file(folder.File("p/salt.qsd"), folder.File("p/sub/salt.qsd"));
    fs::create_directories(folder.File("user-settings"));
    const std::string projectLock = "waiting for the lock of the project folder";
    const struct {
        const char* command;
        std::vector<const char*> held; // folders held by stopped processes
        const char* bound;
        int code;
        std::vector<std::string> waits; // the start of each waiting line, in turn
        const char* failure;            // a part of standard error ("": none)
        double atLeast;
        double below;
        double freeAfter; // the first folder is let go after so many seconds (0: never)
    } rows[] = {
        {"results p/run/salt.gout", {"p", "p/run"}, "5", 0, {}, "", 0, 4, 0},
        {"show p/salt.qsd", {"p"}, "5", 0, {}, "", 0, 4, 0},
        {"check p/salt.qsd --task GeomOpt", {"p"}, "5", 0, {}, "", 0, 4, 0},
        {"read p/run/salt", {"p", "p/run"}, "5", 0, {}, "", 0, 4, 0},
        {"types p/sub/salt.qsd --project p --type Na=Na_y", {"p", "p/sub"}, "1", 1, {projectLock},
         "zelm-host: The project folder \"", 0.9, 1.8, 0},
        {"types p/sub/salt.qsd --project p --type Na=Na_y", {"p", "p/sub"}, "1", 1,
         {projectLock, "waiting for the lock of the document's folder \""}, "zelm-host: The document's folder \"",
         0.9, 1.4, 0.5},
        {"types p/sub/salt.qsd --project p --type Na=Na_y", {"p/sub"}, "1", 1,
         {"waiting for the lock of the document's folder \""}, "is still locked by process", 0.9, 1.8, 0},
        {"engine --project p 'true'", {"user-settings"}, "0.5", 1,
         {"waiting for the lock of the user settings folder \""}, "zelm-host: The user settings folder \"", 0.45,
         1.5, 0},
        {"types p/salt.qsd --type Na=Na_y", {"p"}, "0", 1, {}, "QZ_LOCK_WAIT_SECONDS of 0 does not wait", 0, 0.9, 0},
        {"types p/salt.qsd --type Na=Na_y", {}, "abc", 1, {}, "QZ_LOCK_WAIT_SECONDS is \"abc\"", 0, 0.9, 0},
        {"types p/salt.qsd --type Na=Na_y", {"p"}, "", 1, {}, "QZ_LOCK_WAIT_SECONDS is \"\"", 0, 0.9, 0},
        {"types p/salt.qsd --type Na=Na_y", {"p"}, "0x3", 1, {}, "QZ_LOCK_WAIT_SECONDS is \"0x3\"", 0, 0.9, 0},
        {"state --project p ZelmLogic Task 2", {"p"}, "0x3", 1, {}, "QZ_LOCK_WAIT_SECONDS is \"0x3\"", 0, 0.9, 0},
    };
    const std::string before = QzTest::ReadFile(folder.File("p/sub/salt.qsd"));
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " (bound \"" + row.bound + "\")");
        std::vector<pid_t> holders;
        for (const char* held : row.held) {
            holders.push_back(HoldLock(folder.File(held)));
            ASSERT_GT(holders.back(), 0);
            ::kill(holders.back(), SIGSTOP);
        }
        const std::string errFile = folder.File("row-stderr.txt");
        const Clock::time_point start = Clock::now();
        const pid_t driver = Start(row.command, row.bound, errFile);
        if (row.freeAfter > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(row.freeAfter));
            End(holders.front());
            holders.erase(holders.begin());
        }
        int status = 0;
        ::waitpid(driver, &status, 0);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        for (const pid_t holder : holders)
            End(holder);
        const std::string err = QzTest::ReadFile(errFile);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.code) << err;
        EXPECT_GE(seconds, row.atLeast) << err;
        EXPECT_LT(seconds, row.below) << err;
        EXPECT_EQ(row.waits.size(), Count(err, "waiting for the lock")) << err;
        std::size_t at = 0;
        for (const std::string& wait : row.waits) {
            at = err.find(wait, at);
            EXPECT_NE(std::string::npos, at) << wait << "\n" << err;
        }
        if (*row.failure) {
            EXPECT_NE(std::string::npos, err.find(row.failure)) << err;
        }
        EXPECT_EQ(std::string::npos, err.find("project folder \"" + folder.File("p/sub"))) << err;
    }
    EXPECT_EQ(before, QzTest::ReadFile(folder.File("p/sub/salt.qsd")));
}

// What stands in place of the project's engine folder ".server" and is no
// folder is named with the folder's role and a way out, and the job is not
// started; a job whose staging fails half-way (a file-size limit far below
// the structure's size) leaves no part of itself behind. Each row's project
// is a fresh copy.
TEST_F(LockWait, AnEngineFolderThatIsNoFolderIsNamedWithAWayOutAndAFailedStagingLeavesNothing)
{
    fs::copy_file(Examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
    Step("state --project p ZelmLogic library rocksalt");
    const struct {
        const char* what;
        const char* stands; // file, fifo, dangling, link-to-file, limit
        const char* said;
    } rows[] = {
        {"a file", "file", "\", where jobs are staged for the engine, is a file, not a folder: move it away or remove it"},
        {"a FIFO", "fifo", "\", where jobs are staged for the engine, is a pipe (FIFO), not a folder: move it away"},
        {"a link to nothing", "dangling", "\", where jobs are staged for the engine, is a symbolic link that leads "
                                          "nowhere (to \"gone\"): move it away or remove it"},
        {"a link to a file", "link-to-file", "\", where jobs are staged for the engine, is a symbolic link to "
                                             "something that is no folder: move it away"},
        {"a file-size limit", "limit", "cannot be copied to \""},
    };
    int number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string project = "q" + std::to_string(++number);
        fs::copy(folder.File("p"), folder.File(project), fs::copy_options::recursive);
        const std::string server = folder.File(project + "/.server");
        const std::string stands = row.stands;
        if (stands == "file" || stands == "link-to-file")
            QzTest::WriteFile(folder.File(project + "/a-file"), "kept\n");
        if (stands == "file")
            fs::rename(folder.File(project + "/a-file"), server);
        else if (stands == "fifo")
            ASSERT_EQ(0, ::mkfifo(server.c_str(), 0600));
        else if (stands == "dangling")
            fs::create_symlink("gone", server);
        else if (stands == "link-to-file")
            fs::create_symlink("a-file", server);
        // A saved deck is started under the limit: its files are made, and
        // only their copies into the engine's folder pass the limit.
        if (stands == "limit")
            Step("export " + project + "/salt.qsd --task GeomOpt");
        std::set<std::string> before;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder.File(project)))
            before.insert(entry.path().filename().string());
        const QzTest::DriverOutcome outcome =
            stands != "limit" ? Run("run " + project + "/salt.qsd --task GeomOpt")
                              : Run("show " + project + "/salt.qsd >/dev/null; (ulimit -f 2; trap '' XFSZ; '" +
                                    QzTest::DriverPath() + "' --registry '" + folder.File("registry.json") +
                                    "' start '" + project + "/salt ZELM GeomOpt/salt.gin')");
        EXPECT_EQ(1, outcome.code) << outcome.out << outcome.err;
        EXPECT_NE(std::string::npos, outcome.err.find(row.said)) << outcome.err;
        if (stands != "limit") {
            EXPECT_NE(std::string::npos, outcome.err.find("The project's engine folder \"" + server + "\""))
                << outcome.err;
        }
        EXPECT_FALSE(fs::exists(folder.File("gone")));
        std::set<std::string> after;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder.File(project)))
            after.insert(entry.path().filename().string());
        after.erase(".server");
        before.erase(".server");
        EXPECT_EQ(before, after);
        if (stands == "limit" && fs::is_directory(server)) {
            EXPECT_TRUE(fs::is_empty(server)) << "a partial job folder stays";
        }
        if (stands == "file") {
            EXPECT_EQ("kept\n", QzTest::ReadFile(server));
        }
    }
}

// The start time of this process, as /proc gives it (field 22 of its stat).
std::string OwnStartTime()
{
    const std::string stat = QzTest::ReadFile("/proc/self/stat");
    std::size_t at = stat.rfind(')');
    for (int field = 0; field < 20 && at != std::string::npos; ++field)
        at = stat.find(' ', at + 1);
    return at == std::string::npos ? std::string() : stat.substr(at + 1, stat.find(' ', at + 1) - at - 1);
}

// Each row runs the rock salt's optimisation with an engine command that
// ends the driver (SIGKILL to its parent, the driver) or itself at one
// stage, or leaves the project locked when the driver would import; some
// rows then change the results folder as a user or a received project
// would. The status reads as running only while the driver follows the run
// (asked from the engine itself), and as finished only with the main output
// in the results folder; a run whose driver is gone reads as stopped, and
// its status document says so with how to bring in what it left: a command
// whose paths are the project's, quoted for the shell, or none. A job note
// naming a live process that is no driver of the run (this test) is a
// driver gone. Asking again gives the same answer.
TEST_F(LockWait, ARunKilledAtAnyStageNeverReadsAsRunningNorAsFinishedWithoutItsMainOutput)
{
    const std::string stub = "\"" + std::string(QZ_BIN_DIR) + "/zelm-stub\" %SEED% --steps 2";
    const std::string asked = "; \"" + QzTest::DriverPath() + "\" status \"$(ls -d ../../*ZELM*)\" >../../during.txt";
    const std::string stopped = "Status: stopped (the process that ran it";
    const std::string self = "Status: stopped (the process that ran it, pid " + std::to_string(::getpid()) + ",";
    const std::string note = "pid " + std::to_string(::getpid()) + "\nstarted " + OwnStartTime() + "\nmachine ";
    enum After { Nothing, RemoveOutput, WriteNote };
    const std::string own = "PROJECT/.server/it's $(touch x)"; // PROJECT: the row's project folder
    const struct {
        const char* stage;
        std::string engine;
        std::string status; // the start of the status line
        After after;
        std::string server;  // the engine's folder a written note names
        std::string seed;    // and its seed
        std::string advice;  // in the status document ("": not looked at)
        std::string during;  // the start of the status line the engine got ("": not asked)
    } rows[] = {
        {"driver killed before the engine starts", "kill -KILL $PPID", stopped, Nothing, "", "",
         "zelm-host analyse PROJECT/.server/salt/salt.gout structure", ""},
        {"driver killed during the run", stub + " --cut-off 1; kill -KILL $PPID", stopped, Nothing, "", "",
         "zelm-host analyse PROJECT/.server/salt/salt.gout structure", ""},
        {"driver killed after the output, before the completion", stub + "; kill -KILL $PPID", stopped, Nothing, "",
         "", "zelm-host analyse PROJECT/.server/salt/salt.gout structure", ""},
        {"engine killed after its last status, its output gone", stub + "; rm -f ./*.gout; kill -KILL $$",
         "Status: not finished (the run left no main output \"salt.gout\")", Nothing, "", "", "", ""},
        {"engine that says why it stopped", stub + " --engine-error \"input file is empty\"",
         "Status: failed (The ZELM run failed: input file is empty)", Nothing, "", "", "", ""},
        {"engine killed after its output", stub + "; kill -KILL $$", "Status: finished", Nothing, "", "", "", ""},
        {"project locked by another process at the completion",
         stub + "; (flock ../.. sleep 3 >/dev/null 2>&1 &); while flock -n ../.. true; do sleep 0.05; done", stopped,
         Nothing, "", "", "", ""},
        {"run to its end, asked while it runs", stub + asked, "Status: finished", Nothing, "", "", "",
         "Status: running (followed by process "},
        {"run to its end, its main output removed since", stub, "Status: main output missing (the engine said "
         "\"finished\", but the results folder holds no main output \"salt.gout\")", RemoveOutput, "", "", "", ""},
        {"a note naming a live process and a folder outside", stub, self, WriteNote, "/tmp/$(touch x)", "salt",
         "are not used", ""},
        {"a note naming a seed that is a path", stub, self, WriteNote, "PROJECT/.server/salt", "../../../x",
         "are not used", ""},
        {"a note naming a folder of the project", stub, self, WriteNote, own, "salt",
         "zelm-host analyse 'PROJECT/.server/it'\\''s $(touch x)/salt.gout' structure", ""},
    };
    fs::copy_file(Examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
    Step("state --project p ZelmLogic library rocksalt");
    ::setenv("QZ_LOCK_WAIT_SECONDS", "0.3", 1);
    int number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stage);
        const std::string project = "p" + std::to_string(++number);
        const auto inProject = [&](std::string text) {
            for (std::size_t at = text.find("PROJECT"); at != std::string::npos; at = text.find("PROJECT"))
                text.replace(at, 7, folder.File(project));
            return text;
        };
        fs::copy(folder.File("p"), folder.File(project), fs::copy_options::recursive);
        Step("engine --project " + project + " '" + row.engine + "'");
        const QzTest::DriverOutcome run = Run("run " + project + "/salt.qsd --task GeomOpt", true);
        std::string results;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder.File(project)))
            if (entry.is_directory() && entry.path().filename().string().find("ZELM") != std::string::npos)
                results = entry.path().string();
        ASSERT_FALSE(results.empty()) << run.out << run.err;
        if (row.after == RemoveOutput)
            fs::remove(results + "/salt.gout");
        if (row.after == WriteNote)
            QzTest::WriteFile(results + "/.job-driver", note + "\nseed " + row.seed + "\nserver " +
                                                            inProject(row.server) + "\n");
        if (!row.during.empty()) {
            const std::string during = QzTest::ReadFile(folder.File(project + "/during.txt"));
            EXPECT_EQ(0u, during.find(row.during)) << during;
        }

        const QzTest::DriverOutcome status = Run("status '" + results + "'");
        ASSERT_EQ(0, status.code) << status.err;
        const std::string line = status.out.substr(0, status.out.find('\n'));
        EXPECT_EQ(0u, line.find(row.status)) << line;
        EXPECT_NE(0u, line.find("Status: running")) << line;
        bool output = false;
        for (const fs::directory_entry& entry : fs::directory_iterator(results))
            output = output || entry.path().extension() == ".gout";
        if (line.find("Status: finished") == 0) {
            EXPECT_TRUE(output) << "finished without its main output";
        }
        EXPECT_FALSE(fs::exists(results + "/.job-driver")) << "the note of a driver that is gone stays";
        const std::string document = QzTest::ReadFile(results + "/Status.txt");
        if (line.find("Status: stopped") == 0) {
            EXPECT_EQ(0u, document.find(line + "\n")) << document;
        }
        if (!row.advice.empty()) {
            EXPECT_NE(std::string::npos, document.find(inProject(row.advice))) << document;
        }
        for (const char* outside : {"analyse \"/tmp/$(", "analyse '/tmp/$(", "\"/tmp/$(", "../../../x.gout"}) {
            EXPECT_EQ(std::string::npos, document.find(outside)) << document;
            EXPECT_EQ(std::string::npos, status.out.find(outside)) << status.out;
        }
        EXPECT_FALSE(fs::exists(folder.File("x")));
        EXPECT_EQ(status.out, Run("status '" + results + "'").out);
    }
}

}  // namespace
