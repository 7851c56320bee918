// A project received from a colleague, as it was packed: in place of a file
// a command writes there may stand a FIFO or a link leading out of the
// project, the project may be reached through a second link, its state may
// be no file, and its library may be a huge file of nothing. Each command
// ends (bounded in time), names what it refuses, and reads, copies and writes
// nothing outside the project (a canary file there stays as it was).
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "DriverRun.h"
#include "common/SocketFile.h"

namespace {

namespace fs = std::filesystem;

const char* const Canary = "the colleague's own file, not to be touched\n";
const char* const DeckFolder = "p/rocksalt ZELM GeomOpt";

class ReceivedProject : public QzTest::DriverTest {
protected:
    ReceivedProject() : DriverTest("received-project") {}

    void SetUp() override
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        RockSaltProject();
        Step("export p/rocksalt.qsd --task GeomOpt");
        for (const char* run : {"geomopt", "dynamics"})
            fs::copy(examples + "results/" + run, folder.File(std::string("p/") + run));
        fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("p/geomopt/rocksalt.qsd"));
        Step("engine --project p --stub");
        fs::create_directories(folder.File("outside"));
        QzTest::WriteFile(folder.File("outside/canary"), Canary);
    }

    // Runs the driver, killed after 20 s; false when it had to be.
    bool RunBounded(const std::string& arguments, std::string& said) const
    {
        const std::string out = folder.File("bounded-out.txt");
        const std::string command = "cd '" + folder.Path() + "' && QZ_USER_SETTINGS='" + folder.File("user-settings") +
                                    "' timeout -s KILL 20 '" + QzTest::DriverPath() + "' --registry '" +
                                    folder.File("registry.json") + "' " + arguments + " >'" + out + "' 2>&1 </dev/null";
        const int status = std::system(command.c_str());
        said = QzTest::ReadFile(out);
        return WIFEXITED(status) && WEXITSTATUS(status) != 137;
    }

    // The file (relative to the test's folder) as a link to the canary.
    void LinkToCanary(const std::string& file) const
    {
        fs::remove(folder.File(file));
        fs::create_symlink(folder.File("outside/canary"), folder.File(file));
    }

    // No file of the project (and of the server folders) holds the
    // canary's bytes, and the canary is as it was.
    void ExpectCanaryKept() const
    {
        EXPECT_EQ(QzTest::ReadFile(folder.File("outside/canary")), Canary);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.File("outside")), fs::directory_iterator()), 1);
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder.File("p"), error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_symlink() && it->is_regular_file()) {
                EXPECT_NE(QzTest::ReadFile(it->path().string()), Canary) << it->path();
            }
        }
    }
};

// A FIFO in place of each file a command writes: nothing waits for a reader.
TEST_F(ReceivedProject, AFifoInPlaceOfAWrittenFileIsRefusedWithoutWaiting)
{
    const struct {
        const char* file;
        const char* command;
        bool writes;  // false: the command answers without writing the file
    } cases[] = {
        {"p/geomopt/rocksalt_TDE_.arc", "results p/geomopt/rocksalt.gout", false},
        {"p/geomopt/rocksalt_TDE_.arc", "analyse p/geomopt/rocksalt.gout structure p/rocksalt.qsd", true},
        {"p/geomopt/rocksalt_TDE_.arc", "update-structure p/rocksalt.qsd p/geomopt/rocksalt.arc", true},
        {"p/geomopt/rocksalt_TDE_.arc", "import-result p/geomopt/rocksalt.qsd", true},
        {"p/geomopt/rocksalt.qtd", "analyse p/geomopt/rocksalt.gout trajectory p/rocksalt.qsd", true},
        {"p/geomopt/rocksalt.qtd", "trajectory p/geomopt/rocksalt --document p/rocksalt.qsd", true},
        {"p/geomopt/rocksalt.trj", "trajectory p/geomopt/rocksalt --document p/rocksalt.qsd", true},
        {"p/dynamics/rocksalt.trj", "trajectory p/dynamics/rocksalt --document p/rocksalt.qsd", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " with " + c.file + " a FIFO");
        fs::remove(folder.File(c.file));
        ASSERT_EQ(::mkfifo(folder.File(c.file).c_str(), 0600), 0);
        std::string said;
        const bool ended = RunBounded(c.command, said);
        EXPECT_TRUE(ended) << "killed after 20 s\n" << said;
        EXPECT_FALSE(fs::is_regular_file(folder.File(c.file))) << said;
        // The answer refuses what its command would refuse, by name.
        if (!c.writes) {
            EXPECT_NE(said.find("CanUpdateStructure: no ("), std::string::npos) << said;
        }
        EXPECT_NE(said.find(fs::path(c.file).filename().string() + "\""), std::string::npos) << said;
        EXPECT_NE(said.find("is a pipe (FIFO), not a regular file"), std::string::npos) << said;
        // Refused before anything is written: no frames file beside it.
        const fs::path frames = fs::path(folder.File(c.file)).parent_path() / "rocksalt.trj";
        if (fs::path(c.file).filename() != frames.filename()) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(frames))) << said;
        }
        fs::remove(folder.File(c.file));
    }
}

// What `start` uploads of a deck's folder: a file linked out of the project
// is not read, and a FIFO is refused as what it is.
TEST_F(ReceivedProject, StartUploadsNothingThatLeadsOutsideOrIsNoFile)
{
    const std::string start = std::string("start \"") + DeckFolder + "/rocksalt.gin\"";
    const struct {
        const char* file;  // in the deck's folder
        const char* stand; // "link" (to the canary) or "FIFO"
        const char* named; // empty: no file, so not listed to upload
    } cases[] = {
        {"rocksalt.qsd", "link", "outside the project"},
        {"rocksalt.trjaux", "link", "outside the project"},
        {"rocksalt.kptaux", "link", "outside the project"},
        {"extra.qms", "link", "outside the project"},
        {"selectedLibrary.libaux", "link", "is not in the current project: a link leads it to"},
        {"rocksalt.trjaux", "FIFO", "is a pipe (FIFO), not a regular file"},
        {"rocksalt.qsd", "hard link", "has 2 links"},
        {"rocksalt.trjaux", "hard link", "has 2 links"},
        {"rocksalt.kptaux", "hard link", "has 2 links"},
        {"extra.qms", "hard link", "has 2 links"},
        {"rocksalt.qsd", "FIFO", ""},
        {"extra.qms", "FIFO", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " a " + c.stand);
        const std::string file = folder.File(std::string(DeckFolder) + "/" + c.file);
        const bool existed = fs::exists(file);
        if (existed)
            fs::rename(file, file + ".kept");
        const std::string stand = c.stand;
        if (stand == "link")
            LinkToCanary(std::string(DeckFolder) + "/" + c.file);
        else if (stand == "hard link")
            fs::create_hard_link(folder.File("outside/canary"), file);
        else
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        std::string said;
        EXPECT_TRUE(RunBounded(start, said)) << "killed after 20 s\n" << said;
        if (*c.named != '\0') {
            EXPECT_NE(said.find(c.file), std::string::npos) << said;
            EXPECT_NE(said.find(c.named), std::string::npos) << said;
        }
        fs::remove(file);
        ExpectCanaryKept();
        if (existed)
            fs::rename(file + ".kept", file);
    }
    // As shipped, the deck starts.
    std::string said;
    EXPECT_TRUE(RunBounded(start, said)) << said;
    EXPECT_EQ(said.find("outside the project"), std::string::npos) << said;
}

// The run's files spelled through a second link to the project, or the
// document in another folder: the place decides, not the spelling, and the
// project is the one of the folder written into.
TEST_F(ReceivedProject, APlaceIsCheckedAsItIsNotAsItIsSpelled)
{
    fs::create_directory_symlink(folder.File("p"), folder.File("alias"));
    fs::create_directories(folder.File("q"));
    fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("q/rocksalt.qsd"));
    Step("project r");
    const struct {
        const char* link;  // in the project, to the canary
        const char* command;
    } cases[] = {
        {"p/geomopt/rocksalt_TDE_.arc", "results alias/geomopt/rocksalt.gout --project p"},
        {"p/geomopt/rocksalt_TDE_.arc", "analyse alias/geomopt/rocksalt.gout structure p/rocksalt.qsd --project p"},
        {"p/geomopt/rocksalt_TDE_.arc", "results p/geomopt/rocksalt.gout --project alias"},
        {"p/geomopt/rocksalt.trj", "trajectory p/geomopt/rocksalt --document q/rocksalt.qsd"},
        {"p/geomopt/rocksalt_TDE_.arc", "results p/geomopt/rocksalt.gout --project r"},
        {"p/geomopt/rocksalt.trj", "analyse alias/geomopt/rocksalt.gout trajectory p/rocksalt.qsd --project p"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        LinkToCanary(c.link);
        std::string said;
        EXPECT_TRUE(RunBounded(c.command, said)) << said;
        EXPECT_TRUE(fs::is_symlink(folder.File(c.link))) << said;
        EXPECT_NE(said.find("rocksalt"), std::string::npos) << said;
        ExpectCanaryKept();
        fs::remove(folder.File(c.link));
    }
    // Without the links, the same spellings work.
    std::string said;
    EXPECT_TRUE(RunBounded("analyse alias/geomopt/rocksalt.gout structure p/rocksalt.qsd --project p", said));
    EXPECT_NE(said.find("changed: rocksalt.qsd"), std::string::npos) << said;
}

// A project state that is no file is refused by its name by every command
// that reads it; only a missing one makes "not a project folder".
TEST_F(ReceivedProject, AStateThatIsNoFileIsRefusedByName)
{
    const std::string state = folder.File("p/project-state.json");
    fs::rename(state, state + ".kept");
    const struct {
        const char* stand;
        const char* named;
    } stands[] = {
        {"FIFO", "is a pipe (FIFO), not a regular file"},
        {"folder", "is a folder, not a file"},
        {"socket", "is a socket, not a regular file"},
        {"bad JSON", "is not valid JSON"},
        // Links: the state is the project's own file, never one elsewhere.
        {"link to /dev/zero", "is a symbolic link to \"/dev/zero\", outside "},
        {"link to a state outside", "outside.json\", outside "},
        {"dangling link", "is a symbolic link to \"gone.json\", which does not exist"},
    };
    const std::vector<std::string> commands{
        "deck p/rocksalt.qsd --task GeomOpt",
        "show p/rocksalt.qsd --project p",
        "state --project p ZelmLogic",
        "results p/geomopt/rocksalt.gout",
        "analyse p/geomopt/rocksalt.gout structure p/rocksalt.qsd",
        "engine --project p",
        "forcefield --project p show",
        std::string("start \"") + DeckFolder + "/rocksalt.gin\"",
        "run p/rocksalt.qsd --task Energy",
    };
    for (const auto& stand : stands) {
        const std::string kind = stand.stand;
        if (kind == "FIFO")
            ASSERT_EQ(::mkfifo(state.c_str(), 0600), 0);
        else if (kind == "folder")
            fs::create_directory(state);
        else if (kind == "socket")
            QzTest::MakeSocket(state);
        else if (kind == "bad JSON")
            QzTest::WriteFile(state, "{\"ZelmLogic\": ");
        else if (kind == "link to a state outside") {
            fs::copy_file(state + ".kept", folder.File("outside.json"), fs::copy_options::overwrite_existing);
            fs::create_symlink("../outside.json", state);
        }
        else if (kind == "dangling link")
            fs::create_symlink("gone.json", state);
        else
            fs::create_symlink("/dev/zero", state);
        for (const std::string& command : commands) {
            if (kind == "bad JSON" && command.rfind("engine", 0) == 0)
                continue; // looks for the project's state, reads none
            SCOPED_TRACE(command + " with the state a " + kind);
            std::string said;
            ASSERT_TRUE(RunBounded(command, said)) << "killed after 20 s\n" << said;
            EXPECT_NE(said.find("project-state.json"), std::string::npos) << said;
            EXPECT_NE(said.find(stand.named), std::string::npos) << said;
            EXPECT_EQ(said.find("has no \"project-state.json\""), std::string::npos) << said;
        }
        fs::remove(state);
    }
    fs::rename(state + ".kept", state);
}

// A file a command picks itself that leads out of its folder is refused by
// name and never read; one that leads nowhere is no missing file.
TEST_F(ReceivedProject, AFileTheCommandPicksThatLeadsOutIsNotRead)
{
    const struct {
        const char* file;
        const char* command;
    } cases[] = {
        {"p/geomopt/rocksalt.arc", "analyse p/geomopt/rocksalt.gout structure p/rocksalt.qsd"},
        {"p/geomopt/rocksalt.arc", "import-result p/geomopt/rocksalt.qsd"},
        {"p/dynamics/rocksalt.trg", "trajectory p/dynamics/rocksalt --document p/rocksalt.qsd"},
        {"p/host-settings.json", "engine --project p"},
        {"p/project-state.json", "show p/rocksalt.qsd --project p"},
    };
    const struct {
        const char* kind;
        const char* named;
    } kinds[] = {
        {"link out", "outside "},
        {"dangling link", "which does not exist"},
    };
    for (const auto& kind : kinds) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.command) + " with " + c.file + " a " + kind.kind);
            const std::string file = folder.File(c.file);
            fs::rename(file, file + ".kept");
            if (std::string(kind.kind) == "link out")
                LinkToCanary(c.file);
            else
                fs::create_symlink("gone", file);
            std::string said;
            EXPECT_TRUE(RunBounded(c.command, said)) << said;
            EXPECT_NE(said.find(fs::path(c.file).filename().string()), std::string::npos) << said;
            EXPECT_NE(said.find("is a symbolic link to"), std::string::npos) << said;
            EXPECT_NE(said.find(kind.named), std::string::npos) << said;
            fs::remove(file);
            fs::rename(file + ".kept", file);
            ExpectCanaryKept();
        }
    }
}

// A working copy hard-linked to a file outside the project is replaced, never
// written through: the file outside stays as it was.
TEST_F(ReceivedProject, AHardLinkedWorkingCopyIsNeverWrittenThrough)
{
    const char* const copy = "p/geomopt/rocksalt_TDE_.arc";
    for (const char* command : {"analyse p/geomopt/rocksalt.gout structure p/rocksalt.qsd",
                                "update-structure p/rocksalt.qsd p/geomopt/rocksalt.arc",
                                "import-result p/geomopt/rocksalt.qsd"}) {
        SCOPED_TRACE(command);
        fs::remove(folder.File(copy));
        fs::create_hard_link(folder.File("outside/canary"), folder.File(copy));
        std::string said;
        EXPECT_TRUE(RunBounded(command, said)) << said;
        fs::remove(folder.File(copy));
        ExpectCanaryKept();
    }
}

// A received deck names the engine's files by plain names in its own folder:
// `start` refuses any other before anything is staged.
TEST_F(ReceivedProject, ADeckNamingFilesOutsideItsFolderIsNotStarted)
{
    const std::string deck = folder.File(std::string(DeckFolder) + "/rocksalt.gin");
    const std::string shipped = QzTest::ReadFile(deck);
    const struct {
        const char* line;
        const char* named;  // "" starts
    } cases[] = {
        {"output trajectory ../../../outside/pwn.trg", "../../../outside/pwn.trg"},
        {"output movie arc /tmp/pwn", "/tmp/pwn"},
        {"dump every 1 ../pwn.res", "../pwn.res"},
        {"dump ..", ".."},
        {"library ../../outside/pwn.lib", "../../outside/pwn.lib"},
        {"output pressure sub\\pwn.pre", "sub\\\\pwn.pre"},  // a backslash shown escaped
        {"title\noutput trajectory ../words/of/a/title\nend", ""},
        {"output trajectory rocksalt.trg", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        QzTest::WriteFile(deck, shipped + c.line + "\n");
        std::string said;
        EXPECT_TRUE(RunBounded(std::string("start \"") + DeckFolder + "/rocksalt.gin\"", said)) << said;
        const std::string server = folder.File("p/.server");
        if (*c.named != '\0') {
            EXPECT_NE(said.find("names the file \"" + std::string(c.named) + "\""), std::string::npos) << said;
            EXPECT_FALSE(fs::exists(server) && !fs::is_empty(server)) << said;
        } else {
            EXPECT_EQ(said.find("not a plain name"), std::string::npos) << said;
            // Started and brought home (its engine folder then goes).
            EXPECT_NE(said.find("OnJobComplete"), std::string::npos) << said;
        }
        std::error_code error;
        fs::remove_all(server, error);
        EXPECT_FALSE(fs::exists(folder.File("outside/pwn.trg")));
    }
    QzTest::WriteFile(deck, shipped);
}

// A deck folder of the project that is a link leading outside it: `start`
// refuses it before reading the deck, and stages nothing.
TEST_F(ReceivedProject, ADeckFolderLinkedOutOfTheProjectIsNotRead)
{
    fs::rename(folder.File(DeckFolder), folder.File("outside/deck"));
    fs::create_directory_symlink("../outside/deck", folder.File(DeckFolder));
    std::string said;
    EXPECT_TRUE(RunBounded(std::string("start \"") + DeckFolder + "/rocksalt.gin\"", said)) << said;
    EXPECT_NE(said.find("its folder \"" + folder.File(DeckFolder) + "\" is a symbolic link to \"" +
                        folder.File("outside/deck") + "\", outside the project"),
              std::string::npos)
        << said;
    EXPECT_FALSE(fs::exists(folder.File("p/.server"))) << said;
    fs::remove(folder.File(DeckFolder));
    fs::rename(folder.File("outside/deck"), folder.File(DeckFolder));
}

// An engine that leaves its main output as a link to a file outside the
// project: that download is refused by name, and nothing of it comes in.
TEST_F(ReceivedProject, AnOutputTheEngineLeavesAsALinkOutIsNotDownloaded)
{
    const std::string stub = QzTest::DriverPath().substr(0, QzTest::DriverPath().rfind('/')) + "/zelm-stub";
    Step("engine --project p '" + stub + " %SEED% && ln -sf " + folder.File("outside/canary") + " %SEED%.gout'");
    Step("engine --project p --accept");
    std::string said;
    EXPECT_TRUE(RunBounded(std::string("start \"") + DeckFolder + "/rocksalt.gin\"", said)) << said;
    EXPECT_NE(said.find("rocksalt.gout"), std::string::npos) << said;
    EXPECT_NE(said.find("is a symbolic link to \"" + folder.File("outside/canary") + "\", outside the project"),
              std::string::npos)
        << said;
    ExpectCanaryKept();
}

// A colleague swaps a link in the project while commands run: no run ever
// writes the file outside or brings it in.
TEST_F(ReceivedProject, ALinkSwappedWhileCommandsRunNeverLeadsOut)
{
    const struct {
        const char* file;
        const char* command;
    } cases[] = {
        {"p/geomopt/rocksalt_TDE_.arc", "analyse p/geomopt/rocksalt.gout structure p/rocksalt.qsd"},
        {"p/rocksalt ZELM GeomOpt/rocksalt.trjaux", "start \"p/rocksalt ZELM GeomOpt/rocksalt.gin\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const std::string file = folder.File(c.file);
        const std::string kept = file + ".kept";
        if (fs::exists(file))
            fs::rename(file, kept);
        else
            QzTest::WriteFile(kept, "");
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            const std::string next = file + ".next";
            for (int i = 0; i < 200000 && !stop; ++i) {
                std::error_code error;
                fs::remove(next, error);
                if (i % 2)
                    fs::create_symlink(folder.File("outside/canary"), next, error);
                else
                    fs::copy_file(kept, next, error);
                fs::rename(next, file, error);
            }
        });
        for (int run = 0; run < 8; ++run) {
            std::string said;
            EXPECT_TRUE(RunBounded(c.command, said)) << said;
        }
        stop = true;
        swapper.join();
        fs::remove(file);
        fs::rename(kept, file);
        if (fs::is_empty(file))
            fs::remove(file);
        ExpectCanaryKept();
    }
}

// A library of 2 GB of nothing (sparse) is refused by its size, unread, at
// once; the deck writer never holds it.
TEST_F(ReceivedProject, AHugeLibraryIsRefusedUnread)
{
    fs::resize_file(folder.File("p/rocksalt.lib"), std::uintmax_t{2} << 30);
    for (const char* command : {"deck p/rocksalt.qsd --task GeomOpt", "forcefield --project p show"}) {
        SCOPED_TRACE(command);
        const auto begun = std::chrono::steady_clock::now();
        std::string said;
        ASSERT_TRUE(RunBounded(command, said)) << said;
        const auto took = std::chrono::steady_clock::now() - begun;
        EXPECT_NE(said.find("rocksalt.lib"), std::string::npos) << said;
        EXPECT_NE(said.find("is too large to be read (2147483648 bytes"), std::string::npos) << said;
        // Reading it took 18 s; refusing it takes what starting the driver takes.
        EXPECT_LT(took, std::chrono::seconds(10));
    }
}

}  // namespace
