// Saves of the driver's commands: through symbolic links to the file they
// name, and under the project's lock so that two commands changing one
// document never lose a change.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;

const std::string Examples = std::string(QZ_TEST_DATA) + "/../../examples/";

class Saves : public QzTest::DriverTest {
protected:
    Saves() : DriverTest("saves") {}

    void SetUp() override { Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so"); }

    // Starts the driver in the background: its pid.
    pid_t Start(const std::string& arguments) const
    {
        const pid_t child = ::fork();
        if (child == 0) {
            const std::string line = "cd '" + folder.Path() + "' && exec '" + QzTest::DriverPath() + "' --registry '" +
                                     folder.File("registry.json") + "' " + arguments + " >/dev/null 2>&1";
            ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return child;
    }
};

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A document, a deck and a library saved over a symbolic link: the linked
// file takes the new contents, the link stays a link.
TEST_F(Saves, SavesOverASymbolicLinkWriteTheLinkedFile)
{
    Step("project p");
    Step("import " + Examples + "rocksalt.cif --project p --name salt");
    fs::create_directories(folder.File("shared"));
    fs::rename(folder.File("p/salt.qsd"), folder.File("shared/salt.qsd"));
    fs::create_symlink("../shared/salt.qsd", folder.File("p/salt.qsd"));
    Step("types p/salt.qsd --type Na=Na_x");
    EXPECT_TRUE(fs::is_symlink(folder.File("p/salt.qsd")));
    EXPECT_TRUE(Has(QzTest::ReadFile(folder.File("shared/salt.qsd")), "Na_x"));

    // A library is taken only from the project (links followed): the link
    // stays inside it.
    fs::create_directories(folder.File("p/shared"));
    fs::copy_file(Examples + "rocksalt.lib", folder.File("p/shared/rocksalt.lib"));
    fs::create_symlink("shared/rocksalt.lib", folder.File("p/rocksalt.lib"));
    Step("state --project p ZelmLogic library rocksalt");
    Step("types p/salt.qsd --clear");
    fs::create_directories(folder.File("out"));
    QzTest::WriteFile(folder.File("shared/salt.gin"), "old deck\n");
    fs::create_symlink("../shared/salt.gin", folder.File("out/salt.gin"));
    Step("deck p/salt.qsd --task Energy --out out");
    EXPECT_TRUE(fs::is_symlink(folder.File("out/salt.gin")));
    EXPECT_TRUE(Has(QzTest::ReadFile(folder.File("shared/salt.gin")), "library rocksalt")) << "the deck went elsewhere";

    Step("forcefield --project p edit p/rocksalt.lib --charge 'Na core=0.75' --save");
    EXPECT_TRUE(fs::is_symlink(folder.File("p/rocksalt.lib")));
    EXPECT_TRUE(Has(QzTest::ReadFile(folder.File("p/shared/rocksalt.lib")), "0.75"));
}

// Every command that changes a project's documents waits for the project's
// lock: held here, the command does not finish until it is let go, and then
// it does its work.
TEST_F(Saves, DocumentChangingCommandsWaitForTheProjectLock)
{
    Step("project p");
    Step("import " + Examples + "rocksalt.cif --project p --name salt");
    fs::copy_file(Examples + "slab.qsd", folder.File("p/slab.qsd"));
    fs::copy_file(Examples + "results/geomopt/rocksalt.arc", folder.File("p/run.arc"));
    const std::string commands[] = {
        "import " + Examples + "rocksalt.cif --project p --name more",
        "types p/salt.qsd --type Na=Na_y",
        "update-structure p/salt.qsd p/run.arc",
        "surface --project p p/slab.qsd --select 1,2,3,4 add-surface",
        "check p/salt.qsd --make-p1",
    };
    for (const std::string& command : commands) {
        const int fd = ::open(folder.File("p").c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        const pid_t child = Start(command);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << command << ": finished while the project was locked";
        ::flock(fd, LOCK_UN);
        ::close(fd);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    }
    EXPECT_TRUE(fs::exists(folder.File("p/more.qsd")));
    EXPECT_TRUE(Has(QzTest::ReadFile(folder.File("p/salt.qsd")), "Na_y"));
}

// Imports of one name at once: each takes a name of its own, none is lost.
TEST_F(Saves, ConcurrentImportsOfOneNameKeepEveryDocument)
{
    Step("project p");
    std::vector<pid_t> children;
    for (int i = 0; i < 6; ++i)
        children.push_back(Start("import " + Examples + "rocksalt.cif --project p --name salt"));
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int documents = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.File("p")))
        documents += entry.path().extension() == ".qsd" ? 1 : 0;
    EXPECT_EQ(documents, 6);
}

}  // namespace
