#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "qorqm/ReplaceFile.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path FreshFolder(const std::string& name)
{
    const fs::path folder = fs::temp_directory_path() / ("qz-replace-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::size_t EntryCount(const fs::path& folder)
{
    std::size_t count = 0;
    for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it)
        ++count;
    return count;
}

}  // namespace

TEST(ReplaceFile, ReplacesWholeAndLeavesNoTemporary)
{
    const fs::path folder = FreshFolder("whole");
    const fs::path target = folder / "doc.txt";
    std::ofstream(target) << "old";
    ASSERT_TRUE(ReplaceFileContents(target.string(), "new contents"));
    EXPECT_EQ(Slurp(target), "new contents");
    EXPECT_EQ(EntryCount(folder), 1u);
    fs::remove_all(folder);
}

TEST(ReplaceFile, DiscardedOrFailedWriteKeepsOldFile)
{
    const fs::path folder = FreshFolder("discard");
    const fs::path target = folder / "doc.txt";
    std::ofstream(target) << "old";
    {
        CReplaceFile file(target.string());
        ASSERT_TRUE(file.IsOpen());
        file.Stream() << "half";
        // Never committed: as if the writer stopped here.
    }
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(EntryCount(folder), 1u);
    // A folder that does not exist: nothing opens, nothing is written.
    EXPECT_FALSE(ReplaceFileContents((folder / "missing" / "doc.txt").string(), "x"));
    fs::remove_all(folder);
}

// A write that runs out of room half-way (a file-size limit in a child
// process stands for a full disk) fails and leaves the old file whole.
TEST(ReplaceFile, WriteFailingHalfWayLeavesOldFileWhole)
{
    const fs::path folder = FreshFolder("limit");
    const fs::path target = folder / "doc.txt";
    std::ofstream(target) << "old";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool ok = ReplaceFileContents(target.string(), std::string(1 << 20, 'x'));
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was reported as written";
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(EntryCount(folder), 1u);
    fs::remove_all(folder);
}

// The replacement keeps the permissions of the file it replaces; a new file
// is an ordinary document file.
TEST(ReplaceFile, KeepsThePermissionsOfTheReplacedFile)
{
    const fs::path folder = FreshFolder("mode");
    const fs::path kept = folder / "kept.lib";
    std::ofstream(kept) << "old";
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(ReplaceFileContents(kept.string(), "new"));
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path fresh = folder / "fresh.lib";
    ASSERT_TRUE(ReplaceFileContents(fresh.string(), "new"));
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    fs::remove_all(folder);
}
