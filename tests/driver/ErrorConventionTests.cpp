// The driver's error convention: a failure is "zelm-host: <reason>" on
// standard error with exit code 1, a usage error names what is wrong with
// exit code 2, and nothing of a failure goes to standard output.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "DriverRun.h"
#include "common/TempFolder.h"

namespace {

const std::string modulePath = std::string(QZ_LIB_DIR) + "/libQorZelm.so";

class ErrorConvention : public ::testing::Test {
protected:
    QzTest::DriverOutcome Run(const std::string& arguments) const
    {
        return QzTest::RunDriver(folder_.Path(), folder_.File("registry.json"), arguments);
    }

    QzTest::TempFolder folder_{"driver-errors"};
};

// Every line of standard error carries the driver's prefix, except CLI
// help's hint.
void ExpectPrefixed(const std::string& err)
{
    std::istringstream lines(err);
    std::string line;
    int prefixed = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("Run with --help", 0) == 0) {
            continue;
        }
        EXPECT_EQ(line.rfind("zelm-host: ", 0), 0u) << line;
        ++prefixed;
    }
    EXPECT_GT(prefixed, 0) << "nothing on standard error";
}

struct Failure {
    const char* name;
    std::string arguments;
    int code;
    std::vector<std::string> said;  // what standard error must say
};

TEST_F(ErrorConvention, FailuresGoToStandardErrorWithTheirExitCode)
{
    QzTest::WriteFile(folder_.File("not-a-library.so"), "plain text\n");
    const std::string otherLibrary = std::string(QZ_LIB_DIR) + "/libDravix.so";
    const std::vector<Failure> failures{
        // Usage errors name the unknown command or what is missing.
        {"no command", "", 2, {"a command is required", "import"}},
        {"unknown command", "frobnicate now", 2, {"unknown command \"frobnicate\"", "register"}},
        {"unknown option", "--frobnicate", 2, {"--frobnicate"}},
        {"missing argument", "import", 2, {"import: ", "file is required"}},
        {"missing logic", "state --project .", 2, {"state: ", "logic is required"}},
        {"argument too many", "state ZelmLogic Task 1 extra", 2, {"extra"}},
        {"unknown option of a command", "create --all", 2, {"--all"}},
        // Module commands.
        {"register a missing module", "register missing/libQorZelm.so", 1, {"missing/libQorZelm.so"}},
        {"register a file that is no library", "register not-a-library.so", 1, {"not-a-library.so"}},
        {"unregister a library that is no module", "unregister " + otherLibrary, 1,
         {"does not export DllUnregisterServer"}},
        {"create with an empty registry", "create", 1, {"no registered class"}},
        {"create an unknown class", "create QorZelm.Nope", 1, {"\"QorZelm.Nope\""}},
        // A host command.
        {"show a missing document", "show none.qsd", 1, {"\"none.qsd\" does not exist"}},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.name);
        const QzTest::DriverOutcome outcome = Run(failure.arguments);
        ASSERT_TRUE(outcome.exited) << "crashed";
        EXPECT_EQ(outcome.code, failure.code) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        ExpectPrefixed(outcome.err);
        for (const std::string& text : failure.said) {
            EXPECT_NE(outcome.err.find(text), std::string::npos) << outcome.err;
        }
    }
}

TEST_F(ErrorConvention, CreateFailsWhenAnyClassIsNotCreated)
{
    const QzTest::DriverOutcome registered = Run("register '" + modulePath + "'");
    ASSERT_EQ(registered.code, 0) << registered.err;
    EXPECT_EQ(registered.err, "");

    // "classes" marks the classes this build does not have; creating each
    // agrees with its mark.
    const QzTest::DriverOutcome listed = Run("classes");
    ASSERT_EQ(listed.code, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::string line;
    std::vector<std::string> progIds;
    bool anyMissing = false;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] != '{') {
            continue;
        }
        std::istringstream fields(line);
        std::string clsid;
        std::string progId;
        fields >> clsid >> progId;
        progIds.push_back(progId);
        const bool missing = line.find("(not in this build)") != std::string::npos;
        anyMissing = anyMissing || missing;
        SCOPED_TRACE(progId);
        const QzTest::DriverOutcome created = Run("create " + progId);
        ASSERT_TRUE(created.exited);
        if (missing) {
            EXPECT_EQ(created.code, 1);
            ExpectPrefixed(created.err);
            EXPECT_NE(created.err.find(progId + ": not created"), std::string::npos) << created.err;
            EXPECT_NE(created.out.find("0 of 1 classes created"), std::string::npos) << created.out;
        } else {
            EXPECT_EQ(created.code, 0) << created.err;
            EXPECT_EQ(created.err, "");
            EXPECT_NE(created.out.find(progId + ": created"), std::string::npos) << created.out;
        }
    }
    ASSERT_EQ(progIds.size(), 7u) << listed.out;

    // An unknown ProgID among known ones: it is named, the others are still
    // tried, and the run fails.
    const QzTest::DriverOutcome mixed = Run("create QorZelm.Nope " + progIds.front());
    EXPECT_EQ(mixed.code, 1);
    EXPECT_NE(mixed.err.find("\"QorZelm.Nope\""), std::string::npos) << mixed.err;
    EXPECT_NE(mixed.out.find(" of 1 classes created"), std::string::npos) << mixed.out;

    // Creating all of them fails exactly when one is not in this build.
    const QzTest::DriverOutcome all = Run("create");
    EXPECT_EQ(all.code, anyMissing ? 1 : 0) << all.err;
}

}  // namespace
