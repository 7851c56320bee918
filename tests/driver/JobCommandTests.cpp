// The driver's job commands as a new user runs them on the rock salt: the
// checks, the exported input files, a run and a start of the exported deck.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

using Result = QzTest::DriverOutcome;

class JobCommand : public ::testing::Test {
protected:
    Result Run(const std::string& arguments) const
    {
        return QzTest::RunDriver(folder.Path(), "registry.json", arguments);
    }

    void Step(const std::string& arguments) const
    {
        const Result result = Run(arguments);
        ASSERT_EQ(result.code, 0) << arguments << "\n" << result.out << result.err;
    }

    void SetUp() override
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + examples + "rocksalt.cif --project p");
        std::filesystem::copy_file(examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
        Step("state --project p ZelmLogic library rocksalt");
    }

    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    QzTest::TempFolder folder{"job-command"};
};

} // namespace

TEST_F(JobCommand, CheckExportRunAndStart)
{
    QzTest::WriteFile(folder.File("p/sodium.lib"), "species\nNa core 1.0\n");
    Step("state --project p ZelmLogic library sodium");
    Result result = Run("check p/rocksalt.qsd --make-p1");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Has(result.out, "all atoms in the library:   no\n  missing elements: Cl\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "P1:                         yes\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "can start files:            no\n")) << result.out;
    Step("state --project p ZelmLogic library rocksalt");

    result = Run("export p/rocksalt.qsd --task GeomOpt");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Has(result.out, "rocksalt ZELM GeomOpt:\n  rocksalt.gin\n  rocksalt.qms\n  rocksalt.qsd\n"
                                "  rocksalt.trjaux\n  selectedLibrary.libaux\n"))
        << result.out;

    // Without an engine the job is staged and not run: that is no success.
    result = Run("run p/rocksalt.qsd --task GeomOpt");
    ASSERT_EQ(result.code, 1) << result.out << result.err;
    EXPECT_TRUE(Has(result.err, "\" and not run: the project \"" + folder.File("p") + "\" sets no engine")) << result.err;
    EXPECT_TRUE(Has(result.out, "  description:  GeomOpt\n  prefix:       rocksalt\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "    UpdateInterval \"30\"\n    SeedName \"rocksalt\"\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "    0x31  0x0   \"rocksalt\"  ")) << result.out;
    EXPECT_TRUE(Has(result.out, "staged in ")) << result.out;
    // Without an engine the job's life is delivered to the module's job object.
    EXPECT_TRUE(Has(result.out, "delivered:\n  OnAttach: S_OK\n  OnJobStart: S_OK\n  OnJobComplete: S_OK\n"))
        << result.out;
    // The saved state still says Energy: the deck decides the started task.
    result = Run("start \"p/rocksalt ZELM GeomOpt/rocksalt.gin\"");
    ASSERT_EQ(result.code, 1) << result.out << result.err;
    EXPECT_TRUE(Has(result.err, "the job was staged in \"" + folder.File("p/.server/rocksalt_2") + "\" and not run"))
        << result.err;
    EXPECT_TRUE(Has(result.out, "  description:  GeomOpt\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "rocksalt ZELM GeomOpt/rocksalt.gin\n")) << result.out;
    EXPECT_EQ(std::filesystem::exists(folder.File("p/.server/rocksalt_2/rocksalt.gin")), true);

    // A structure is no deck to start.
    result = Run("start p/rocksalt.qsd");
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(Has(result.err, "is not a saved ZELM deck (.gin)")) << result.err;
}
