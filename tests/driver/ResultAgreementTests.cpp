// Every question `results` answers against the `analyse` command it stands
// for, on runs of several kinds: where the answer is yes the command works on
// the same files; where it is no the command fails, with the answer's reason
// when the answer gives one, and the project's structure stays as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "DriverRun.h"
#include "common/SocketFile.h"

namespace {

namespace fs = std::filesystem;

const std::string Examples = std::string(QZ_TEST_DATA) + "/../../examples/";

std::string Data(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/" + name;
}

// The questions in the order `results` prints them, each with the action of
// `analyse` that it answers for.
const std::pair<const char*, const char*> Questions[] = {
    {"CanViewEnergyEvolution", "energy"},   {"CanUpdateStructure", "structure"},
    {"CanCreateTrajectory", "trajectory"},  {"CanImportLibrary", "library"},
    {"CanPlotOpticalProperties", "optics"}, {"CanPlotPhononDispersion", "dispersion"},
    {"CanPlotPhononDOS", "dos"},
};

class ResultAgreement : public QzTest::DriverTest {
protected:
    ResultAgreement() : DriverTest("driver-agreement") {}
    void SetUp() override
    {
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + Examples + "rocksalt.cif --project p");
    }

    // Runs the driver as Run does, killed after a generous bound (a run file
    // may be a FIFO); `limit` > 0 bounds the size of every file it writes, as
    // a full disk does (the signal of a write past it is ignored).
    QzTest::DriverOutcome Bounded(const std::string& arguments, unsigned long limit = 0) const
    {
        const std::string errFile = folder.File("driver-stderr.txt");
        const std::string command =
            std::string(limit > 0 ? "trap '' XFSZ; " : "") + "cd '" + folder.Path() + "' && QZ_USER_SETTINGS='" +
            folder.File("user-settings") + "' timeout -s KILL 60 " +
            (limit > 0 ? "prlimit --fsize=" + std::to_string(limit) + " " : std::string()) + "'" +
            QzTest::DriverPath() + "' --registry '" + folder.File("registry.json") + "' " + arguments + " 2>'" +
            errFile + "' </dev/null";
        QzTest::DriverOutcome outcome;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr)
            return outcome;
        char buffer[4096];
        for (std::size_t read = 0; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            outcome.out.append(buffer, read);
        const int status = pclose(pipe);
        outcome.exited = WIFEXITED(status) && WEXITSTATUS(status) != 137;
        outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.err = QzTest::ReadFile(errFile);
        return outcome;
    }

    // A run folder p/<name> holding `files` (name in the folder, source).
    void Folder(const std::string& name, const std::map<std::string, std::string>& files) const
    {
        fs::create_directories(folder.File("p/" + name));
        for (const auto& [file, source] : files)
            fs::copy_file(source, folder.File("p/" + name + "/" + file));
    }

    // The answers `results` gives for the output.
    std::map<std::string, std::string> Answers(const std::string& output) const
    {
        const QzTest::DriverOutcome outcome = Bounded("results " + output);
        EXPECT_EQ(outcome.code, 0) << outcome.err;
        std::map<std::string, std::string> answers;
        for (const auto& question : Questions) {
            const std::string key = std::string(question.first) + ": ";
            const std::size_t at = outcome.out.find("\n" + key);
            if (at == std::string::npos) {
                ADD_FAILURE() << question.first << " not answered\n" << outcome.out;
                continue;
            }
            const std::size_t from = at + 1 + key.size();
            answers[question.first] = outcome.out.substr(from, outcome.out.find('\n', from) - from);
        }
        return answers;
    }

    // Each question's command against its answer.
    void ExpectAgreement(const std::string& output, const std::map<std::string, std::string>& expected) const
    {
        const std::map<std::string, std::string> answers = Answers(output);
        for (const auto& [question, answer] : expected)
            EXPECT_EQ(answers.count(question) ? answers.at(question).substr(0, answer.size()) : "", answer)
                << question;
        for (const auto& question : Questions) {
            const std::string answer = answers.count(question.first) ? answers.at(question.first) : "";
            SCOPED_TRACE(std::string(question.first) + ": " + answer);
            const std::string action = question.second;
            const bool withDocument = action == "structure" || action == "trajectory";
            const std::string structure = QzTest::ReadFile(folder.File("p/rocksalt.qsd"));
            const QzTest::DriverOutcome outcome =
                Bounded("analyse " + output + " " + action + (withDocument ? " p/rocksalt.qsd" : ""));
            ASSERT_TRUE(outcome.exited) << outcome.err;
            if (answer == "yes") {
                EXPECT_EQ(outcome.code, 0) << outcome.err;
                continue;
            }
            EXPECT_EQ(outcome.code, 1) << outcome.out;
            // A no gives a reason, the command's own (to which the driver
            // may add a line of its own).
            ASSERT_EQ(answer.rfind("no (", 0), 0u) << "a no without its reason";
            std::string reason = answer.substr(4);
            if (!reason.empty() && reason.back() == ')')
                reason.pop_back();  // else the reason goes on in lines of its own
            EXPECT_EQ(outcome.err.substr(0, reason.size() + 11), "zelm-host: " + reason) << outcome.err;
            EXPECT_EQ(QzTest::ReadFile(folder.File("p/rocksalt.qsd")), structure) << "a refused command changed it";
        }
    }

    // What a case puts at one file of a run: bytes, or a FIFO.
    struct RunFile {
        std::string name;
        std::string bytes;
        bool fifo = false;
    };

    // A run folder p/<name> holding the files of `run` with those of `changed`
    // in their place.
    void FolderWith(const std::string& name, const std::map<std::string, std::string>& run,
                    const std::vector<RunFile>& changed) const
    {
        fs::remove_all(folder.File("p/" + name));
        Folder(name, run);
        for (const RunFile& file : changed) {
            const std::string path = folder.File("p/" + name + "/" + file.name);
            fs::remove(path);
            if (file.fifo)
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
            else
                QzTest::WriteFile(path, file.bytes);
        }
    }
};

// Bytes that are no file of any kind the engine writes.
std::string RandomBytes(std::size_t size)
{
    std::mt19937 generator(20261209);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

TEST_F(ResultAgreement, AFinishedOptimisation)
{
    Folder("opt", {{"rocksalt.gout", Examples + "results/geomopt/rocksalt.gout"},
                   {"rocksalt.arc", Examples + "results/geomopt/rocksalt.arc"},
                   {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}});
    ExpectAgreement("p/opt/rocksalt.gout", {{"CanViewEnergyEvolution", "yes"},
                                            {"CanUpdateStructure", "yes"},
                                            {"CanCreateTrajectory", "yes"},
                                            {"CanImportLibrary", "no"}});
}

// The run's own structure document, whose atoms the trajectory takes, is
// not one: the trajectory cannot be built, and the answer says why.
TEST_F(ResultAgreement, ARunWhoseStructureDocumentIsNoJson)
{
    Folder("opt", {{"rocksalt.gout", Examples + "results/geomopt/rocksalt.gout"},
                   {"rocksalt.arc", Examples + "results/geomopt/rocksalt.arc"}});
    QzTest::WriteFile(folder.File("p/opt/rocksalt.qsd"), "not a document\n");
    ExpectAgreement("p/opt/rocksalt.gout", {{"CanUpdateStructure", "yes"},
                                            {"CanCreateTrajectory", "no (The structure document"}});
}

TEST_F(ResultAgreement, AFailedOptimisation)
{
    Folder("failed", {{"rocksalt.arc", Examples + "results/geomopt/rocksalt.arc"},
                      {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}});
    QzTest::WriteFile(folder.File("p/failed/rocksalt.gout"),
                      QzTest::ReadFile(Examples + "results/geomopt/rocksalt.gout") +
                          QzTest::ReadFile(Data("readers/engine-error.gout")));
    const std::string failed = "no (The ZELM run failed: input file is empty)";
    ExpectAgreement("p/failed/rocksalt.gout", {{"CanViewEnergyEvolution", failed},
                                               {"CanUpdateStructure", failed},
                                               {"CanCreateTrajectory", failed}});
}

TEST_F(ResultAgreement, AnArchiveWithoutAFrame)
{
    Folder("empty", {{"rocksalt.gout", Examples + "results/geomopt/rocksalt.gout"},
                     {"rocksalt.arc", Data("analysis/no-frame.arc")},
                     {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}});
    ExpectAgreement("p/empty/rocksalt.gout", {{"CanViewEnergyEvolution", "no (The run gives no trajectory frame"},
                                              {"CanUpdateStructure", "no (The run gives no final structure"},
                                              {"CanCreateTrajectory", "no (The run gives no trajectory frame"}});
}

TEST_F(ResultAgreement, AnOutputOutsideTheDocumentFolder)
{
    Folder("elsewhere", {{"rocksalt.gout", Examples + "results/geomopt/rocksalt.gout"},
                         {"rocksalt.arc", Examples + "results/geomopt/rocksalt.arc"}});
    ExpectAgreement("p/elsewhere/rocksalt.gout", {{"CanViewEnergyEvolution", "no (Atomistic 3D document not found)"},
                                                  {"CanUpdateStructure", "yes"}});
}

// What stands where the structure update and the trajectory build write,
// in a finished optimisation's folder: the answers ask those places as the
// commands write them, so each refusal is the command's own, named; a
// refused build writes no frames file and leaves what stood there.
TEST_F(ResultAgreement, PlacesTheActionsWriteThatTakeNoFile)
{
    const std::map<std::string, std::string> run = {{"rocksalt.gout", Examples + "results/geomopt/rocksalt.gout"},
                                                    {"rocksalt.arc", Examples + "results/geomopt/rocksalt.arc"},
                                                    {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}};
    const std::string copy = "no (Unable to open ZELM intermediate arc file: \"" +
                             folder.File("p/opt/rocksalt_TDE_.arc") + "\" cannot be written: ";
    const std::string frames =
        "no (The trajectory file \"" + folder.File("p/opt/rocksalt.trj") + "\" cannot be written: ";
    const std::string document = "no (The file \"" + folder.File("p/opt/rocksalt.qtd") + "\" ";
    const std::string outside = "it is a symbolic link to \"" + folder.File("elsewhere") + "\", outside the project";
    const struct {
        const char* file;   // in the run's folder
        const char* stand;  // "FIFO", "folder", "socket" or "link out" (to a file outside the project)
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"rocksalt_TDE_.arc", "FIFO", {{"CanUpdateStructure", copy + "it is a pipe (FIFO)"}, {"CanCreateTrajectory", "yes"}}},
        {"rocksalt_TDE_.arc", "folder", {{"CanUpdateStructure", copy + "it is a folder, not a file"}}},
        {"rocksalt_TDE_.arc", "link out", {{"CanUpdateStructure", copy + outside}}},
        {"rocksalt_TDE_.arc", "socket", {{"CanUpdateStructure", copy + "it is a socket, not a regular file"}}},
        {"rocksalt.trj", "FIFO", {{"CanUpdateStructure", "yes"}, {"CanCreateTrajectory", frames + "it is a pipe (FIFO)"}}},
        {"rocksalt.trj", "folder", {{"CanCreateTrajectory", frames + "it is a folder, not a file"}}},
        {"rocksalt.trj", "link out", {{"CanCreateTrajectory", frames + outside}}},
        {"rocksalt.trj", "socket", {{"CanCreateTrajectory", frames + "it is a socket, not a regular file"}}},
        {"rocksalt.qtd", "FIFO", {{"CanCreateTrajectory", document + "is a pipe (FIFO), not a regular file."}}},
        {"rocksalt.qtd", "folder", {{"CanCreateTrajectory", document + "is a folder, not a file."}}},
        {"rocksalt.qtd", "link out",
         {{"CanCreateTrajectory", "no (The trajectory document \"" + folder.File("p/opt/rocksalt.qtd") +
                                      "\" cannot be written: " + outside}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " a " + c.stand);
        FolderWith("opt", run, {});
        fs::remove(folder.File("elsewhere"));
        const std::string path = folder.File("p/opt/" + std::string(c.file));
        const std::string stand = c.stand;
        if (stand == "FIFO")
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        else if (stand == "folder")
            fs::create_directory(path);
        else if (stand == "socket")
            QzTest::MakeSocket(path);
        else
            fs::create_symlink(folder.File("elsewhere"), path);
        ExpectAgreement("p/opt/rocksalt.gout", c.expected);
        // What stood there stands, and nothing was written through it.
        EXPECT_EQ(fs::is_fifo(path), stand == "FIFO");
        EXPECT_EQ(fs::is_directory(path), stand == "folder");
        EXPECT_EQ(fs::is_symlink(path), stand == "link out");
        EXPECT_EQ(fs::is_socket(path), stand == "socket");
        EXPECT_FALSE(fs::exists(folder.File("elsewhere")));
        if (c.expected.count("CanCreateTrajectory") && c.expected.at("CanCreateTrajectory") != "yes") {
            const bool framesStand = fs::exists(fs::symlink_status(folder.File("p/opt/rocksalt.trj")));
            EXPECT_EQ(framesStand, std::string(c.file) == "rocksalt.trj") << "a refused build wrote its frames";
        }
    }
}

TEST_F(ResultAgreement, ASinglePoint)
{
    Folder("single", {{"run.gout", Data("analysis/energy.gout")}});
    ExpectAgreement("p/single/run.gout", {{"CanViewEnergyEvolution", "no"}, {"CanCreateTrajectory", "no"}});
}

TEST_F(ResultAgreement, APhononRunWithoutItsDeck)
{
    Folder("phonons", {{"nacl.gout", Data("phonons/nacl.gout")},
                       {"nacl.dens", Data("phonons/nacl.dens")},
                       {"nacl.disp", Data("phonons/nacl.disp")},
                       {"nacl.kptaux", Data("phonons/nacl.kptaux")},
                       {"nacl.osc", Data("phonons/nacl.osc")}});
    ExpectAgreement("p/phonons/nacl.gout", {{"CanPlotPhononDispersion", "yes"}, {"CanPlotPhononDOS", "yes"}});
}

TEST_F(ResultAgreement, AFailedPhononRun)
{
    Folder("phonons", {{"nacl.dens", Data("phonons/nacl.dens")},
                       {"nacl.disp", Data("phonons/nacl.disp")},
                       {"nacl.kptaux", Data("phonons/nacl.kptaux")},
                       {"nacl.osc", Data("phonons/nacl.osc")}});
    QzTest::WriteFile(folder.File("p/phonons/nacl.gout"), QzTest::ReadFile(Data("phonons/nacl.gout")) +
                                                              QzTest::ReadFile(Data("readers/engine-error.gout")));
    const std::string failed = "no (The ZELM run failed: input file is empty)";
    ExpectAgreement("p/phonons/nacl.gout", {{"CanPlotOpticalProperties", failed},
                                            {"CanPlotPhononDispersion", failed},
                                            {"CanPlotPhononDOS", failed}});
}

TEST_F(ResultAgreement, AnArchiveWithItsLastFrameCut)
{
    // Cut right after the date line of the last of its five frames.
    const std::string whole = QzTest::ReadFile(Examples + "results/geomopt/rocksalt.arc");
    const std::size_t date = whole.rfind("!DATE");
    Folder("cut", {{"rocksalt.gout", Examples + "results/geomopt/rocksalt.gout"},
                   {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}});
    QzTest::WriteFile(folder.File("p/cut/rocksalt.arc"), whole.substr(0, whole.find('\n', date) + 1));
    ExpectAgreement("p/cut/rocksalt.gout", {{"CanViewEnergyEvolution", "yes"},
                                            {"CanUpdateStructure", "yes"},
                                            {"CanCreateTrajectory", "yes"}});
    EXPECT_NE(Run("results p/cut/rocksalt.gout").out.find("note: the last frame of \"" +
                                                          folder.File("p/cut/rocksalt.arc") +
                                                          "\" is cut short: the 4 whole frames before it are taken\n"),
              std::string::npos);
}

TEST_F(ResultAgreement, ADynamicsRunWithoutArchive)
{
    Folder("md", {{"rocksalt.gout", Examples + "results/dynamics/rocksalt.gout"},
                  {"rocksalt.trg", Examples + "results/dynamics/rocksalt.trg"},
                  {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}});
    const std::string noArchive = "no (No run in \"" + folder.File("p/md/") + "\" has an archive";
    ExpectAgreement("p/md/rocksalt.gout", {{"CanUpdateStructure", noArchive}, {"CanCreateTrajectory", noArchive}});
}

// The energy charts' answer reads the run's history as the command does: a
// pressure file it cannot read answers no with the command's reason.
TEST_F(ResultAgreement, ADynamicsRunWhosePressureFileCannotBeRead)
{
    const struct {
        const char* what;
        std::string answer;
    } rows[] = {
        {"fifo", "no (Unable to open ZELM pressure file"},
        {"folder", ""},  // whatever the answer, the command agrees
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(folder.File("p/md"));
        Folder("md", {{"rocksalt.gout", Examples + "results/dynamics/rocksalt.gout"},
                      {"rocksalt.trg", Examples + "results/dynamics/rocksalt.trg"},
                      {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}});
        const std::string pre = folder.File("p/md/rocksalt.pre");
        if (std::string(row.what) == "fifo")
            ASSERT_EQ(::mkfifo(pre.c_str(), 0600), 0);
        else
            fs::create_directory(pre);
        ExpectAgreement("p/md/rocksalt.gout", {{"CanViewEnergyEvolution", row.answer}});
    }
}

TEST_F(ResultAgreement, AnEmptyOrUnreadableDispersion)
{
    for (const std::string& dispersion : {std::string(), std::string("not a dispersion\n")}) {
        SCOPED_TRACE("\"" + dispersion + "\"");
        fs::remove_all(folder.File("p/phonons"));
        Folder("phonons", {{"nacl.gout", Data("phonons/nacl.gout")},
                           {"nacl.dens", Data("phonons/nacl.dens")},
                           {"nacl.kptaux", Data("phonons/nacl.kptaux")}});
        QzTest::WriteFile(folder.File("p/phonons/nacl.disp"), dispersion);
        ExpectAgreement("p/phonons/nacl.gout", {{"CanPlotPhononDispersion", "no ("}, {"CanPlotPhononDOS", "yes"}});
    }
}

TEST_F(ResultAgreement, AFit)
{
    Folder("fit", {{"fit.gout", Data("analysis/energy.gout")}, {"fit.res", Data("forcefield/fit.res")}});
    ExpectAgreement("p/fit/fit.gout", {{"CanImportLibrary", "yes"}});
}

} // namespace

TEST_F(ResultAgreement, ASpaceGroupDynamicsRunWithShellsOnSomeCores)
{
    // The asymmetric unit of two cores and one shell: the output does not
    // tell how many of the cell's sites are cores.
    std::string output = QzTest::ReadFile(Data("readers/spacegroup-dynamics.gout"));
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"irreducible atoms/shells =       2", "irreducible atoms/shells =       3"},
             {"Total number atoms/shells =       8", "Total number atoms/shells =      12"},
             {"      2 Cl    c    0.500000    0.500000    0.500000    -1.00000    1.000000\n",
              "      2 Cl    c    0.500000    0.500000    0.500000    -1.00000    1.000000\n"
              "      3 Cl    s    0.500000    0.500000    0.500000    -1.00000    1.000000\n"}}) {
        const std::size_t at = output.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        output.replace(at, from.size(), to);
    }
    Folder("md", {{"rocksalt.trg", Examples + "results/dynamics/rocksalt.trg"},
                  {"rocksalt.arc", Examples + "results/geomopt/rocksalt.arc"},  // the run that the command selects
                  {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}});
    QzTest::WriteFile(folder.File("p/md/rocksalt.gout"), output);
    const std::string unmatched = "no (The ZELM output lists the asymmetric unit (3 of 12 atoms and shells)";
    ExpectAgreement("p/md/rocksalt.gout", {{"CanViewEnergyEvolution", unmatched}, {"CanCreateTrajectory", unmatched}});
}

// A dynamics run whose trajectory file gives no header: its energy evolution
// (which builds the trajectory) and its answer both refuse it.
TEST_F(ResultAgreement, ATrajectoryFileThatGivesNoFrames)
{
    const std::string trajectory = QzTest::ReadFile(Examples + "results/dynamics/rocksalt.trg");
    const std::map<std::string, std::string> run = {
        {"rocksalt.gout", Examples + "results/dynamics/rocksalt.gout"},
        {"rocksalt.trg", Examples + "results/dynamics/rocksalt.trg"},
        {"rocksalt.mdynam", Examples + "results/dynamics/rocksalt.mdynam"},
        {"rocksalt.pre", Examples + "results/dynamics/rocksalt.pre"},
        {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}};
    const std::string noHeader = "no (Failed to read ZELM trajectory file header";
    const struct {
        const char* label;
        std::vector<RunFile> changed;
        std::string energy;
    } cases[] = {
        {"whole", {}, "yes"},
        {"empty", {{"rocksalt.trg", ""}}, noHeader},
        {"100 bytes", {{"rocksalt.trg", trajectory.substr(0, 100)}}, noHeader},
        // The frames before a last one cut short are taken.
        {"cut in its last frame", {{"rocksalt.trg", trajectory.substr(0, trajectory.size() - 10)}}, "yes"},
        {"random bytes", {{"rocksalt.trg", RandomBytes(trajectory.size())}}, noHeader},
        {"FIFO", {{"rocksalt.trg", "", true}}, noHeader},
        // A format version that is no number, which no frame can match.
        {"version not a number",
         {{"rocksalt.trg", trajectory.substr(0, 4) + std::string("\0\0\0\0\0\0\xf8\x7f", 8) + trajectory.substr(12)}},
         noHeader},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FolderWith("md", run, c.changed);
        ExpectAgreement("p/md/rocksalt.gout", {{"CanViewEnergyEvolution", c.energy}});
    }
}

// The files beside a phonon run's output that its optics, dispersion and
// density-of-states charts read, each empty, of no points or a FIFO.
TEST_F(ResultAgreement, PhononAndOpticsFilesThatGiveNothing)
{
    const std::map<std::string, std::string> run = {{"nacl.gout", Data("phonons/nacl.gout")},
                                                    {"nacl.dens", Data("phonons/nacl.dens")},
                                                    {"nacl.disp", Data("phonons/nacl.disp")},
                                                    {"nacl.kptaux", Data("phonons/nacl.kptaux")},
                                                    {"nacl.osc", Data("phonons/nacl.osc")}};
    const std::string noPoints = "no (The density-of-states file \"" + folder.File("p/nacl/nacl.dens") + "\" holds no";
    const struct {
        const char* label;
        std::vector<RunFile> changed;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"whole", {}, {{"CanPlotOpticalProperties", "yes"}, {"CanPlotPhononDOS", "yes"}}},
        {"empty .dens", {{"nacl.dens", ""}}, {{"CanPlotOpticalProperties", "yes"}, {"CanPlotPhononDOS", noPoints}}},
        {".dens of comments", {{"nacl.dens", "# frequency density\n#\n"}}, {{"CanPlotPhononDOS", noPoints}}},
        {"FIFO .dens",
         {{"nacl.dens", "", true}},
         {{"CanPlotOpticalProperties", "no (Unable to open ZELM .dens file"},
          {"CanPlotPhononDOS", "no (Unable to open ZELM .dens file"}}},
        {"FIFO .osc", {{"nacl.osc", "", true}}, {{"CanPlotPhononDOS", "no (Unable to open ZELM .osc file"}}},
        {"empty .osc", {{"nacl.osc", ""}}, {{"CanPlotOpticalProperties", "no ("}, {"CanPlotPhononDOS", "yes"}}},
        {"FIFO .disp", {{"nacl.disp", "", true}}, {{"CanPlotPhononDispersion", "no ("}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FolderWith("nacl", run, c.changed);
        ExpectAgreement("p/nacl/nacl.gout", c.expected);
        // A refused density of states leaves no chart behind, empty or not.
        if (c.expected.count("CanPlotPhononDOS") && c.expected.at("CanPlotPhononDOS") != "yes") {
            for (const auto& entry : fs::directory_iterator(folder.File("p/nacl")))
                EXPECT_EQ(entry.path().filename().string().find("Phonon DOS"), std::string::npos) << entry.path();
        }
    }
}

// A fit's dump, whole, cut at each place that matters, empty, garbage or a
// FIFO: the answer refuses what the import refuses, with its reason.
TEST_F(ResultAgreement, FitDumpsThatGiveNoLibrary)
{
    const std::string dump = QzTest::ReadFile(Data("forcefield/fit.res"));
    const std::map<std::string, std::string> run = {{"fit.gout", Data("analysis/energy.gout")},
                                                    {"fit.res", Data("forcefield/fit.res")}};
    const std::string named = "no (The dump file \"" + folder.File("p/fit/fit.res") + "\"";
    const std::size_t inInteraction = dump.find("1428.5") + 3;
    const struct {
        const char* label;
        std::vector<RunFile> changed;
        std::string answer;
    } cases[] = {
        {"whole", {}, "yes"},
        {"empty", {{"fit.res", ""}}, "no (Invalid dump file format - species block absent)"},
        {"garbage", {{"fit.res", "this is no dump\nnor is this\n"}}, "no (Invalid dump file format"},
        {"random bytes", {{"fit.res", RandomBytes(dump.size())}}, "no ("},
        {"cut after 300 bytes", {{"fit.res", dump.substr(0, 300)}}, named + " holds no interaction"},
        {"cut in an interaction line", {{"fit.res", dump.substr(0, inInteraction)}}, named + " is cut short"},
        {"cut before its observables", {{"fit.res", dump.substr(0, dump.find("observables"))}}, "yes"},
        {"species alone", {{"fit.res", "fit conp\nspecies\nMg core 2.0\nO core -2.0\ndump fit.grs\n"}},
         named + " holds no interaction"},
        {"FIFO", {{"fit.res", "", true}}, "no (Cannot open the dump file"},
        {"potentials of forms kept as text",
         {{"fit.res", "fit noflags\nspecies\nFe core 0.0\nS core 0.0\nbondorder0_bond 50.0 9.5469 0 0\ndump fitting.grs\n"}},
         "yes"},
        {"its only value not a number",
         {{"fit.res", "fit\nspecies\nMg core 2.0\nO core -2.0\nbuck\nMg core O core nan 0.3 0.0 0.0 10.0 1 0\ndump x\n"}},
         named + " gives \"nan\", which is no number"},
        {"larger than a dump can be", {{"fit.res", "sparse"}}, "no (Cannot open the dump file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FolderWith("fit", run, c.changed);
        if (!c.changed.empty() && c.changed.front().bytes == "sparse")
            fs::resize_file(folder.File("p/fit/fit.res"), (std::uintmax_t{256} << 20) + 1);
        // The question writes nothing, not even a file it removes again: the
        // folder stays as it was to the nanosecond.
        const fs::file_time_type before = fs::last_write_time(folder.File("p/fit"));
        EXPECT_EQ(Bounded("results p/fit/fit.gout").code, 0);
        EXPECT_TRUE(fs::last_write_time(folder.File("p/fit")) == before) << "the question wrote in the run's folder";
        ExpectAgreement("p/fit/fit.gout", {{"CanImportLibrary", c.answer}});
        EXPECT_EQ(fs::exists(folder.File("p/fit/fit.lib")), c.answer == "yes");
    }
}

// The charts of a run's energy evolution on a full disk: the command gives
// the system's reason of the write that failed, whichever file it was.
TEST_F(ResultAgreement, EnergyEvolutionOnAFullDiskGivesTheSystemsReason)
{
    const struct {
        const char* label;
        const char* run;
        bool trajectoryBuilt;  // only the charts are written
        unsigned long limit;
    } cases[] = {
        {"optimisation, trajectory", "geomopt", false, 1024},
        {"optimisation, charts", "geomopt", true, 1024},
        {"dynamics, trajectory", "dynamics", false, 1024},
        {"dynamics, charts", "dynamics", true, 1024},
        {"dynamics, trajectory document", "dynamics", false, 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(folder.File("p/run"));
        fs::copy(Examples + "results/" + c.run, folder.File("p/run"));
        fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("p/run/rocksalt.qsd"));
        if (c.trajectoryBuilt) {
            ASSERT_EQ(Bounded("analyse p/run/rocksalt.gout energy").code, 0);
            for (const auto& entry : fs::directory_iterator(folder.File("p/run")))
                if (entry.path().extension() == ".qcd")
                    fs::remove(entry.path());
        }
        const QzTest::DriverOutcome outcome = Bounded("analyse p/run/rocksalt.gout energy", c.limit);
        ASSERT_TRUE(outcome.exited) << outcome.err;
        EXPECT_EQ(outcome.code, 1) << outcome.out;
        EXPECT_NE(outcome.err.find("File too large"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("Input/output error"), std::string::npos) << outcome.err;
    }
}

// Where the charts and the fitted library are made: each answer is its
// command's own preparation, which reads the settings and the charts that
// stand and asks the results folder for new files without writing one. Each
// row a run whose answer said yes while its command failed.
TEST_F(ResultAgreement, ChartsAndLibrariesWhereTheCommandsCannotMakeThem)
{
    const std::map<std::string, std::map<std::string, std::string>> runs = {
        {"phonons",
         {{"nacl.gout", Data("phonons/nacl.gout")}, {"nacl.dens", Data("phonons/nacl.dens")},
          {"nacl.disp", Data("phonons/nacl.disp")}, {"nacl.kptaux", Data("phonons/nacl.kptaux")},
          {"nacl.osc", Data("phonons/nacl.osc")}}},
        {"fit", {{"fit.gout", Data("analysis/energy.gout")}, {"fit.res", Data("forcefield/fit.res")}}},
        {"geomopt",
         {{"rocksalt.gout", Examples + "results/geomopt/rocksalt.gout"},
          {"rocksalt.arc", Examples + "results/geomopt/rocksalt.arc"},
          {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}}},
        {"dynamics",
         {{"rocksalt.gout", Examples + "results/dynamics/rocksalt.gout"},
          {"rocksalt.trg", Examples + "results/dynamics/rocksalt.trg"},
          {"rocksalt.qsd", folder.File("p/rocksalt.qsd")}}},
    };
    const std::map<std::string, std::string> outputs = {
        {"phonons", "nacl.gout"}, {"fit", "fit.gout"}, {"geomopt", "rocksalt.gout"}, {"dynamics", "rocksalt.gout"}};
    // A chart of one graph, as the density of states is drawn.
    FolderWith("dos", runs.at("phonons"), {});
    ASSERT_EQ(Bounded("analyse p/dos/nacl.gout dos").code, 0);
    const std::string oneGraph = QzTest::ReadFile(folder.File("p/dos/nacl Phonon DOS.qcd"));
    fs::remove_all(folder.File("p/dos"));
    enum Place { InTheProject, LinkLeadingOut, Immutable };
    // "@" stands for the run's folder.
    const std::string out = "cannot be made: a symbolic link on the way to its folder leads out of the project.)";
    const std::string frozen = "cannot be made: Operation not permitted.)";
    const struct {
        const char* label;
        const char* run;
        Place place;
        std::vector<std::pair<std::string, std::string>> settings;  // of ZelmAnalysis
        std::vector<RunFile> changed;
        const char* folderInside;  // a folder made in the run's folder
        std::map<std::string, std::string> expected;
    } rows[] = {
        {"an empty frequency range", "phonons", InTheProject, {{"FinalFrequency", "0"}}, {}, nullptr,
         {{"CanPlotOpticalProperties",
           "no (Invalid combination of grid resolution, initial and final frequencies for optical plots.)"},
          {"CanPlotPhononDOS", "yes"}}},
        {"no incident direction", "phonons", InTheProject, {{"incoming_z", "0"}}, {}, nullptr,
         {{"CanPlotOpticalProperties", "no (Incident direction is ill defined.)"}}},
        {"phonons beyond a link", "phonons", LinkLeadingOut, {}, {}, nullptr,
         {{"CanPlotOpticalProperties", "no (The chart document \"@nacl Optical Properties.qcd\" " + out},
          {"CanPlotPhononDispersion", "no (The chart document \"@nacl Phonon Dispersion.qcd\" " + out},
          {"CanPlotPhononDOS", "no (The chart document \"@nacl Phonon DOS.qcd\" " + out}}},
        {"phonons in a folder that takes no file", "phonons", Immutable, {}, {}, nullptr,
         {{"CanPlotOpticalProperties", "no (The chart document \"@nacl Optical Properties.qcd\" " + frozen},
          {"CanPlotPhononDispersion", "no (The chart document \"@nacl Phonon Dispersion.qcd\" " + frozen},
          {"CanPlotPhononDOS", "no (The chart document \"@nacl Phonon DOS.qcd\" " + frozen}}},
        {"a fit beyond a link", "fit", LinkLeadingOut, {}, {}, nullptr,
         {{"CanImportLibrary", "no (The fitted library \"@fit.lib\" " + out}}},
        {"a folder in the library's place", "fit", InTheProject, {}, {}, "fit.lib",
         {{"CanImportLibrary", "no (Cannot open @fit.lib: it is a folder, not a file)"}}},
        // The answer's words, which the command now gives too (its writer
        // said "no file can be made in its folder").
        {"a fit in a folder that takes no file", "fit", Immutable, {}, {}, nullptr,
         {{"CanImportLibrary", "no (The fitted library \"@fit.lib\" " + frozen}}},
        // (A dynamics run: it has no archive, so the structure commands
        // refuse it whatever its folder. Its energy charts are tied to its
        // trajectory, which is built first.)
        {"a dynamics run beyond a link", "dynamics", LinkLeadingOut, {}, {}, nullptr,
         {{"CanViewEnergyEvolution", "no (The trajectory file \"@rocksalt.trj\" cannot be written: it lies in"}}},
        {"an energy chart that is no chart", "geomopt", InTheProject, {},
         {{"rocksalt Energies.qcd", "garbage\n"}}, nullptr,
         {{"CanViewEnergyEvolution", "no (The chart document \"@rocksalt Energies.qcd\" is not valid JSON"}}},
        {"a convergence chart of one graph", "geomopt", InTheProject, {}, {{"rocksalt Convergence.qcd", oneGraph}},
         nullptr,
         {{"CanViewEnergyEvolution", "no (The chart document \"@rocksalt Convergence.qcd\" is no chart of the run: "
                                     "its chart has 1 graph, and the run's chart draws 4."}}},
        {"an energy chart of one graph", "dynamics", InTheProject, {}, {{"rocksalt Energy.qcd", oneGraph}}, nullptr,
         {{"CanViewEnergyEvolution", "no (The chart document \"@rocksalt Energy.qcd\" is no chart of the run: "
                                     "its chart has 1 graph, and the run's chart draws 3."}}},
        {"a temperature chart that is no chart", "dynamics", InTheProject, {},
         {{"rocksalt Temperature.qcd", "{\"not\": \"a chart\"}\n"}}, nullptr, {{"CanViewEnergyEvolution", "no ("}}},
    };
    const std::string outside = folder.File("outside");
    const auto release = [&] {
        if (std::system(("chattr -i '" + folder.File("p/run") + "' 2>/dev/null").c_str()) != 0) {
            // not frozen
        }
        fs::remove_all(folder.File("p/run"));
        fs::remove_all(outside);
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        release();
        if (row.place == LinkLeadingOut) {
            FolderWith("outside-run", runs.at(row.run), row.changed);
            fs::rename(folder.File("p/outside-run"), outside);
            fs::create_directory_symlink(outside, folder.File("p/run"));
        } else {
            FolderWith("run", runs.at(row.run), row.changed);
        }
        if (row.folderInside)
            fs::create_directory(folder.File("p/run/") + row.folderInside);
        if (row.place == Immutable &&
            std::system(("chattr +i '" + folder.File("p/run") + "' 2>/dev/null").c_str()) != 0) {
            std::cout << "[ skipped ] " << row.label << ": no immutable folder here (chattr +i)\n";
            continue;
        }
        for (const auto& [name, value] : row.settings)
            ASSERT_EQ(Bounded("state --project p ZelmAnalysis " + name + " " + value).code, 0);
        std::map<std::string, std::string> expected;
        for (auto [question, answer] : row.expected) {
            for (std::size_t at = answer.find('@'); at != std::string::npos; at = answer.find('@', at))
                answer.replace(at, 1, folder.File("p/run/"));
            expected[question] = answer;
        }
        ExpectAgreement("p/run/" + outputs.at(row.run), expected);
        // A refused chart or library is no file of the run's folder.
        for (const auto& entry : fs::directory_iterator(folder.File("p/run")))
            EXPECT_EQ(entry.path().extension() == ".lib" && !fs::is_directory(entry.path()), false) << entry.path();
        for (const auto& [name, value] : row.settings)
            Bounded("state --project p ZelmAnalysis " + name + " " + (name == "FinalFrequency" ? "1000" : "1"));
    }
    release();
}
