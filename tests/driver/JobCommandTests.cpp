// The driver's job commands as a new user runs them on the rock salt: the
// checks, the exported input files, a run and a start of the exported deck.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include "common/TempFolder.h"

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class JobCommand : public ::testing::Test {
protected:
    Result Run(const std::string& arguments) const
    {
        Result result;
        const std::string errFile = folder.File("stderr.txt");
        const std::string command = "cd " + folder.Path() + " && " + std::string(QZ_BIN_DIR) +
                                    "/zelm-host --registry registry.json " + arguments + " 2>" + errFile;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) {
            return result;
        }
        char buffer[4096];
        size_t read = 0;
        while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            result.out.append(buffer, read);
        }
        const int status = pclose(pipe);
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = QzTest::ReadFile(errFile);
        return result;
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

    result = Run("run p/rocksalt.qsd --task GeomOpt");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Has(result.out, "  description:  GeomOpt\n  prefix:       rocksalt\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "    UpdateInterval \"30\"\n    SeedName \"rocksalt\"\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "    0x31  0x0   \"rocksalt\"  ")) << result.out;
    EXPECT_TRUE(Has(result.out, "staged in ")) << result.out;
    EXPECT_TRUE(Has(result.out, "delivery: ")) << result.out;
    // The saved state still says Energy: the deck decides the started task.
    result = Run("start \"p/rocksalt ZELM GeomOpt/rocksalt.gin\"");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Has(result.out, "  description:  GeomOpt\n")) << result.out;
    EXPECT_TRUE(Has(result.out, "rocksalt ZELM GeomOpt/rocksalt.gin\n")) << result.out;
    EXPECT_EQ(std::filesystem::exists(folder.File("p/.server/rocksalt_2/rocksalt.gin")), true);

    // A structure is no deck to start.
    result = Run("start p/rocksalt.qsd");
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(Has(result.err, "is not a saved ZELM deck (.gin)")) << result.err;
}
