// The driver's forcefield command on the bundled rock-salt library: show,
// edit and save as, show the saved copy, suggest, saved-to.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

using Result = QzTest::DriverOutcome;

class ForcefieldCommand : public ::testing::Test {
protected:
    Result Run(const std::string& arguments) const
    {
        return QzTest::RunDriver(folder.Path(), "registry.json", arguments);
    }

    void SetUp() override
    {
        for (const std::string& step : {"register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so", std::string("project p"),
                                       std::string("state --project p ZelmLogic library rocksalt")}) {
            const Result result = Run(step);
            ASSERT_EQ(result.code, 0) << step << "\n" << result.out << result.err;
        }
        std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.lib",
                                   folder.File("p/rocksalt.lib"));
    }

    static bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    QzTest::TempFolder folder{"forcefield-command"};
};

} // namespace

TEST_F(ForcefieldCommand, ShowEditSaveAsAndShowTheCopy)
{
    Result result = Run("forcefield --project p show");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Contains(result.out, "server: Zelm (can fit)\natom types:\n  Cl core  -1\n  Na core  1\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, "  [1] Two-body Buckingham (buck) #0: Cl core, Na core\n      A = 1170 eV\n"))
        << result.out;

    result = Run("forcefield --project p edit --charge 'Na core=1.25' --value 1.A=1200 --fit 1.rho=1 "
                 "--option 1.kcal=1 --save-as p/edited.lib");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::string saved = QzTest::ReadFile(folder.File("p/edited.lib"));
    EXPECT_TRUE(Contains(saved, "species\nCl core -1\nNa core 1.25\n")) << saved;
    EXPECT_TRUE(Contains(saved, "buck kcal\nCl core Na core 1200.0 0.3247 0.0 0.0 10.0 0 1 0\n")) << saved;
    EXPECT_EQ(QzTest::ReadFile(folder.File("p/rocksalt.lib")),
              QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.lib"));

    result = Run("forcefield --project p show p/edited.lib");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Contains(result.out, "  Na core  1.25\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, "      A = 1200 kcal\n      rho = 0.3247 \xC3\x85  (fit)\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, " kjmol=0 kcal=1 ")) << result.out;
}

TEST_F(ForcefieldCommand, SuggestSavedToAndClearFailures)
{
    Result result = Run("forcefield --project p suggest");
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out, folder.File("p/rocksalt_2.lib") + "\n");

    std::filesystem::copy_file(folder.File("p/rocksalt.lib"), folder.File("p/mine.lib"));
    result = Run("forcefield --project p saved-to p/mine.lib");
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out, "the library \"mine\" selects " + folder.File("p/mine.lib") + "\n");

    struct Failure {
        const char* arguments;
        const char* message;
    };
    for (const Failure& test :
         {Failure{"forcefield --project p saved-to elsewhere.lib", "zelm-host: Cannot save forcefield\n"},
          Failure{"forcefield --project p edit --value 2.A=1", "zelm-host: \"2.A\" names no interaction: expected "
                                                             "N.NAME with N from 1 to 1 as show numbers them\n"},
          Failure{"forcefield --project p edit --option 1.kcal=2", "zelm-host: the option \"kcal\" takes 0 or 1, "
                                                                 "not \"2\"\n"},
          Failure{"forcefield --project p show --save", "zelm-host: --charge, --value, --fit, --option, --save and "
                                                       "--save-as belong to the edit action\n"}}) {
        result = Run(test.arguments);
        EXPECT_EQ(result.code, 1) << test.arguments;
        EXPECT_EQ(result.err, test.message) << test.arguments;
    }
}

// A kept line of the library reaches the terminal as a short excerpt with
// its control characters escaped, not whole and raw.
TEST_F(ForcefieldCommand, KeptLibraryLinesAreShownAsShortEscapedExcerpts)
{
    std::string library = QzTest::ReadFile(folder.File("p/rocksalt.lib"));
    library += "\x1b[2J" + std::string(100000, 'k') + "\n";
    QzTest::WriteFile(folder.File("p/rocksalt.lib"), library);
    const Result result = Run("forcefield --project p show");
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_TRUE(Contains(result.out, "load warnings (")) << result.out.substr(0, 2000);
    EXPECT_TRUE(Contains(result.out, ": \\x1b[2Jkkk")) << result.out.substr(0, 2000);
    EXPECT_TRUE(Contains(result.out, "more characters)")) << result.out.substr(0, 2000);
    EXPECT_FALSE(Contains(result.out, "\x1b"));
    EXPECT_LT(result.out.size(), 5000u);
}

// show lists what the library holds in the order of its atom types, pairs
// once whichever way round they were given, interactions between the same
// atom types in the order they were given, whatever the order of the file.
TEST_F(ForcefieldCommand, ShowListsHeldInteractionsInAtomTypeOrder)
{
    const std::string library = std::string(QZ_TEST_DATA) + "/driver/shuffled.lib";
    const Result result = Run("forcefield --project p show '" + library + "'");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::size_t from = result.out.find("interactions:\n");
    ASSERT_NE(from, std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(from), QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/driver/shuffled-show.txt"));
}

// edit reaches the interaction show numbers: the second of two three-body
// terms between the same atom types, given last in the file.
TEST_F(ForcefieldCommand, EditAddressesTheInteractionShowNumbers)
{
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/driver/shuffled.lib", folder.File("p/shuffled.lib"));
    const Result result = Run("forcefield --project p edit p/shuffled.lib --value 9.k=9.5 --save-as p/edited.lib");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::string saved = QzTest::ReadFile(folder.File("p/edited.lib"));
    EXPECT_TRUE(Contains(saved, "O core Na core Cl core 7.0 ")) << saved;
    EXPECT_TRUE(Contains(saved, "O core Na core Cl core 9.5 ")) << saved;
    EXPECT_FALSE(Contains(saved, " 9.0 109.5")) << saved;
}

// The lines of a form the module does not read are neither listed as
// interactions of the form before them nor rewritten when another line is
// edited and the library saved: they come back as they stood, in their
// place, and are listed as kept.
TEST_F(ForcefieldCommand, AFormTheModuleDoesNotReadIsKeptAsItStands)
{
    const std::string unknown = "tersoff\n"
                                "Na core Cl core 2.0 0.5 0.0 0.0 8.0\n"
                                "  4.0 5.0\n"
                                "\n"
                                "Cl core Cl core 3.0 0.4 0.0 0.0 8.0\n";
    QzTest::WriteFile(folder.File("p/tersoff.lib"), "species\nNa core 1.0\nCl core -1.0\n\n"
                                                    "buck\nNa core Cl core 1170.0 0.3247 0.0 0.0 10.0\n" +
                                                        unknown + "buck\nCl core Cl core 1227.2 0.3214 3.47 0.0 10.0\n");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Result result = Run("forcefield --project p show p/tersoff.lib");
        ASSERT_EQ(result.code, 0) << result.out << result.err;
        EXPECT_TRUE(Contains(result.out, "  [1] Two-body Buckingham (buck) #0: Cl core, Cl core\n")) << result.out;
        EXPECT_TRUE(Contains(result.out, "  [2] Two-body Buckingham (buck) #0: Cl core, Na core\n")) << result.out;
        EXPECT_FALSE(Contains(result.out, "[3]")) << result.out;
        EXPECT_TRUE(Contains(result.out, "load warnings (4 lines kept as text, not read):\n")) << result.out;

        result = Run("forcefield --project p edit p/tersoff.lib --value 1.A=1300 --save");
        ASSERT_EQ(result.code, 0) << result.out << result.err;
        const std::string saved = QzTest::ReadFile(folder.File("p/tersoff.lib"));
        const std::size_t block = saved.find("\n" + unknown + "buck\n");
        ASSERT_NE(block, std::string::npos) << saved;
        EXPECT_LT(saved.find("Cl core Na core 1170.0"), block) << saved;
        EXPECT_NE(saved.find("Cl core Cl core 1300"), std::string::npos) << saved;
    }
}

// A fitted library converted on a disk that fills up (a bound on the size of
// every file the driver writes) is refused with the system's reason and never
// made with part of its interactions; without the bound it is made whole.
TEST_F(ForcefieldCommand, AFittedLibraryOnAFullDiskIsRefusedWhole)
{
    std::filesystem::create_directories(folder.File("p/fit"));
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/analysis/energy.gout", folder.File("p/fit/fit.gout"));
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/forcefield/fit.res", folder.File("p/fit/fit.res"));
    const auto convert = [&](unsigned long limit) {
        const std::string errFile = folder.File("limited-stderr.txt");
        const std::string command = "trap '' XFSZ; cd '" + folder.Path() + "' && QZ_USER_SETTINGS='" +
                                    folder.File("user-settings") + "' timeout -s KILL 60 " +
                                    (limit > 0 ? "prlimit --fsize=" + std::to_string(limit) + " " : std::string()) + "'" +
                                    QzTest::DriverPath() + "' --registry registry.json analyse p/fit/fit.gout library 2>&1 >/dev/null | cat >'" +
                                    errFile + "'";  // the error file is not the bounded driver's own
        const int status = std::system(command.c_str());
        Result result;
        result.exited = WIFEXITED(status);
        result.err = QzTest::ReadFile(errFile);
        // The status is the pipe's: a failure of the driver is its message.
        result.code = result.err.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
        return result;
    };
    const Result whole = convert(0);
    ASSERT_EQ(whole.code, 0) << whole.err;
    const std::string made = QzTest::ReadFile(folder.File("p/fit/fit.lib"));
    std::filesystem::remove(folder.File("p/fit/fit.lib"));
    for (const unsigned long limit : {1ul, 40ul, made.size() / 2, made.size() - 1}) {
        SCOPED_TRACE(limit);
        const Result cut = convert(limit);
        EXPECT_EQ(cut.code, 1) << cut.err;
        EXPECT_TRUE(Contains(cut.err, "File too large")) << cut.err;
        EXPECT_FALSE(Contains(cut.err, "Input/output error")) << cut.err;
        EXPECT_FALSE(std::filesystem::exists(folder.File("p/fit/fit.lib")));
        for (const auto& entry : std::filesystem::directory_iterator(folder.File("p/fit")))
            EXPECT_EQ(entry.path().filename().string().rfind("fit", 0), 0u) << entry.path();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.File("p/fit")),
                                std::filesystem::directory_iterator()),
                  2) << "nothing left beside the run's files";
    }
    EXPECT_EQ(convert(made.size()).code, 0);
    EXPECT_EQ(QzTest::ReadFile(folder.File("p/fit/fit.lib")), made);
}
