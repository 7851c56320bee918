// The driver's host commands, run as a user runs them: the built zelm-host
// in a temporary folder of each test's own, with a registry of its own.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using QzTest::ReadFile;

const std::string modulePath = std::string(QZ_LIB_DIR) + "/libQorZelm.so";
const std::string rockSalt = std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.cif";
const std::string driverData = std::string(QZ_TEST_DATA) + "/driver";

using Outcome = QzTest::DriverOutcome;

size_t Count(const std::string& text, const std::string& word)
{
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + word.size())) {
        ++count;
    }
    return count;
}

class HostCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qz-driver-XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        folder_ = made;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Runs the driver in the test's folder with the test's registry.
    Outcome Run(const std::string& arguments) const
    {
        return QzTest::RunDriver(folder_, folder_ + "/registry.json", arguments);
    }

    // A project "p" holding the rock-salt example as "rocksalt.qsd".
    void MakeRockSaltProject()
    {
        Outcome made = Run("project p");
        ASSERT_EQ(made.code, 0) << made.out << made.err;
        Outcome imported = Run("import " + rockSalt + " --project p");
        ASSERT_EQ(imported.code, 0) << imported.out << imported.err;
    }

    std::string Path(const std::string& relative) const { return folder_ + "/" + relative; }

    std::string folder_;
};

TEST_F(HostCommands, ProjectHoldsTheHostsDefaultState)
{
    Outcome made = Run("project p");
    ASSERT_EQ(made.code, 0) << made.err;
    ASSERT_TRUE(fs::is_regular_file(Path("p/project-state.json")));

    // The definitions' defaults: a long, a double, a bool and an enum by its text.
    Outcome state = Run("state --project p ZelmLogic");
    ASSERT_EQ(state.code, 0) << state.err;
    EXPECT_NE(state.out.find("Task = 1 (Energy)\n"), std::string::npos) << state.out;
    EXPECT_NE(state.out.find("conp = "), std::string::npos) << state.out;
    Outcome template_ = Run("state --project p QMJobTemplate AutomateJobPrefix");
    ASSERT_EQ(template_.code, 0) << template_.err;
    EXPECT_FALSE(template_.out.empty());
}

TEST_F(HostCommands, ImportAndShowRockSalt)
{
    MakeRockSaltProject();
    ASSERT_TRUE(fs::is_regular_file(Path("p/rocksalt.qsd")));

    Outcome shown = Run("show p/rocksalt.qsd");
    ASSERT_EQ(shown.code, 0) << shown.err;
    const std::string& text = shown.out;
    EXPECT_NE(text.find("Document: rocksalt"), std::string::npos) << text;
    EXPECT_NE(text.find("a=5.640200 b=5.640200 c=5.640200"), std::string::npos) << text;
    EXPECT_NE(text.find("alpha=90.0000 beta=90.0000 gamma=90.0000"), std::string::npos) << text;
    EXPECT_NE(text.find("Space group: F m -3 m (No. 225)"), std::string::npos) << text;
    EXPECT_NE(text.find("centring F"), std::string::npos) << text;
    // 48 point operations under 4 centring translations.
    EXPECT_NE(text.find("Operators: 192 (list them with --operators)"), std::string::npos) << text;
    // The conventional cell: 4 Na and 4 Cl, one parent of each with 3 images.
    EXPECT_NE(text.find("Atoms (8):"), std::string::npos) << text;
    EXPECT_EQ(Count(text, " Na  "), 4u) << text;
    EXPECT_EQ(Count(text, " Cl  "), 4u) << text;
    EXPECT_EQ(Count(text, "parent, multiplicity 4"), 2u) << text;
    EXPECT_EQ(Count(text, "image of "), 6u) << text;
    // Fractional and Cartesian positions of the chlorine parent.
    EXPECT_NE(text.find("0.500000 0.500000 0.500000 | 2.820100 2.820100 2.820100"), std::string::npos) << text;
    // The formal charges the type symbols carry.
    EXPECT_NE(text.find("  +1  "), std::string::npos) << text;
    EXPECT_NE(text.find("  -1  "), std::string::npos) << text;
    EXPECT_NE(text.find("Named sets: none"), std::string::npos) << text;
}

TEST_F(HostCommands, ImportNeverReplacesAnExistingDocument)
{
    MakeRockSaltProject();
    const std::string first = ReadFile(Path("p/rocksalt.qsd"));

    Outcome again = Run("import " + rockSalt + " --project p");
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(ReadFile(Path("p/rocksalt.qsd")), first);
    EXPECT_TRUE(fs::is_regular_file(Path("p/rocksalt_2.qsd"))) << again.out;

    // A name is made safe: it never reaches outside the project.
    Outcome named = Run("import " + rockSalt + " --project p --name ../halite");
    ASSERT_EQ(named.code, 0) << named.err;
    EXPECT_FALSE(fs::exists(Path("halite.qsd")));
    EXPECT_TRUE(fs::is_regular_file(Path("p/.._halite.qsd"))) << named.out;
    Outcome shown = Run("show p/.._halite.qsd");
    ASSERT_EQ(shown.code, 0) << shown.err;
    EXPECT_NE(shown.out.find("Document: ../halite"), std::string::npos) << shown.out;
}

TEST_F(HostCommands, StateValuesPersistInTheProject)
{
    ASSERT_EQ(Run("project p").code, 0);

    Outcome set = Run("state --project p ZelmLogic Task 3");
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(set.out, "ZelmLogic.Task = 3 (Dynamics)\n");
    Outcome got = Run("state --project p ZelmLogic Task");
    ASSERT_EQ(got.code, 0) << got.err;
    EXPECT_EQ(got.out, "3 (Dynamics)\n");

    // An enum by its text or its number, an array as a list.
    EXPECT_EQ(Run("state --project p ZelmAnalysis FrequencyUnits THz").out, "ZelmAnalysis.FrequencyUnits = THz\n");
    EXPECT_EQ(Run("state --project p ZelmAnalysis FrequencyUnits 2").out, "ZelmAnalysis.FrequencyUnits = eV\n");
    EXPECT_NE(Run("state --project p ZelmAnalysis FrequencyUnits kelvin").code, 0);
    ASSERT_EQ(Run("state --project p ObservableData UseObservable '[true, false]'").code, 0);
    EXPECT_EQ(Run("state --project p ObservableData UseObservable").out, "[true,false]\n");
    EXPECT_EQ(Run("state --project p ZelmAnalysis FrequencyUnits").out, "eV\n");

    // Making the project again keeps what was set.
    Outcome again = Run("project p");
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_NE(again.out.find("exists already"), std::string::npos) << again.out;
    EXPECT_EQ(Run("state --project p ZelmLogic Task").out, "3 (Dynamics)\n");

    // A refused value changes nothing.
    Outcome refused = Run("state --project p ZelmLogic Task many");
    EXPECT_TRUE(refused.exited);
    EXPECT_NE(refused.code, 0);
    EXPECT_EQ(Run("state --project p ZelmLogic Task").out, "3 (Dynamics)\n");
}

TEST_F(HostCommands, StateRunsInTheCurrentFolderByDefault)
{
    ASSERT_EQ(Run("project .").code, 0);
    ASSERT_EQ(Run("state ZelmLogic Task 2").code, 0);
    EXPECT_EQ(Run("state --project . ZelmLogic Task").out, "2 (GeomOpt)\n");
}

TEST_F(HostCommands, LogShowsTheHostCallsMade)
{
    ASSERT_EQ(Run("project p").code, 0);
    Outcome imported = Run("import " + rockSalt + " --project p --log");
    ASSERT_EQ(imported.code, 0) << imported.err;
    const std::string& log = imported.out;
    const size_t header = log.find("Operation log (");
    ASSERT_NE(header, std::string::npos) << log;
    const size_t created = log.find("DocumentManager.NewProjectDocument(\"SDDocuments.Atomistic3dDocument\"", header);
    const size_t exported = log.find("DocumentManager.ExportDocument(", header);
    EXPECT_NE(created, std::string::npos) << log;
    EXPECT_NE(exported, std::string::npos) << log;
    EXPECT_LT(created, exported);
    EXPECT_NE(log.find("SDModel3dImportExport.QSDImportExport", exported), std::string::npos) << log;

    // The log comes with every host command, before or after its arguments,
    // and without --log there is none.
    EXPECT_NE(Run("--log show p/rocksalt.qsd").out.find("DocumentManager.FindDocument("), std::string::npos);
    EXPECT_EQ(Run("show p/rocksalt.qsd").out.find("Operation log"), std::string::npos);
}

TEST_F(HostCommands, ModuleLogicsConnectWhenTheModuleIsRegistered)
{
    ASSERT_EQ(Run("register " + modulePath).code, 0);
    ASSERT_EQ(Run("project p").code, 0);
    Outcome state = Run("state --project p ZelmLogic --log");
    ASSERT_EQ(state.code, 0) << state.err;
    EXPECT_NE(state.out.find("Task = 1"), std::string::npos) << state.out;
    // The module's logics are reached through the registry: created, or named
    // with the module's own reason; none fails while connecting.
    EXPECT_EQ(state.out.find("Invalid class string"), std::string::npos) << state.out;
    // Only a build without the engine logic leaves the surface calculator,
    // which reads that logic's state, unconnected, and it says why.
    if (state.out.find("logic not created: ZelmLogic") != std::string::npos) {
        EXPECT_EQ(Count(state.out, "logic not connected"), 1u) << state.out;
        EXPECT_NE(state.out.find("logic not connected: QorZelm.Extension!SurfaceCalculator: "
                                 "CSurfaceCalculator::InitialiseOnConnect: The logic \"ZelmLogic\" was not found"),
                  std::string::npos)
            << state.out;
        return;
    }
    EXPECT_EQ(state.out.find("logic not connected"), std::string::npos) << state.out;
}

struct BadInput {
    const char* name;
    std::string arguments;
    const char* message;  // what stderr must say
};

TEST_F(HostCommands, BadInputFailsWithAClearMessage)
{
    ASSERT_EQ(Run("project p").code, 0);
    ASSERT_EQ(Run("import " + rockSalt + " --project p").code, 0);
    ASSERT_EQ(Run("project q").code, 0);
    fs::create_directory(Path("plain"));
    {
        std::ofstream(Path("p/notes.cif")) << "this is not a crystallographic file\n";
        std::ofstream(Path("p/empty.qsd")) << "";
    }
    fs::copy_file(driverData + "/truncated.cif", Path("p/truncated.cif"));
    fs::copy_file(driverData + "/not-a-structure.qsd", Path("p/broken.qsd"));

    const std::vector<BadInput> cases{
        {"missing CIF", "import p/none.cif --project p", "\"p/none.cif\" does not exist"},
        {"text that is no CIF", "import p/notes.cif --project p", "cannot be imported"},
        {"truncated CIF", "import p/truncated.cif --project p", "cannot be imported"},
        {"import outside a project", "import " + rockSalt + " --project plain", "is not a project folder"},
        {"import into a missing project", "import " + rockSalt + " --project nowhere", "does not exist"},
        {"unknown logic", "state --project p NoSuchLogic", "\"NoSuchLogic\" keeps no state"},
        {"unknown key", "state --project p ZelmLogic NoSuchKey", "NoSuchKey"},
        {"unknown key set", "state --project p ZelmLogic NoSuchKey 1", "NoSuchKey"},
        {"state outside a project", "state --project plain ZelmLogic", "is not a project folder"},
        {"missing document", "show p/none.qsd", "does not exist"},
        {"malformed document", "show p/broken.qsd", "cannot be read"},
        {"empty document", "show p/empty.qsd", "cannot be read"},
        {"document outside the project", "show p/rocksalt.qsd --project plain", "is not a project folder"},
        {"project over a file", "project p/rocksalt.qsd", "is not a folder"},
        {"document of another kind", "show p/notes.cif", "is not a structure document (.qsd)"},
        {"document outside the given project", "show p/rocksalt.qsd --project q", "in the project folder \"q\""},
    };
    for (const BadInput& bad : cases) {
        SCOPED_TRACE(bad.name);
        Outcome outcome = Run(bad.arguments);
        EXPECT_TRUE(outcome.exited) << "crashed";
        EXPECT_EQ(outcome.code, 1) << outcome.out << outcome.err;
        EXPECT_NE(outcome.err.find("zelm-host: "), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find(bad.message), std::string::npos) << outcome.err;
    }
    // Nothing was made by the failures.
    EXPECT_FALSE(fs::exists(Path("nowhere")));
    EXPECT_FALSE(fs::exists(Path("plain/project-state.json")));
    EXPECT_FALSE(fs::exists(Path("p/notes.qsd")));
    EXPECT_FALSE(fs::exists(Path("p/truncated.qsd")));
}

// Inputs that are not regular files are refused before they are read: a pipe
// would wait for a writer for ever and a device never ends.
TEST_F(HostCommands, InputsThatAreNoRegularFilesAreRefused)
{
    ASSERT_EQ(Run("register " + modulePath).code, 0);
    ASSERT_EQ(Run("project p").code, 0);
    for (const char* name : {"pipe.cif", "pipe.xyz", "pipe.gout", "pipe.qcd", "pipe.lib"})
        ASSERT_EQ(mkfifo(Path(std::string("p/") + name).c_str(), 0600), 0) << name;
    fs::create_symlink("/dev/zero", Path("p/zero.cif"));
    fs::create_directory(Path("p/folder.qcd"));

    const std::vector<BadInput> cases{
        {"CIF pipe", "import p/pipe.cif --project p", "the CIF file \"p/pipe.cif\" is a pipe (FIFO), not a regular file"},
        {"XYZ pipe", "import p/pipe.xyz --project p", "the XYZ file \"p/pipe.xyz\" is a pipe"},
        {"device", "import /dev/zero --project p", "\"/dev/zero\" is a device, not a regular file"},
        {"link to a device", "import p/zero.cif --project p", "\"p/zero.cif\" is a device"},
        {"engine output pipe", "read p/pipe", "the output file \"p/pipe.gout\" is a pipe"},
        {"results pipe", "analyse p/pipe.gout energy --project p", "the results file \"p/pipe.gout\" is a pipe"},
        {"chart pipe", "chart p/pipe.qcd --svg p/pipe.svg", "the chart document \"p/pipe.qcd\" is a pipe"},
        {"chart folder", "chart p/folder.qcd --svg p/folder.svg", "\"p/folder.qcd\" is a folder, not a file"},
        {"library pipe", "forcefield --project p show p/pipe.lib", "the library \"p/pipe.lib\" is a pipe"},
        {"selected library pipe", "deck p/rocksalt.qsd --project p", "pipe.lib\" is a pipe"},
    };
    ASSERT_EQ(Run("import " + rockSalt + " --project p").code, 0);
    ASSERT_EQ(Run("state --project p ZelmLogic library " + Path("p/pipe.lib")).code, 0);
    for (const BadInput& bad : cases) {
        SCOPED_TRACE(bad.name);
        Outcome outcome = Run(bad.arguments);
        EXPECT_EQ(outcome.code, 1) << outcome.out << outcome.err;
        EXPECT_NE(outcome.err.find(bad.message), std::string::npos) << outcome.err;
    }
}

// Import says how many sites merged into an earlier site of their element.
TEST_F(HostCommands, ImportSaysWhenSitesMerged)
{
    ASSERT_EQ(Run("project p").code, 0);
    {
        std::ofstream cif(Path("p/doubled.cif"));
        cif << "data_doubled\n_cell_length_a 5.6\n_cell_length_b 5.6\n_cell_length_c 5.6\n_cell_angle_alpha 90\n"
               "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\nloop_\n"
               "_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
               "_atom_site_fract_z\nNa1 Na 0 0 0\nNa2 Na 0 0 0\nNa3 Na 1.0 0 0\nCl1 Cl 0.5 0.5 0.5\n";
    }
    const Outcome outcome = Run("import p/doubled.cif --project p");
    ASSERT_EQ(outcome.code, 0) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("2 atoms, space group P 1\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("2 atom sites share the position of an earlier site of the same element and merged "
                               "into it (4 sites read, 2 kept)\n"),
              std::string::npos)
        << outcome.out;
}

TEST_F(HostCommands, CommandLineMistakesAreRefused)
{
    for (const char* arguments : {"import", "show", "state", "state ZelmLogic Task 1 extra", "project"}) {
        SCOPED_TRACE(arguments);
        Outcome outcome = Run(arguments);
        EXPECT_TRUE(outcome.exited);
        EXPECT_NE(outcome.code, 0);
    }
}

}  // namespace

TEST_F(HostCommands, ImportTakesAMoleculeAndNamesABadFileOnce)
{
    ASSERT_EQ(Run("project p").code, 0);
    Outcome molecule = Run("import " + std::string(QZ_TEST_DATA) + "/hostmodel/methanol.xyz --project p");
    ASSERT_EQ(molecule.code, 0) << molecule.out << molecule.err;
    Outcome shown = Run("show p/methanol.qsd");
    EXPECT_NE(shown.out.find("Lattice: none (not periodic)"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("Atoms (6):"), std::string::npos) << shown.out;

    {
        std::ofstream(Path("p/flat.cif")) << "data_flat\n_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n"
                                             "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
                                             "_atom_site_fract_z\nC1 0 0 0\n";
        std::ofstream(Path("p/cut.xyz")) << "3\nwater\nO 0 0 0.1173\n";
    }
    fs::copy_file(driverData + "/truncated.cif", Path("p/truncated.cif"));
    const std::vector<BadInput> cases{
        {"cell without angles", "import p/flat.cif --project p", "'_cell_angle_alpha') is missing"},
        {"broken CIF", "import p/truncated.cif --project p", "Line 10, column 1: Wrong number of values"},
        {"truncated molecule", "import p/cut.xyz --project p", "the XYZ file \"p/cut.xyz\" cannot be imported"},
    };
    for (const BadInput& bad : cases) {
        SCOPED_TRACE(bad.name);
        Outcome outcome = Run(bad.arguments);
        EXPECT_EQ(outcome.code, 1) << outcome.out << outcome.err;
        EXPECT_NE(outcome.err.find(bad.message), std::string::npos) << outcome.err;
        // "import <file> --project p": the message names the file once.
        const std::string file = fs::path(bad.arguments.substr(7, bad.arguments.find(" --") - 7)).filename().string();
        EXPECT_EQ(Count(outcome.err, file), 1u) << outcome.err;
    }
    EXPECT_FALSE(fs::exists(Path("p/flat.qsd")));
    EXPECT_FALSE(fs::exists(Path("p/cut.qsd")));
}
