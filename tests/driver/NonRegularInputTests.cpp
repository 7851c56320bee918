// Every file a command reads, found as a FIFO, a folder or a link to a
// device: the command ends (a child that outlives a generous bound is killed
// and fails the test) and its refusal names the file and what it is.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;

// What is put in place of the file, and how a refusal names it.
struct Stand {
    const char* kind;
    const char* named;
};
const Stand Stands[] = {
    {"FIFO", "a pipe (FIFO), not a regular file"},
    {"folder", "a folder, not a file"},
    {"link to /dev/zero", "a device, not a regular file"},
};

class NonRegularInputs : public QzTest::DriverTest {
protected:
    NonRegularInputs() : DriverTest("non-regular-inputs") {}

    void SetUp() override
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        RockSaltProject();
        Step("export p/rocksalt.qsd --task GeomOpt");
        for (const char* run : {"geomopt", "dynamics", "phonons"}) {
            fs::copy(examples + "results/" + run, folder.File(std::string("p/") + run));
            fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File(std::string("p/") + run + "/rocksalt.qsd"));
        }
        // The phonon run's deck asks for densities of states.
        QzTest::WriteFile(folder.File("p/phonons/rocksalt.gin"), "opti phon\nshrink 2 2 2\n");
        fs::create_directories(folder.File("p/fit"));
        QzTest::WriteFile(folder.File("p/fit/a.gout"), "output\n");
        fs::copy_file(std::string(QZ_TEST_DATA) + "/forcefield/fit.res", folder.File("p/fit/a.res"));
        // A trajectory document with its frames beside it.
        Step("analyse p/geomopt/rocksalt.gout energy --select EnEvol=rocksalt.gout");
        ASSERT_TRUE(fs::exists(folder.File("p/geomopt/rocksalt.trj")));
        // The engine settings and the user's accepted commands.
        Step("engine --project p --stub");
    }

    // Runs the driver with a bound on its time; false when it had to be killed.
    bool RunBounded(const std::string& arguments, const std::string& registry, std::string& said) const
    {
        const std::string out = folder.File("bounded-out.txt");
        const std::string command =
            "cd '" + folder.Path() + "' && " +
            QzTest::Bounded("QZ_USER_SETTINGS='" + folder.File("user-settings") + "'",
                            "'" + QzTest::DriverPath() + "' --registry '" + registry + "' " + arguments, 20) +
            " >'" + out + "' 2>&1 </dev/null";
        const int status = std::system(command.c_str());
        said = QzTest::ReadFile(out);
        return !QzTest::KilledByBound(status);
    }

    // Puts `stand` in place of the file (kept aside, and put back after).
    void Replace(const std::string& file, const Stand& stand) const
    {
        fs::rename(file, file + ".kept");
        const std::string kind = stand.kind;
        if (kind == "FIFO")
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0) << file;
        else if (kind == "folder")
            fs::create_directory(file);
        else
            fs::create_symlink("/dev/zero", file);
    }
    static void Restore(const std::string& file)
    {
        fs::remove(file);
        fs::rename(file + ".kept", file);
    }
};

// Whether one line of the text names the file and says what it is.
bool NamedOnOneLine(const std::string& text, const std::string& file, const std::string& what)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.find(file) != std::string::npos && line.find(what) != std::string::npos)
            return true;
    return false;
}

TEST_F(NonRegularInputs, NoCommandWaitsAndEachRefusalNamesTheFile)
{
    const std::string deck = "\"p/rocksalt ZELM GeomOpt/rocksalt.gin\"";
    struct Case {
        std::string file;       // in the test's folder
        std::string arguments;  // the command reading it
    };
    const std::vector<Case> cases{
        {"p/fit/a.res", "analyse p/fit/a.gout library"},
        {"p/phonons/rocksalt.osc", "analyse p/phonons/rocksalt.gout optics"},
        {"p/phonons/rocksalt.osc", "results p/phonons/rocksalt.gout"},
        {"p/phonons/rocksalt.gin", "analyse p/phonons/rocksalt.gout dos"},
        {"p/phonons/rocksalt.dens", "analyse p/phonons/rocksalt.gout dos"},
        {"p/phonons/rocksalt.disp", "analyse p/phonons/rocksalt.gout dispersion"},
        {"p/phonons/rocksalt.kptaux", "analyse p/phonons/rocksalt.gout dispersion"},
        {"p/geomopt/rocksalt.arc", "analyse p/geomopt/rocksalt.gout structure p/rocksalt.qsd"},
        {"p/geomopt/rocksalt.arc", "results p/geomopt/rocksalt.gout"},
        {"p/geomopt/rocksalt.arc", "analyse p/geomopt/rocksalt.gout trajectory p/geomopt/rocksalt.qsd --select Trajectory=rocksalt.gout"},
        {"p/dynamics/rocksalt.trg", "trajectory p/dynamics/rocksalt --document p/rocksalt.qsd"},
        {"p/dynamics/rocksalt.trg", "trg p/dynamics/rocksalt.trg"},
        {"p/geomopt/rocksalt.trj", "show p/geomopt/rocksalt.qtd"},
        {"p/rocksalt.lib", "forcefield --project p show"},
        {"p/rocksalt ZELM GeomOpt/selectedLibrary.libaux", "start " + deck},
        {"p/host-settings.json", "engine --project p"},
        {"p/host-settings.json", "run p/rocksalt.qsd --task Energy"},
        {"user-settings/accepted-engines.json", "run p/rocksalt.qsd --task Energy"},
        {"registry.json", "classes"},
    };
    for (const Case& c : cases) {
        for (const Stand& stand : Stands) {
            SCOPED_TRACE(c.arguments + " with " + c.file + " a " + stand.kind);
            const std::string file = folder.File(c.file);
            Replace(file, stand);
            std::string said;
            const bool ended = RunBounded(c.arguments, folder.File("registry.json"), said);
            Restore(file);
            ASSERT_TRUE(ended) << "killed after 20 s\n" << said;
            // A link that leads out of its folder is refused as such: what
            // it leads to is never opened.
            const std::string name = fs::path(c.file).filename().string();
            EXPECT_TRUE(NamedOnOneLine(said, name, stand.named) ||
                        (std::string(stand.kind).rfind("link", 0) == 0 &&
                         (NamedOnOneLine(said, name, "is not in the current project: a link leads it to") ||
                          NamedOnOneLine(said, name, "is a symbolic link to \"/dev/zero\", outside "))))
                << said;
        }
    }
}

}  // namespace

// A document named on the command line that is no regular file is refused
// as what it is, not as a file that does not exist.
TEST_F(NonRegularInputs, ADocumentThatIsNoFileIsRefusedAsWhatItIs)
{
    const std::vector<std::string> commands{"show p/x.qsd", "deck p/x.qsd", "check p/x.qsd", "types p/x.qsd",
                                            "update-structure p/x.qsd p/geomopt/rocksalt.arc",
                                            "import-result p/x.qsd"};
    for (const Stand& stand : Stands) {
        fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("p/x.qsd"));
        Replace(folder.File("p/x.qsd"), stand);
        for (const std::string& command : commands) {
            SCOPED_TRACE(command + " with a " + stand.kind);
            std::string said;
            ASSERT_TRUE(RunBounded(command, folder.File("registry.json"), said)) << "killed after 20 s\n" << said;
            EXPECT_NE(said.find("the document \"p/x.qsd\" is " + std::string(stand.named)), std::string::npos) << said;
        }
        Restore(folder.File("p/x.qsd"));
        fs::remove(folder.File("p/x.qsd"));
    }
}
