// The built module as the host sees it: loaded by the driver through its
// exported entry points, in a temporary registry.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "common/TempRegistry.h"
#include "common/ShellOutput.h"

using QzTest::TempRegistry;

namespace {

const std::string modulePath = std::string(QZ_LIB_DIR) + "/libQorZelm.so";
const std::string driverPath = std::string(QZ_BIN_DIR) + "/zelm-host";

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome RunDriver(const std::string& registry, const std::string& arguments)
{
    Outcome outcome;
    const std::string command = driverPath + " --registry " + registry + " " + arguments + " 2>&1";
    outcome.output = QzTest::ShellOutput(command, outcome.status);
    return outcome;
}

size_t Count(const std::string& text, const std::string& word)
{
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + word.size())) {
        ++count;
    }
    return count;
}

TEST(Driver, RegistersListsCreatesAndUnregistersTheModule)
{
    TempRegistry registry;

    Outcome registered = RunDriver(registry.File(), "register " + modulePath);
    ASSERT_EQ(registered.status, 0) << registered.output;

    Outcome listed = RunDriver(registry.File(), "classes");
    ASSERT_EQ(listed.status, 0) << listed.output;
    EXPECT_NE(listed.output.find("7 registered classes"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("QorZelm.ZelmObservableData.1"), std::string::npos);
    EXPECT_NE(listed.output.find("Velomar: ZelmObservabledata component"), std::string::npos);
    EXPECT_EQ(Count(listed.output, "libQorZelm.so"), 7u);

    // Every class is reached through the registry, the module's loader and
    // its class factory; each is either created or named as not available,
    // and a class not created fails the command.
    Outcome created = RunDriver(registry.File(), "create");
    ASSERT_TRUE(WIFEXITED(created.status)) << created.output;
    const size_t notAvailable = Count(created.output, "is not available");
    EXPECT_EQ(WEXITSTATUS(created.status), notAvailable > 0 ? 1 : 0) << created.output;
    EXPECT_EQ(Count(created.output, ": created") + notAvailable, 7u) << created.output;

    Outcome unregistered = RunDriver(registry.File(), "unregister " + modulePath);
    ASSERT_EQ(unregistered.status, 0) << unregistered.output;
    EXPECT_NE(RunDriver(registry.File(), "classes").output.find("0 registered classes"), std::string::npos);
}

TEST(Driver, ReportsAModuleThatCannotBeLoaded)
{
    TempRegistry registry;
    Outcome outcome = RunDriver(registry.File(), "register " + registry.Folder() + "/missing.so");
    EXPECT_NE(outcome.status, 0);
    EXPECT_NE(outcome.output.find("cannot load"), std::string::npos) << outcome.output;
}

TEST(ModuleLibrary, ExportsOnlyItsEntryPoints)
{
    void* module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        EXPECT_NE(dlsym(module, name), nullptr) << name;
    }
    // Module internals stay hidden: the entry routine, the class table and
    // the rounding helper.
    for (const char* name : {"DllMain", "_ZN7QorZelm10ClassTableEv", "_ZN7QorZelm14RoundToNearestEPKd"}) {
        EXPECT_EQ(dlsym(module, name), nullptr) << name;
    }
    dlclose(module);
}

}  // namespace
