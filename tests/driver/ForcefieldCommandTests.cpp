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
