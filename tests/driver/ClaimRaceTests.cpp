// Commands started together in one project, as several terminals or scripts
// start them: each claims a folder and files of its own, works in them and
// names only what it made itself.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;

class ClaimRace : public QzTest::DriverTest {
protected:
    ClaimRace() : DriverTest("driver-claim-race") {}
    void SetUp() override
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        RockSaltProject();
        Step("engine --project p --stub --time-limit 60");
        // Two documents of one name in two folders, told apart by their cells.
        std::string cif = QzTest::ReadFile(examples + "rocksalt.cif");
        for (const char* sub : {"a", "b"}) {
            fs::create_directories(folder.File(std::string("p/") + sub));
            QzTest::WriteFile(folder.File(std::string(sub) + ".cif"), cif);
            Step("import " + folder.File(std::string(sub) + ".cif") + " --project p --name rs");
            fs::rename(folder.File("p/rs.qsd"), folder.File(std::string("p/") + sub + "/rs.qsd"));
            cif = std::regex_replace(cif, std::regex("(_cell_length_[abc])[^\n]*"), "$1 5.9000");
        }
    }

    // Runs the commands together; their outcomes in the same order.
    std::vector<QzTest::DriverOutcome> AtOnce(const std::vector<std::string>& commands) const
    {
        std::vector<QzTest::DriverOutcome> outcomes(commands.size());
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            threads.emplace_back([&, i] {
                while (!go)
                    std::this_thread::yield();
                outcomes[i] = Run(commands[i]);
            });
        }
        go = true;
        for (std::thread& thread : threads)
            thread.join();
        return outcomes;
    }

    // The text after `label` up to the end of its line.
    static std::string After(const std::string& text, const std::string& label)
    {
        const std::size_t at = text.find(label);
        if (at == std::string::npos)
            return std::string();
        const std::size_t start = at + label.size();
        return text.substr(start, text.find('\n', start) - start);
    }
};

TEST_F(ClaimRace, RunsTogetherEachStageAndImportTheirOwnTaskAndDocument)
{
    struct RunCase {
        const char* document;
        const char* task;
        const char* seed;
        const char* keyword;   // of the task, in its main output
        const char* cell;      // of the document, in its main output
    };
    const RunCase cases[] = {
        {"p/rocksalt.qsd", "Energy", "rocksalt", "grad", "a =       5.6402"},
        {"p/rocksalt.qsd", "GeomOpt", "rocksalt", "opti", "a =       5.6402"},
        {"p/rocksalt.qsd", "Energy", "rocksalt", "grad", "a =       5.6402"},
        {"p/rocksalt.qsd", "GeomOpt", "rocksalt", "opti", "a =       5.6402"},
        {"p/a/rs.qsd", "Energy", "rs", "grad", "a =       5.6402"},
        {"p/b/rs.qsd", "Energy", "rs", "grad", "a =       5.9000"},
        {"p/a/rs.qsd", "GeomOpt", "rs", "opti", "a =       5.6402"},
        {"p/b/rs.qsd", "GeomOpt", "rs", "opti", "a =       5.9000"},
    };
    std::vector<std::string> commands;
    for (const RunCase& c : cases)
        commands.push_back(std::string("run ") + c.document + " --task " + c.task);
    const auto outcomes = AtOnce(commands);

    std::set<std::string> results;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const RunCase& c = cases[i];
        SCOPED_TRACE(commands[i]);
        const QzTest::DriverOutcome& outcome = outcomes[i];
        ASSERT_EQ(0, outcome.code) << outcome.out << outcome.err;
        // The engine folder of a run brought home goes, so a run that
        // starts later may be given its name again; the outputs below show
        // that no two runs shared one.
        const std::string server = After(outcome.out, "staged in ");
        const std::string folder = After(outcome.out, "results folder: ");
        EXPECT_FALSE(fs::exists(server.substr(0, server.size() - 1))) << server << " stays";
        EXPECT_TRUE(results.insert(folder).second) << folder << " was given twice";
        const std::string output = QzTest::ReadFile(folder + "/" + c.seed + ".gout");
        EXPECT_NE(std::string::npos, output.find(std::string("*  ") + c.keyword)) << folder;
        EXPECT_NE(std::string::npos, output.find(c.cell)) << folder;
    }
    // No folder the module wrote a job's deck in is left behind.
    const std::regex jobFolder(".*ZELM(_[0-9]+)?$");
    for (const auto& entry : fs::recursive_directory_iterator(folder.File("p")))
        EXPECT_FALSE(std::regex_match(entry.path().filename().string(), jobFolder)) << entry.path();
}

TEST_F(ClaimRace, ExportsTogetherEachNameTheFolderTheyMade)
{
    const auto outcomes = AtOnce({"export p/rocksalt.qsd --task GeomOpt", "export p/rocksalt.qsd --task GeomOpt",
                                  "export p/a/rs.qsd --task Energy", "export p/b/rs.qsd --task Energy"});
    std::set<std::string> named;
    for (const QzTest::DriverOutcome& outcome : outcomes) {
        ASSERT_EQ(0, outcome.code) << outcome.out << outcome.err;
        std::size_t folders = 0;
        for (std::size_t at = outcome.out.find("exported the input files into "); at != std::string::npos;
             at = outcome.out.find("exported the input files into ", at + 1))
            ++folders;
        EXPECT_EQ(1u, folders) << outcome.out;
        std::string exported = After(outcome.out, "exported the input files into ");
        exported.pop_back(); // its ":"
        EXPECT_TRUE(named.insert(exported).second) << exported << " was named twice";
        const std::string seed = exported.find("rocksalt") != std::string::npos ? "rocksalt" : "rs";
        EXPECT_TRUE(fs::is_regular_file(exported + "/" + seed + ".gin")) << exported;
        EXPECT_NE(std::string::npos, outcome.out.find("  " + seed + ".gin\n")) << outcome.out;
    }

    // One exported deck started twice at once: two jobs, two results
    // folders (their engine folders go once their results are home).
    const std::string deck = *named.begin() + "/" + (named.begin()->find("rocksalt") != std::string::npos ? "rocksalt" : "rs") + ".gin";
    const auto started = AtOnce({"start '" + deck + "'", "start '" + deck + "'"});
    std::set<std::string> given;
    for (const QzTest::DriverOutcome& outcome : started) {
        ASSERT_EQ(0, outcome.code) << outcome.out << outcome.err;
        EXPECT_TRUE(given.insert(After(outcome.out, "results folder: ")).second) << outcome.out;
    }
}

TEST_F(ClaimRace, ChartsReadTogetherEachWriteAndNameFilesOfTheirOwn)
{
    const std::string results = std::string(QZ_TEST_DATA) + "/../../examples/results/geomopt/rocksalt";
    // A chart of the first name that is a link: the readers write beside it.
    QzTest::WriteFile(folder.File("kept.qcd"), "not a chart\n");
    fs::create_symlink(folder.File("kept.qcd"), folder.File("p/rocksalt Energy.qcd"));
    const std::vector<std::string> commands(5, "read '" + results + "' --charts --project p");
    const auto outcomes = AtOnce(commands);
    std::set<std::string> named;
    for (const QzTest::DriverOutcome& outcome : outcomes) {
        ASSERT_EQ(0, outcome.code) << outcome.out << outcome.err;
        std::size_t charts = 0;
        for (std::size_t at = outcome.out.find("  chart document: "); at != std::string::npos;
             at = outcome.out.find("  chart document: ", at + 1)) {
            const std::string name = After(outcome.out.substr(at), "  chart document: ");
            EXPECT_TRUE(named.insert(name).second) << name << " was named twice";
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder.File("p/" + name)))) << name;
            ++charts;
        }
        EXPECT_EQ(2u, charts) << outcome.out;
    }
    EXPECT_EQ(0u, named.count("rocksalt Energy.qcd"));
    EXPECT_EQ("not a chart\n", QzTest::ReadFile(folder.File("kept.qcd")));
    // Every chart file in the project is one a reader named.
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder.File("p")))
        files += entry.path().extension() == ".qcd" && !fs::is_symlink(entry.symlink_status());
    EXPECT_EQ(named.size(), files);
}

// A long campaign of one document: its folders go on past ten thousand
// earlier ones (only the highest stands here; a claim reads the folder
// once), and the engine folder of every run whose results came home goes.
TEST_F(ClaimRace, ACampaignGoesOnPastTenThousandAndKeepsNoEngineFolderOfARunBroughtHome)
{
    struct Row {
        std::string command;
        const char* before;  // made in p/ before the command
        const char* label;   // what the command prints before its folder
        const char* made;    // the folder it is given
    };
    const Row rows[] = {
        {"run p/rocksalt.qsd --task Energy", "rocksalt ZELM Energy_10000", "results folder: ",
         "rocksalt ZELM Energy_10001"},
        {"run p/rocksalt.qsd --task Energy", "", "results folder: ", "rocksalt ZELM Energy_10002"},
        {"export p/rocksalt.qsd --task GeomOpt", "rocksalt ZELM GeomOpt_10000", "exported the input files into ",
         "rocksalt ZELM GeomOpt_10001:"},
        {"read '" + std::string(QZ_TEST_DATA) + "/../../examples/results/geomopt/rocksalt' --charts --project p",
         "rocksalt Energy_10000.qcd", "  chart document: ", "rocksalt Energy_10001.qcd"},
    };
    // The first names of the series stand too (a claim takes a free first
    // name without reading the folder).
    for (const char* name : {".server/rocksalt", ".server/rocksalt_10000", "rocksalt ZELM Energy",
                             "rocksalt ZELM GeomOpt", "rocksalt Energy.qcd"})
        fs::create_directories(folder.File(std::string("p/") + name));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        if (*row.before)
            fs::create_directories(folder.File(std::string("p/") + row.before));
        const QzTest::DriverOutcome outcome = Run(row.command);
        ASSERT_EQ(0, outcome.code) << outcome.out << outcome.err;
        EXPECT_EQ(std::string(row.made), fs::path(After(outcome.out, row.label)).filename().string()) << outcome.out;
        const std::string staged = After(outcome.out, "staged in ");
        if (!staged.empty()) {
            EXPECT_EQ("rocksalt_10001", fs::path(staged.substr(0, staged.size() - 1)).filename().string());
        }
    }
    // Only the folder that was there before the runs is left.
    std::set<std::string> server;
    for (const auto& entry : fs::directory_iterator(folder.File("p/.server")))
        server.insert(entry.path().filename().string());
    EXPECT_EQ((std::set<std::string>{"rocksalt", "rocksalt_10000"}), server);
}

// Commands killed half-way (a write past a small file-size limit ends them
// with SIGXFSZ at that write) leave nothing half-made under a final name: no
// empty file, no export folder without its whole deck; what they left under
// temporary names goes with the next command that writes there.
TEST_F(ClaimRace, CommandsKilledHalfWayLeaveNothingHalfMadeUnderAFinalName)
{
    const std::string results = std::string(QZ_TEST_DATA) + "/../../examples/results/geomopt/rocksalt";
    struct Row {
        std::string command;
        int blocks; // of 1024 bytes, the largest file the command may write
    };
    const Row rows[] = {
        {"export p/rocksalt.qsd --task GeomOpt", 1},
        {"export p/rocksalt.qsd --task GeomOpt", 2},
        {"export p/rocksalt.qsd --task GeomOpt", 4},
        {"run p/rocksalt.qsd --task Energy", 1},
        {"run p/rocksalt.qsd --task Energy", 4},
        {"read '" + results + "' --charts --project p", 1},
        {"read '" + results + "' --charts --project p", 2},
    };
    const auto temporary = [](const fs::path& path) { return path.filename().string().find(".tmp-") != std::string::npos; };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command + " within " + std::to_string(row.blocks) + " KiB");
        const std::string line = "cd '" + folder.Path() + "' && ulimit -f " + std::to_string(row.blocks) + " && " +
                                 QzTest::Bounded("QZ_USER_SETTINGS='" + folder.File("user-settings") + "'",
                                                 "'" + QzTest::DriverPath() + "' --registry '" +
                                                     folder.File("registry.json") + "' " + row.command) +
                                 " >/dev/null 2>&1";
        const int status = std::system(line.c_str());
        EXPECT_NE(0, status) << "the command was not cut short";
        for (const auto& entry : fs::recursive_directory_iterator(folder.File("p"))) {
            if (temporary(entry.path()) || entry.is_symlink())
                continue;
            if (entry.is_regular_file()) {
                EXPECT_NE(0u, entry.file_size()) << entry.path();
            }
            if (entry.is_directory() && entry.path().filename().string().find(" ZELM GeomOpt") != std::string::npos) {
                for (const char* file : {"rocksalt.gin", "rocksalt.qms", "rocksalt.qsd", "rocksalt.trjaux",
                                         "selectedLibrary.libaux"})
                    EXPECT_TRUE(fs::is_regular_file(entry.path() / file)) << entry.path() << " lacks " << file;
            }
        }
    }
    // Whole, the commands still take the first names of their series.
    const QzTest::DriverOutcome exported = Run("export p/rocksalt.qsd --task GeomOpt");
    ASSERT_EQ(0, exported.code) << exported.out << exported.err;
    EXPECT_NE(std::string::npos, exported.out.find("p/rocksalt ZELM GeomOpt:\n")) << exported.out;
    const QzTest::DriverOutcome read = Run("read '" + results + "' --charts --project p");
    ASSERT_EQ(0, read.code) << read.out << read.err;
    for (const auto& entry : fs::directory_iterator(folder.File("p"))) {
        EXPECT_FALSE(temporary(entry.path())) << entry.path() << " stays";
    }
}

} // namespace

namespace {

// The folders (recursively) below `root`, as paths relative to it.
std::set<std::string> FoldersBelow(const std::string& root)
{
    std::set<std::string> folders;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory() && !entry.is_symlink())
            folders.insert(fs::relative(entry.path(), root).string());
    }
    return folders;
}

TEST_F(ClaimRace, RefusedCommandsLeaveNoFolderInsideTheProjectOrOutside)
{
    // A folder of the project that is a link leading outside it.
    fs::create_directories(folder.File("outside/sub"));
    fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("outside/sub/rocksalt.qsd"));
    fs::create_directory_symlink("../outside/sub", folder.File("p/sub"));
    struct Refusal {
        const char* command;
        const char* reason;
    };
    const Refusal refusals[] = {
        // refused by the deck writer, after the job folder was made
        {"export p/rocksalt.qsd --task Surface", "needs a slab"},
        {"run p/rocksalt.qsd --task Surface", "needs a slab"},
        // refused for the place, before anything is made there
        {"export p/sub/rocksalt.qsd --task Energy", "outside the project"},
        {"run p/sub/rocksalt.qsd --task Energy", "outside the project"},
        {"deck p/sub/rocksalt.qsd --project p", "outside the project"},
        {"deck p/rocksalt.qsd --project p --out p/sub/new/deeper", "outside the project"},
        {"deck p/rocksalt.qsd --project p --task Surface --out p/new/deeper", "needs a slab"},
    };
    const std::set<std::string> inside = FoldersBelow(folder.File("p"));
    const std::set<std::string> outside = FoldersBelow(folder.File("outside"));
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.command);
        const QzTest::DriverOutcome outcome = Run(r.command);
        EXPECT_EQ(1, outcome.code) << outcome.out;
        EXPECT_NE(std::string::npos, outcome.err.find(r.reason)) << outcome.err;
        EXPECT_EQ(inside, FoldersBelow(folder.File("p")));
        EXPECT_EQ(outside, FoldersBelow(folder.File("outside")));
        EXPECT_EQ(std::string::npos, outcome.out.find("exported the input files into")) << outcome.out;
    }
}

} // namespace
