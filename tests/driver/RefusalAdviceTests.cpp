// A refusal says what happened and what to do: it names the file or value
// it refuses as it is stored, and the way out it names works when taken.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

namespace fs = std::filesystem;

const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";

class RefusalAdvice : public QzTest::DriverTest {
protected:
    RefusalAdvice() : DriverTest("refusal-advice") {}

    void SetUp() override
    {
        RockSaltProject();
        Step("export p/rocksalt.qsd --task GeomOpt");
        Step("engine --project p --stub");
    }

    // Runs the driver with a bound on its time (a FIFO must not make it
    // wait): the exit code, or -1 when it had to be killed.
    int RunBounded(const std::string& arguments, std::string& said) const
    {
        const std::string out = folder.File("bounded-out.txt");
        const std::string code = folder.File("bounded-code.txt");
        const std::string driver = "QZ_USER_SETTINGS='" + folder.File("user-settings") + "' timeout -s KILL 20 '" +
                                   QzTest::DriverPath() + "' --registry '" + folder.File("registry.json") + "' " +
                                   arguments + " </dev/null";
        // A full disk, for the driver alone: none of its files may grow, and
        // a write beyond that fails rather than ending it. What it says
        // goes through a pipe to a file the limit does not hold.
        const std::string command =
            "cd '" + folder.Path() + "' && " +
            (fullDisk >= 0 ? "{ { (ulimit -f " + std::to_string(fullDisk) + "; trap '' XFSZ; " + driver + ") 2>&1; echo $? >&3; } | cat >'" + out +
                            "'; } 3>'" + code + "'"
                      : driver + " >'" + out + "' 2>&1");
        const bool limited = fullDisk >= 0;
        fullDisk = -1;
        const int status = std::system(command.c_str());
        said = QzTest::ReadFile(out);
        if (limited)
            return std::atoi(QzTest::ReadFile(code).c_str());
        if (!WIFEXITED(status) || WEXITSTATUS(status) == 137)
            return -1;
        return WEXITSTATUS(status);
    }

    // The room of a full disk in the next run, in blocks of 512 bytes (-1:
    // no limit).
    mutable int fullDisk = -1;

    // A value of the engine logic's state as a project sent may hold it.
    void Store(const std::string& key, const std::string& value) const
    {
        const std::string file = folder.File("p/project-state.json");
        const std::string text = QzTest::ReadFile(file);
        const std::regex entry("\"" + key + "\": \"[^\"]*\"");
        std::smatch found;
        ASSERT_TRUE(std::regex_search(text, found, entry)) << key;
        QzTest::WriteFile(file, found.prefix().str() + "\"" + key + "\": \"" + value + "\"" + found.suffix().str());
    }
};

// The text of the line after `lead` in `said` ("" when there is none).
std::string After(const std::string& said, const std::string& lead)
{
    const std::size_t at = said.find(lead);
    if (at == std::string::npos)
        return std::string();
    const std::size_t from = at + lead.size();
    return said.substr(from, said.find('\n', from) - from);
}

}  // namespace

TEST_F(RefusalAdvice, EachRefusalNamesWhatItRefusesAndAWayOutThatWorks)
{
    const std::string installed =
        fs::canonical(std::string(QZ_LIB_DIR) + "/../share/qzhost/core/Resources/Virakon/ZELM").string();
    const std::string elsewhere = folder.File("elsewhere");
    fs::create_directories(elsewhere);
    const std::string exported = "'p/rocksalt ZELM GeomOpt/rocksalt.gin'";
    const std::string longName(300, 'n');

    struct Case {
        std::string what;
        std::function<void()> spoil;
        std::string command;
        int code;
        std::vector<std::string> said;     // parts of what the command says
        std::vector<std::string> notSaid;  // and what it must not say
        // The way out the refusal names, taken (the command it gives, or ""
        // when it was a step of its own); then the command succeeds.
        std::function<std::string(const std::string& said)> wayOut;
    };
    // The shell command a refusal advises, taken as written.
    const auto moveAway = [](const std::string& said) {
        const std::string way = After(said, "Move it out of the way first: ");
        EXPECT_EQ(way.rfind("mv ", 0), 0u) << said;
        EXPECT_EQ(std::system(way.c_str()), 0) << way;
        return std::string();
    };
    const auto engineAdvice = [](const std::string& said) {
        const std::string way = After(said, "set one with: zelm-host ");
        const std::size_t end = way.find(" (the engine stand-in)");
        EXPECT_NE(end, std::string::npos) << said;
        return way.substr(0, end);
    };
    // A run's files in a folder of their own, without its document.
    const auto runWithout = [&](const std::string& place) {
        fs::create_directories(folder.File(place));
        for (const char* name : {"rocksalt.gout", "rocksalt.arc"})
            fs::copy_file(examples + "results/geomopt/" + name, folder.File(place + "/") + name);
    };
    // The shell commands the missing-document advice gives, taken as
    // written with the project's document as DOC.qsd.
    const auto documentAdvice = [&](const std::string& said) {
        const std::regex step("\\((mv|rm) ([^)]*)\\)");
        std::smatch found;
        EXPECT_TRUE(std::regex_search(said, found, step)) << said;
        const std::string first = found[1].str() + " " + found[2].str();
        std::string copy = After(said, "was made from there: ");
        copy.replace(copy.find("DOC.qsd"), 7, "'" + folder.File("p/rocksalt.qsd") + "'");
        EXPECT_EQ(std::system(("cd '" + folder.Path() + "' && " + first + " && " + copy).c_str()), 0) << first << "\n" << copy;
        return std::string();
    };
    std::string ignored;
    const std::vector<Case> cases = {
        {"the installation's standard folder written whole",
         [&] { Store("ZelmLibraryFolder", installed + "/"); }, "deck p/rocksalt.qsd --out d1", 0, {}, {}, nullptr},
        {"the installation's standard folder written whole, without its last separator",
         [&] { Store("ZelmLibraryFolder", installed); }, "export p/rocksalt.qsd", 0, {}, {}, nullptr},
        {"a standard folder elsewhere, written whole",
         [&] { Store("ZelmLibraryFolder", elsewhere); },
         "deck p/rocksalt.qsd --out d2",
         1,
         {elsewhere + "/ is not in the current project", "ZelmLogic.ZelmLibraryFolder \"" + elsewhere + "\"",
          "clear the value with: zelm-host state --project "},
         {"core/" + elsewhere.substr(1), "core//", "only the installation's standard libraries are used"},
         [&](const std::string& said) {
             const std::string way = After(said, "clear the value with: zelm-host ");
             EXPECT_FALSE(way.empty()) << said;
             return way;
         }},
        {"a standard folder elsewhere, refused where it is set",
         nullptr,
         "state --project p ZelmLogic ZelmLibraryFolder " + elsewhere,
         1,
         {"ZelmLogic.ZelmLibraryFolder \"" + elsewhere + "\"", "clear the value with: zelm-host state --project "},
         {"core/" + elsewhere.substr(1)},
         nullptr},
        {"a run's output without its structure document",
         [&] {
             fs::create_directories(folder.File("p/moved"));
             for (const char* name : {"rocksalt.gout", "rocksalt.arc"})
                 fs::copy_file(examples + "results/geomopt/" + name, folder.File("p/moved/") + name);
         },
         "analyse p/moved/rocksalt.gout energy",
         1,
         {"Atomistic 3D document not found", "p/moved/rocksalt.qsd\" is not there",
          "cp DOC.qsd " + folder.File("p/moved/rocksalt.qsd")},
         {},
         [&](const std::string&) {
             fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("p/moved/rocksalt.qsd"));
             return std::string();
         }},
        {"a run's output whose structure document is a folder",
         [&] {
             runWithout("p/moved2");
             fs::create_directory(folder.File("p/moved2/rocksalt.qsd"));
         },
         "analyse p/moved2/rocksalt.gout energy", 1,
         {"Atomistic 3D document not found", "p/moved2/rocksalt.qsd\" is a folder, not a file; move it out of the way"},
         {"is not there"}, documentAdvice},
        {"a run's output whose structure document is a link to nothing",
         [&] {
             runWithout("p/moved3");
             fs::create_symlink("lost.qsd", folder.File("p/moved3/rocksalt.qsd"));
         },
         "analyse p/moved3/rocksalt.gout energy", 1,
         {"p/moved3/rocksalt.qsd\" is a link to \"lost.qsd\", which does not exist; remove the link"},
         {"is not there"}, documentAdvice},
        {"a model file of a saved deck's folder that is a FIFO",
         [&] { ASSERT_EQ(::mkfifo(folder.File("p/rocksalt ZELM GeomOpt/extra.qsd").c_str(), 0600), 0); },
         "start " + exported, 1, {"extra.qsd\", which is a pipe (FIFO), not a regular file"}, {}, moveAway},
        {"a model file of a saved deck's folder that is a folder",
         [&] { fs::create_directory(folder.File("p/rocksalt ZELM GeomOpt/extra.qms")); },
         "start " + exported, 1, {"extra.qms\", which is a folder, not a file"}, {}, moveAway},
        {"a model file of a saved deck's folder that is a link to nothing",
         [&] { fs::create_symlink("gone.qsd", folder.File("p/rocksalt ZELM GeomOpt/extra.qsd")); },
         "start " + exported, 1, {"extra.qsd\", which is a link to \"gone.qsd\", which does not exist"}, {},
         moveAway},
        {"a saved deck started without an engine",
         [&] { ASSERT_EQ(RunBounded("engine --project p --clear", ignored), 0) << ignored; },
         "start " + exported, 1, {"\" and not run: the project \"" + folder.File("p") + "\" sets no engine"},
         {}, engineAdvice},
        {"a run without an engine",
         [&] { ASSERT_EQ(RunBounded("engine --project p --clear", ignored), 0) << ignored; },
         "run p/rocksalt.qsd --task Energy", 1, {"\" and not run: the project \"" + folder.File("p") + "\" sets no engine"},
         {"OnJobComplete: S_OK\nfailures"}, engineAdvice},
        {"a side file of a saved deck that is a FIFO",
         [&] {
             const std::string side = folder.File("p/rocksalt ZELM GeomOpt/rocksalt.trjaux");
             fs::remove(side);
             ASSERT_EQ(::mkfifo(side.c_str(), 0600), 0);
         },
         "start " + exported,
         1,
         {"rocksalt.trjaux\" cannot be uploaded: it is a pipe (FIFO), not a regular file"},
         {"does not exist"},
         nullptr},
        {"a picture drawn on a full disk",
         [&] {
             fs::create_directories(folder.File("p/res"));
             for (const char* name : {"rocksalt.gout", "rocksalt.arc", "rocksalt.geomopt"})
                 fs::copy_file(examples + "results/geomopt/" + name, folder.File("p/res/") + name);
             ASSERT_EQ(RunBounded("read p/res/rocksalt --project p --charts", ignored), 0) << ignored;
             fullDisk = 0;
         },
         "chart 'p/rocksalt Energy.qcd' --svg p/energy.svg", 1,
         {"Cannot draw the picture \"p/energy.svg\": the plotting library keeps a file in the temporary folder",
          "(File too large); make room there"},
         {"PLPLOT", "device"}, [](const std::string&) { return std::string(); }},
        {"charts read on a full disk",
         [&] { fullDisk = 1; }, // room for the empty chart documents, not for the charts
         "read p/res/rocksalt --project p --charts", 1,
         {"Unable to write the chart document \"" + folder.File("p/rocksalt Energy_2.qcd") + "\"", "File too large"},
         {}, [&](const std::string&) {
             // Nothing of the failed reading is left.
             EXPECT_FALSE(fs::exists(folder.File("p/rocksalt Energy_2.qcd")));
             EXPECT_FALSE(fs::exists(folder.File("p/rocksalt Convergence_2.qcd")));
             return std::string();
         }},
        {"engine settings that are a folder",
         [&] {
             fs::remove(folder.File("p/host-settings.json"));
             fs::create_directory(folder.File("p/host-settings.json"));
         },
         "engine --project p --clear",
         1,
         {"host-settings.json\" cannot be read: it is a folder, not a file", "move it out of the way"},
         {"--clear", "cannot be written"},
         [&](const std::string&) {
             fs::rename(folder.File("p/host-settings.json"), folder.File("p/settings-folder"));
             return std::string("engine --project p --stub");
         }},
        {"engine settings that are no JSON",
         [&] { QzTest::WriteFile(folder.File("p/host-settings.json"), "{not json"); },
         "engine --project p",
         1,
         {"host-settings.json\" cannot be read", "reset them with \"zelm-host engine --clear\""},
         {},
         [&](const std::string&) { return std::string("engine --project p --clear"); }},
        {"a library name too long for a file name, as a project sent it",
         [&] { Store("library", longName); },
         "deck p/rocksalt.qsd --out d3",
         1,
         {"is too long for a file name; select a library of a shorter name with: zelm-host state --project "},
         {"copy into the project"},
         [&](const std::string& said) {
             std::string way = After(said, "select a library of a shorter name with: zelm-host ");
             return way.substr(0, way.find(" NAME ")) + " rocksalt";
         }},
        {"a library name too long for a file name",
         nullptr,
         "state --project p ZelmLogic library " + longName,
         1,
         {longName + ".lib is not in the current project: its name is too long"},
         {"loop"},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.spoil)
            c.spoil();
        std::string said;
        ASSERT_EQ(RunBounded(c.command, said), c.code) << said;
        for (const std::string& part : c.said)
            EXPECT_NE(said.find(part), std::string::npos) << "no \"" << part << "\" in\n" << said;
        for (const std::string& part : c.notSaid)
            EXPECT_EQ(said.find(part), std::string::npos) << "\"" << part << "\" in\n" << said;
        if (!c.wayOut)
            continue;
        std::string taken;
        const std::string way = c.wayOut(said);
        if (!way.empty()) {
            EXPECT_EQ(RunBounded(way, taken), 0) << way << "\n" << taken;
        }
        EXPECT_EQ(RunBounded(c.command, taken), 0) << c.command << "\n" << taken;
    }
}
