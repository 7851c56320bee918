// Runs the built zelm-host as a user runs it: in a given folder, with a
// registry file of the caller's own, capturing its output and exit code.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/ShellOutput.h"
#include "common/TempFolder.h"

namespace QzTest {

struct DriverOutcome {
    bool exited = false;  // false: killed by a signal (a crash)
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string DriverPath()
{
    return std::string(QZ_BIN_DIR) + "/zelm-host";
}

// Every program a test starts runs under a bound on its time and one on its
// memory, so that a command that waits on a FIFO or a device, or grows
// without end, is killed and fails its test instead of hanging the suite or
// filling the machine. The time bound covers the program's own children (the
// engine stand-in) too. The memory bound is an address-space limit, which the
// address sanitizer's reserved shadow memory cannot live with: sanitized
// builds keep the time bound only.
inline constexpr int ChildSeconds = 120;
inline constexpr long ChildMemoryKiB = 4L * 1024 * 1024;

inline bool UnderAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// The shell text that runs `program` (a command line as the shell reads it)
// within the bounds, with the variable assignments `environment` (for
// instance "NAME='value'") before it; the program is killed when it
// outlives `seconds`.
inline std::string Bounded(const std::string& environment, const std::string& program, int seconds = ChildSeconds)
{
    std::string text;
    if (!UnderAddressSanitizer())
        text = "ulimit -v " + std::to_string(ChildMemoryKiB) + " && ";
    if (!environment.empty())
        text += environment + " ";
    return text + "timeout -s KILL " + std::to_string(seconds) + " " + program;
}

// True for the status of a bounded program that had to be killed for its
// time (the timeout's own exit code) or died of a signal.
inline bool KilledByBound(int status)
{
    return (WIFEXITED(status) && WEXITSTATUS(status) == 137) || WIFSIGNALED(status);
}

// Runs "zelm-host --registry <registry> <arguments>" in `folder`, with the
// user's settings in "<folder>/user-settings"; the arguments are handed to
// the shell as they are. A run that dies of a signal or of its bound fails
// the test unless `mayBeKilled` (a test that kills the driver on purpose).
inline DriverOutcome RunDriver(const std::string& folder, const std::string& registry, const std::string& arguments,
                               bool mayBeKilled = false)
{
    DriverOutcome outcome;
    const std::string errFile = folder + "/driver-stderr.txt";
    // The user's settings (the engine commands accepted) are the test's own.
    const std::string command = "cd '" + folder + "' && " +
                                Bounded("QZ_USER_SETTINGS='" + folder + "/user-settings'",
                                        "'" + DriverPath() + "' --registry '" + registry + "' " + arguments) +
                                " 2>'" + errFile + "'";
    int status = -1;
    outcome.out = ShellOutput(command, status);
    if (status == -1) {
        return outcome;
    }
    outcome.exited = WIFEXITED(status);
    outcome.code = outcome.exited ? WEXITSTATUS(status) : -1;
    outcome.err = ReadFile(errFile);
    if (KilledByBound(status) && !mayBeKilled)
        ADD_FAILURE() << "zelm-host " << arguments << ": killed (more than " << ChildSeconds << " s, or a signal)\n"
                      << outcome.err;
    return outcome;
}

// A test that drives zelm-host in a temporary folder of its own, with the
// registry file "registry.json" there.
class DriverTest : public ::testing::Test {
protected:
    explicit DriverTest(const std::string& name) : folder(name) {}

    DriverOutcome Run(const std::string& arguments, bool mayBeKilled = false) const
    {
        return RunDriver(folder.Path(), folder.File("registry.json"), arguments, mayBeKilled);
    }
    // Runs a step that must succeed.
    void Step(const std::string& arguments) const
    {
        const DriverOutcome outcome = Run(arguments);
        ASSERT_EQ(0, outcome.code) << arguments << "\n" << outcome.out << outcome.err;
    }
    // The registered module and a project "p" holding the bundled rock salt
    // with its library selected.
    void RockSaltProject() const
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + examples + "rocksalt.cif --project p");
        std::filesystem::copy_file(examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
        Step("state --project p ZelmLogic library rocksalt");
    }

    TempFolder folder;
};

}  // namespace QzTest
