#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <thread>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qorqm/ClaimName.h"
#include "qorqm/ReplaceFile.h"
#include "qorqm/WrittenFiles.h"

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

// A write that runs out of room says why, the system's reason kept from the
// failing call: whole contents small enough to wait in the stream's buffer,
// contents written past it, and a writer's own stream.
TEST(ReplaceFile, AFailedWriteKeepsTheSystemsReason)
{
    const fs::path folder = FreshFolder("reason");
    const fs::path target = folder / "doc.txt";
    const struct {
        const char* name;
        std::size_t bytes;
        bool stream;
        bool callsBetween;  // calls after the failed write that leave errno at 0
    } cases[] = {
        {"buffered contents", 3000, false, false},
        {"large contents", 1 << 20, false, false},
        {"a writer's stream", 1 << 20, true, false},
        {"a writer's stream, calls between", 1 << 20, true, true},
        {"a writer's stream cut in its last write, calls between", 2050, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int reason[2];
        ASSERT_EQ(::pipe(reason), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {2048, 2048};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::string error = "written";
            if (c.stream) {
                CReplaceFile file(target.string());
                for (std::size_t i = 0; i < c.bytes / 16; ++i)
                    file.Stream() << "0123456789abcde\n";
                file.Stream() << std::string(c.bytes % 16, 'x');
                if (c.callsBetween)
                    errno = 0;
                if (!file.Commit())
                    error = file.Error();
            } else {
                ReplaceFileContents(target.string(), std::string(c.bytes, 'x'), &error);
            }
            (void)!::write(reason[1], error.data(), error.size());
            ::_exit(0);
        }
        ::close(reason[1]);
        std::string error;
        char buffer[256];
        for (ssize_t got; (got = ::read(reason[0], buffer, sizeof buffer)) > 0;)
            error.append(buffer, static_cast<std::size_t>(got));
        ::close(reason[0]);
        ::waitpid(child, nullptr, 0);
        EXPECT_EQ(error, "writing its new contents failed (" + std::string(std::strerror(EFBIG)) + ")");
        EXPECT_EQ(EntryCount(folder), 0u);
    }
    fs::remove_all(folder);
}

// A stream that fails without a system reason (a writer's own fault) is
// reported as a failed write, never with the reason a look made before the
// write left behind (a new target is not there: "No such file or
// directory"), whichever file it replaces.
TEST(ReplaceFile, AWriteFailingWithoutASystemReasonShowsNoStaleOne)
{
    const fs::path folder = FreshFolder("stale");
    std::ofstream(folder / "old.txt") << "old";
    for (const char* name : {"new.txt", "old.txt"}) {
        SCOPED_TRACE(name);
        errno = EDOM;
        CReplaceFile file((folder / name).string());
        ASSERT_TRUE(file.IsOpen()) << file.Error();
        EXPECT_EQ(errno, 0);
        file.Stream().setstate(std::ios::badbit);
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Error(), "writing its new contents failed (" + std::string(std::strerror(EIO)) + ")");
    }
    EXPECT_EQ(Slurp(folder / "old.txt"), "old");
    fs::remove_all(folder);
}

// The replacement keeps the permissions of the file it replaces; a new file
// gets what the umask leaves of an ordinary file's mode.
TEST(ReplaceFile, KeepsThePermissionsOfTheReplacedFileAndNewFilesFollowTheUmask)
{
    const fs::path folder = FreshFolder("mode");
    const fs::path kept = folder / "kept.lib";
    std::ofstream(kept) << "old";
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(ReplaceFileContents(kept.string(), "new"));
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const mode_t previous = ::umask(077);
    const fs::path fresh = folder / "fresh.lib";
    const bool written = ReplaceFileContents(fresh.string(), "new");
    ::umask(022);
    const fs::path open = folder / "open.lib";
    const bool writtenOpen = ReplaceFileContents(open.string(), "new");
    ::umask(previous);
    ASSERT_TRUE(written);
    ASSERT_TRUE(writtenOpen);
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(open).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    fs::remove_all(folder);
}

// A save over a symbolic link (or a chain of them, relative or absolute)
// replaces the file the link names; the links stay links.
TEST(ReplaceFile, WritesThroughSymbolicLinks)
{
    const fs::path folder = FreshFolder("link");
    fs::create_directories(folder / "shared");
    const fs::path real = folder / "shared" / "rock.lib";
    std::ofstream(real) << "old";
    const fs::path first = folder / "first.lib";
    const fs::path second = folder / "second.lib";
    fs::create_symlink("shared/rock.lib", first);
    fs::create_symlink(first, second);

    ASSERT_TRUE(ReplaceFileContents(second.string(), "new"));
    EXPECT_TRUE(fs::is_symlink(second));
    EXPECT_TRUE(fs::is_symlink(first));
    EXPECT_EQ(Slurp(real), "new");
    EXPECT_EQ(EntryCount(folder), 3u);
    EXPECT_EQ(EntryCount(folder / "shared"), 1u);

    // A link to a file not there yet makes that file.
    const fs::path dangling = folder / "later.lib";
    fs::create_symlink("shared/later.lib", dangling);
    ASSERT_TRUE(ReplaceFileContents(dangling.string(), "made"));
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(Slurp(folder / "shared" / "later.lib"), "made");

    // A loop of links is refused with the reason.
    fs::create_symlink("loop-b", folder / "loop-a");
    fs::create_symlink("loop-a", folder / "loop-b");
    std::string error;
    EXPECT_FALSE(ReplaceFileContents((folder / "loop-a").string(), "x", &error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    fs::remove_all(folder);
}

// A writable file in a folder that takes no new files is not saved (it would
// have to be written in place, at risk of a half write): the old file stays
// and the reason names the folder. The save runs in a child process, as an
// unprivileged user when the tests run as the superuser.
TEST(ReplaceFile, FolderWithoutNewFilesIsRefusedWithTheReason)
{
    const fs::path folder = FreshFolder("locked");
    const fs::path target = folder / "doc.qsd";
    std::ofstream(target) << "old";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    int message[2];
    ASSERT_EQ(::pipe(message), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::string asked = CReplaceFile::WhyRefused(target.string());
        std::string error;
        const bool ok = ReplaceFileContents(target.string(), "new", &error);
        (void)!::write(message[1], error.data(), error.size());
        ::_exit(ok ? 1 : asked != error ? 4 : 0);
    }
    ::close(message[1]);
    std::string error;
    char buffer[512];
    for (ssize_t got; (got = ::read(message[0], buffer, sizeof buffer)) > 0;)
        error.append(buffer, static_cast<std::size_t>(got));
    ::close(message[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::permissions(folder, fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 3) << "no unprivileged user to run the save as";
    EXPECT_NE(WEXITSTATUS(status), 4) << "asked first, the save did not refuse as it then did";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save was reported done";
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_NE(error.find("does not allow new files"), std::string::npos) << error;
    EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
    EXPECT_EQ(EntryCount(folder), 1u);
    fs::remove_all(folder);
}

// A writer killed half-way leaves its temporary file; the next save of the
// same file removes it. A temporary file of a live writer is left alone.
TEST(ReplaceFile, NextSaveRemovesTheTemporaryFileOfAKilledWriter)
{
    const fs::path folder = FreshFolder("killed");
    const fs::path target = folder / "doc.qsd";
    std::ofstream(target) << "old";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CReplaceFile file(target.string());
        file.Stream() << std::string(1 << 16, 'x') << std::flush;
        const char byte = file.IsOpen() ? 1 : 0;
        (void)!::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(EntryCount(folder), 2u) << "the killed writer left no temporary file";
    EXPECT_EQ(Slurp(target), "old");

    // Process 1 is always alive: its temporary file is not stale.
    const fs::path live = folder / "doc.qsd.tmp-1-abcDEF";
    std::ofstream(live) << "busy";
    // A look-alike whose letters no writer draws is the user's.
    const fs::path other = folder / "other.qsd.tmp-999999999-abcdef";
    std::ofstream(other) << "other";

    ASSERT_TRUE(ReplaceFileContents(target.string(), "new"));
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_EQ(EntryCount(folder), 3u);
    fs::remove_all(folder);
}

namespace {

// A writer of target in a child process, stopped while its temporary file
// is open; the name of that file.
struct WriterChild {
    pid_t pid = -1;
    std::string temporary;
};

WriterChild StartWriter(const fs::path& target)
{
    const fs::path folder = target.parent_path();
    std::set<std::string> before;
    for (const auto& entry : fs::directory_iterator(folder))
        before.insert(entry.path().filename().string());
    int ready[2];
    if (::pipe(ready) != 0)
        return {};
    WriterChild writer;
    writer.pid = ::fork();
    if (writer.pid == 0) {
        CReplaceFile file(target.string());
        const char byte = file.IsOpen() ? 1 : 0;
        (void)!::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    if (writer.pid > 0 && ::read(ready[0], &byte, 1) == 1 && byte == 1) {
        for (const auto& entry : fs::directory_iterator(folder))
            if (!before.count(entry.path().filename().string()))
                writer.temporary = entry.path().filename().string();
    }
    ::close(ready[0]);
    ::close(ready[1]);
    return writer;
}

void StopWriter(const WriterChild& writer)
{
    if (writer.pid > 0) {
        ::kill(writer.pid, SIGKILL);
        ::waitpid(writer.pid, nullptr, 0);
    }
}

}  // namespace

// A save removes exactly what killed writers left in its folder: a name's
// mark, its pid, its six letters. A file merely named like one is the
// user's and stays, as does the temporary file of a writer still alive.
TEST(ReplaceFile, ASaveRemovesOnlyWhatAKilledWriterMade)
{
    const fs::path folder = FreshFolder("stale-table");
    const fs::path target = folder / "rocksalt.qsd";
    std::ofstream(target) << "old";

    const WriterChild killed = StartWriter(target);
    StopWriter(killed);
    ASSERT_FALSE(killed.temporary.empty()) << "the killed writer left no temporary file";
    const std::string prefix = "rocksalt.qsd.tmp-" + std::to_string(killed.pid) + "-";
    ASSERT_EQ(killed.temporary.compare(0, prefix.size(), prefix), 0) << killed.temporary;
    const std::string letters = killed.temporary.substr(prefix.size());
    ASSERT_EQ(letters.size(), 6u) << killed.temporary;
    std::string otherCheck = letters;
    otherCheck.back() = otherCheck.back() == 'a' ? 'b' : 'a';

    const WriterChild alive = StartWriter(target);
    ASSERT_FALSE(alive.temporary.empty());

    enum What { File, Folder, Link };
    const struct {
        std::string name;
        bool removed;
        What what = File;
    } cases[] = {
        {killed.temporary, true},
        // The user's own files; 99999999 is above any pid, so no process
        // of it is alive.
        {"rocksalt.qsd.tmp-2024-backup", false},
        {"rocksalt.qsd.tmp-99999999-backup", false},
        {prefix + letters.substr(0, 5), false},
        {prefix + letters + "x", false},
        {prefix + otherCheck, false},
        {prefix + letters.substr(0, 5) + "_", false},
        {"rocksalt.qsd.tmp-12a4-" + letters, false},
        {"rocksalt.qsd.tmp-0" + std::to_string(killed.pid) + "-" + letters, false},
        // A killed writer of another file of the folder: one of a name
        // never saved again (a claimed new name) would stay for ever.
        {"other.qsd.tmp-" + std::to_string(killed.pid) + "-" + letters, true},
        {"DOS_7.qcd.tmp-" + std::to_string(killed.pid) + "-" + letters, true},
        // A folder a killed command built under a temporary name goes whole;
        // a link of such a name is no writer's.
        {"rocksalt ZELM Energy.tmp-" + std::to_string(killed.pid) + "-" + letters, true, Folder},
        {"link.tmp-" + std::to_string(killed.pid) + "-" + letters, false, Link},
        {alive.temporary, false},
    };
    for (const auto& entry : cases) {
        if (entry.what == Folder) {
            fs::create_directory(folder / entry.name);
            std::ofstream(folder / entry.name / "rocksalt.gin") << "half";
        } else if (entry.what == Link) {
            fs::create_directory_symlink(folder, folder / entry.name);
        } else if (!fs::exists(folder / entry.name)) {
            std::ofstream(folder / entry.name) << "kept?";
        }
    }

    const bool saved = ReplaceFileContents(target.string(), "new");
    StopWriter(alive);
    ASSERT_TRUE(saved);
    EXPECT_EQ(Slurp(target), "new");
    for (const auto& entry : cases)
        EXPECT_EQ(fs::exists(fs::symlink_status(folder / entry.name)), !entry.removed) << entry.name;
    fs::remove_all(folder);
}

// A file of a project (given with the project's folder) is written through a
// link only while the link's chain, and every linked folder, stays inside.
// What stands at the name of a save, asked before the save is made: the
// answer is the refusal the save gives (or none where it writes), and asking
// makes nothing, not even its temporary file.
TEST(ReplaceFile, AskedBeforeItIsMadeASaveRefusesAsItWould)
{
    const fs::path folder = FreshFolder("asked");
    const struct {
        const char* name;
        const char* stand;  // "", "file", "FIFO", "folder", "link to FIFO", "link to nothing"
        const char* refusal;  // empty: the save is made
    } cases[] = {
        {"new.qtd", "", ""},
        {"old.qtd", "file", ""},
        {"pipe.qtd", "FIFO", "it is a pipe (FIFO), not a regular file"},
        {"folder.qtd", "folder", "it is a folder, not a file"},
        {"linked.qtd", "link to FIFO", "it is a pipe (FIFO), not a regular file"},
        {"dangling.qtd", "link to nothing", ""},
    };
    ::mkfifo((folder / "the-pipe").c_str(), 0600);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.stand);
        const fs::path target = folder / c.name;
        const std::string stand = c.stand;
        if (stand == "file")
            std::ofstream(target) << "old";
        else if (stand == "FIFO")
            ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
        else if (stand == "folder")
            fs::create_directory(target);
        else if (stand == "link to FIFO")
            fs::create_symlink("the-pipe", target);
        else if (stand == "link to nothing")
            fs::create_symlink("made-by-the-save.qtd", target);
        const std::size_t entries = EntryCount(folder);
        for (const std::string& project : {std::string(), folder.string()}) {
            const std::string asked = CReplaceFile::WhyRefused(target.string(), project);
            EXPECT_EQ(asked, c.refusal) << project;
            EXPECT_EQ(EntryCount(folder), entries) << "asking made a file";
            const CReplaceFile save(target.string(), project);
            EXPECT_EQ(save.Error(), asked);
        }
    }
    fs::remove_all(folder);
}

TEST(ReplaceFile, AProjectsFileIsNotWrittenThroughALinkLeavingIt)
{
    const fs::path folder = FreshFolder("project");
    const fs::path project = folder / "p";
    fs::create_directories(project / "kept");
    fs::create_directories(folder / "outside");
    std::ofstream(folder / "outside" / "theirs.trj") << "theirs";
    fs::create_symlink("kept/mine.trj", project / "inside.trj");                  // stays inside
    fs::create_symlink("../outside/theirs.trj", project / "leaving.trj");        // leaves
    fs::create_symlink("inside.trj", project / "chain.trj");                     // a chain that stays
    fs::create_symlink("leaving.trj", project / "chain-out.trj");                // a chain that leaves
    fs::create_symlink("../outside/new.trj", project / "dangling.trj");          // leaves to a file not there
    fs::create_directory_symlink("../outside", project / "run");                 // a linked folder that leaves
    fs::create_directory_symlink("p", folder / "p-link");                        // the project named through a link
    fs::create_hard_link(folder / "outside" / "theirs.trj", project / "hard.trj"); // a second name of theirs
    fs::create_symlink((project / "kept" / "mine.trj").string(), project / "absolute.trj"); // absolute, inside

    const struct {
        fs::path file;
        std::string projectFolder;
        const char* refusal; // empty: written
    } cases[] = {
        {project / "plain.trj", project.string(), ""},
        {project / "inside.trj", project.string(), ""},
        {project / "hard.trj", project.string(), ""},   // replaced: theirs keeps its bytes
        {project / "absolute.trj", project.string(), ""},
        {project / "chain.trj", project.string(), ""},
        {folder / "p-link" / "inside.trj", (folder / "p-link").string(), ""},
        {project / "leaving.trj", "", ""}, // a path the user named: written through
        {project / "leaving.trj", project.string(), "it is a symbolic link to \"" },
        {project / "chain-out.trj", project.string(), "it is a symbolic link to \""},
        {project / "dangling.trj", (folder / "p-link").string(), "it is a symbolic link to \""},
        {project / "run" / "frames.trj", project.string(), "it lies in \""},
        // Spelled through a second link to the project: the same places.
        {folder / "p-link" / "plain.trj", project.string(), ""},
        {folder / "p-link" / "leaving.trj", project.string(), "it is a symbolic link to \""},
        {folder / "p-link" / "run" / "frames.trj", project.string(), "it leads to \""},
    };
    for (const char* walk : {"0", "1"})
    for (const auto& c : cases) {
        ::setenv("QZ_NO_OPENAT2", walk, 1);
        SCOPED_TRACE(c.file.string() + " in " + c.projectFolder + (*walk == '1' ? " (the walk)" : ""));
        // Theirs as it was, with its second name in the project.
        fs::remove(folder / "outside" / "theirs.trj");
        std::ofstream(folder / "outside" / "theirs.trj") << "theirs";
        fs::remove(project / "hard.trj");
        fs::create_hard_link(folder / "outside" / "theirs.trj", project / "hard.trj");
        const std::string before = Slurp(folder / "outside" / "theirs.trj");
        // Asked first, the save refuses as it then does.
        const std::string asked = CReplaceFile::WhyRefused(c.file.string(), c.projectFolder);
        std::string error;
        const bool written = ReplaceFileContents(c.file.string(), "frames", &error, c.projectFolder);
        EXPECT_EQ(asked, written ? std::string() : error);
        if (*c.refusal == '\0') {
            EXPECT_TRUE(written) << error;
            if (c.file.filename() == "hard.trj") {
                EXPECT_EQ(Slurp(folder / "outside" / "theirs.trj"), "theirs");
            }
            continue;
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(error.find(c.refusal), 0u) << error;
        EXPECT_NE(error.find("outside the project"), std::string::npos) << error;
        EXPECT_EQ(Slurp(folder / "outside" / "theirs.trj"), before);
        EXPECT_EQ(LinkLeavingProject(c.file.string(), c.projectFolder), error);
    }
    ::unsetenv("QZ_NO_OPENAT2");
    EXPECT_EQ(Slurp(project / "kept" / "mine.trj"), "frames");
    EXPECT_FALSE(fs::exists(folder / "outside" / "new.trj"));
    EXPECT_FALSE(fs::exists(folder / "outside" / "frames.trj"));
    // The refusal names the link and where it leads.
    EXPECT_EQ(LinkLeavingProject((project / "run" / "frames.trj").string(), project.string()),
              "it lies in \"" + (project / "run").string() + "\", a symbolic link to \"" +
                  (folder / "outside").string() + "\", outside the project \"" + project.string() + "\"");
    fs::remove_all(folder);
}

// What a command wrote, and what it did to each file, from its own writes
// alone: a file made (also one claimed first and written after), a file
// changed, the same bytes written again, a file written then removed.
TEST(WrittenFiles, EachWriteIsRecordedWithWhatItDid)
{
    const fs::path folder = FreshFolder("written");
    std::ofstream(folder / "same.txt") << "same";
    std::ofstream(folder / "other.txt") << "old";
    std::ofstream(folder / "longer.txt") << "old";
    std::ofstream(folder / "gone.txt") << "old";
    ASSERT_TRUE(ReplaceFileContents((folder / "before-start.txt").string(), "x"));

    WrittenFiles::Start();
    using C = WrittenFiles::Change;
    const struct {
        const char* name;
        std::vector<std::string> writes;  // each written whole in turn
        bool claimFirst;
        C change;
    } cases[] = {
        {"new.txt", {"made"}, false, C::Made},
        {"new-twice.txt", {"a", "b"}, false, C::Made},
        {"claimed.txt", {"made"}, true, C::Made},
        {"same.txt", {"same"}, false, C::Unchanged},
        {"other.txt", {"new"}, false, C::Changed},
        {"longer.txt", {"older"}, false, C::Changed},
        {"gone.txt", {"old", "new"}, false, C::Changed},
    };
    for (const auto& c : cases) {
        const std::string path = (folder / c.name).string();
        if (c.claimFirst) {
            ASSERT_TRUE(DiskUtilities::ClaimNewName(path, DiskUtilities::ClaimKind::File));
        }
        for (const std::string& bytes : c.writes)
            ASSERT_TRUE(ReplaceFileContents(path, bytes));
    }
    WrittenFiles::NoteRemoved((folder / "gone.txt").string());
    const std::vector<WrittenFiles::Entry> entries = WrittenFiles::Entries();
    ASSERT_EQ(entries.size(), std::size(cases));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(entries[i].path, (folder / cases[i].name).lexically_normal().string());
        EXPECT_EQ(entries[i].change, cases[i].change);
        EXPECT_EQ(entries[i].removed, std::string(cases[i].name) == "gone.txt");
    }
    // Spelled another way, a file is the same entry.
    ASSERT_TRUE(ReplaceFileContents((folder / "." / "same.txt").string(), "changed now"));
    EXPECT_EQ(WrittenFiles::Entries().size(), std::size(cases));
    EXPECT_EQ(WrittenFiles::Entries()[3].change, C::Changed);
    // Starting again forgets what was recorded.
    WrittenFiles::Start();
    EXPECT_TRUE(WrittenFiles::Entries().empty());
    fs::remove_all(folder);
}

// A link of the project swapped between a file of its own and one outside
// while it is saved again and again: no save ever lands outside.
TEST(ReplaceFile, ALinkSwappedWhileSavingNeverLeadsOut)
{
    const fs::path folder = FreshFolder("swapped");
    const fs::path project = folder / "p";
    fs::create_directories(project / "kept");
    fs::create_directories(folder / "outside");
    std::ofstream(folder / "outside" / "theirs.trj") << "theirs";
    for (const char* walk : {"0", "1"}) {
        SCOPED_TRACE(*walk == '1' ? "the walk" : "openat2");
        ::setenv("QZ_NO_OPENAT2", walk, 1);
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            for (int i = 0; i < 100000 && !stop; ++i) {
                std::error_code error;
                fs::remove(project / "next", error);
                fs::create_symlink(i % 2 ? "../outside/theirs.trj" : "kept/mine.trj", project / "next", error);
                fs::rename(project / "next", project / "swapped.trj", error);
                fs::remove(project / "dir", error);
                fs::create_directory_symlink(i % 2 ? "../outside" : "kept", project / "dir", error);
            }
        });
        int saved = 0;
        for (int i = 0; i < 300; ++i) {
            saved += ReplaceFileContents((project / "swapped.trj").string(), "frames", nullptr, project.string());
            saved += ReplaceFileContents((project / "dir" / "theirs.trj").string(), "frames", nullptr, project.string());
        }
        stop = true;
        swapper.join();
        EXPECT_GT(saved, 0);
        EXPECT_EQ(Slurp(folder / "outside" / "theirs.trj"), "theirs");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder / "outside"), fs::directory_iterator()), 1);
    }
    ::unsetenv("QZ_NO_OPENAT2");
    fs::remove_all(folder);
}
