// Files opened beneath their folder: links are followed while they stay in,
// and a way out is refused, by the kernel's confinement and by the walk that
// stands in for it (QZ_NO_OPENAT2) alike.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "com/regularfile.h"
#include "common/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// Runs the body once with openat2 and once with the walk.
template <typename Body>
void BothWays(Body body)
{
    for (const char* walk : {"0", "1"}) {
        SCOPED_TRACE(std::string("QZ_NO_OPENAT2=") + walk);
        ::setenv("QZ_NO_OPENAT2", walk, 1);
        body(std::string(walk) == "1");
    }
    ::unsetenv("QZ_NO_OPENAT2");
}

std::string ReadFd(int fd)
{
    std::string text;
    char block[256];
    ssize_t got;
    while ((got = ::read(fd, block, sizeof block)) > 0)
        text.append(block, static_cast<std::size_t>(got));
    ::close(fd);
    return text;
}

class Beneath : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(Path("p/sub"));
        fs::create_directories(Path("outdir"));
        QzTest::WriteFile(Path("p/in.txt"), "in\n");
        QzTest::WriteFile(Path("p/sub/deep.txt"), "deep\n");
        QzTest::WriteFile(Path("outside.txt"), "outside\n");
        QzTest::WriteFile(Path("outdir/o.txt"), "outside\n");
        fs::create_symlink("sub/deep.txt", Path("p/in-link"));
        fs::create_symlink("../in.txt", Path("p/sub/up-link"));
        fs::create_symlink(Path("p/in.txt"), Path("p/abs-in"));
        fs::create_symlink("../outside.txt", Path("p/out"));
        fs::create_symlink(Path("outside.txt"), Path("p/abs-out"));
        fs::create_symlink("../outdir", Path("p/outdir"));
        fs::create_symlink("/proc/self/root/etc/hostname", Path("p/magic"));
        fs::create_symlink("gone", Path("p/dangling"));
        fs::create_symlink("loop", Path("p/loop"));
        fs::create_hard_link(Path("outside.txt"), Path("p/hard"));
    }
    std::string Path(const std::string& name) const { return folder.File(name); }
    QzTest::TempFolder folder{"beneath"};
};

TEST_F(Beneath, AWayIsFollowedWhileItStaysInTheFolder)
{
    struct Case {
        const char* relative;
        int error;  // 0: opens
        const char* text;
    } const cases[] = {
        {"in.txt", 0, "in\n"},
        {"sub/deep.txt", 0, "deep\n"},
        {"in-link", 0, "deep\n"},
        {"sub/up-link", 0, "in\n"},
        {"sub/../in.txt", 0, "in\n"},
        {"./sub/./deep.txt", 0, "deep\n"},
        {"abs-in", 0, "in\n"},
        {"hard", 0, "outside\n"},  // the way stays in: the link count tells
        {"out", EXDEV, ""},
        {"abs-out", EXDEV, ""},
        {"outdir/o.txt", EXDEV, ""},
        {"magic", EXDEV, ""},
        {"../outside.txt", EXDEV, ""},
        {"sub/../../outside.txt", EXDEV, ""},
        {"/etc/hostname", EXDEV, ""},
        {"dangling", ENOENT, ""},
        {"missing.txt", ENOENT, ""},
        {"loop", ELOOP, ""},
        {"in.txt/x", ENOTDIR, ""},
    };
    const RegularFile::Folder project(Path("p"));
    ASSERT_TRUE(project.IsOpen());
    BothWays([&](bool walk) {
        EXPECT_EQ(walk, RegularFile::WalkForced());
        for (const Case& c : cases) {
            SCOPED_TRACE(c.relative);
            errno = 0;
            const int fd = project.OpenIn(c.relative, O_RDONLY);
            if (c.error == 0) {
                ASSERT_GE(fd, 0) << std::strerror(errno);
                EXPECT_EQ(c.text, ReadFd(fd));
            } else {
                EXPECT_LT(fd, 0);
                EXPECT_EQ(c.error, errno) << std::strerror(errno);
                if (fd >= 0)
                    ::close(fd);
            }
        }
        // O_NOFOLLOW keeps a last link from being followed, even one in.
        errno = 0;
        EXPECT_LT(project.OpenIn("in-link", O_RDONLY | O_NOFOLLOW), 0);
        EXPECT_EQ(ELOOP, errno);
        // A file is made beneath, and never through a link out.
        const int made = project.OpenIn("sub/new.txt", O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(made, 0) << std::strerror(errno);
        ::close(made);
        EXPECT_TRUE(fs::exists(Path("p/sub/new.txt")));
        fs::remove(Path("p/sub/new.txt"));
        EXPECT_LT(project.OpenIn("outdir/new.txt", O_WRONLY | O_CREAT | O_EXCL, 0600), 0);
        EXPECT_FALSE(fs::exists(Path("outdir/new.txt")));
    });
}

TEST_F(Beneath, AHeldFolderRefusesReadsLeavingItByName)
{
    struct Case {
        const char* file;
        const char* why;  // "" opens
    } const cases[] = {
        {"p/in.txt", ""},
        {"p/in-link", ""},
        {"p/out", "is a symbolic link to \"<T>/outside.txt\", outside the project \"<T>/p\""},
        {"p/abs-out", "is a symbolic link to \"<T>/outside.txt\", outside the project \"<T>/p\""},
        {"p/outdir/o.txt", "lies in \"<T>/p/outdir\", a symbolic link to \"<T>/outdir\", outside the project \"<T>/p\""},
        {"p/dangling", "is a symbolic link to \"gone\", which does not exist"},
        {"p/missing.txt", RegularFile::NotThere},
        {"outside.txt", ""},  // no file of the project: as named
    };
    const std::string top = folder.Path();
    const auto expand = [&](std::string text) {
        for (std::string::size_type at; (at = text.find("<T>")) != std::string::npos;)
            text.replace(at, 3, top);
        return text;
    };
    RegularFile::Hold hold(Path("p"));
    ASSERT_TRUE(hold.IsOpen());
    BothWays([&](bool) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.file);
            std::string text, why;
            const bool read = RegularFile::ReadAll(Path(c.file), text, why);
            EXPECT_EQ(*c.why == '\0', read) << why;
            EXPECT_EQ(expand(c.why), why);
            if (read && std::string(c.file) != "outside.txt") {
                EXPECT_NE("outside\n", text);
            }
        }
        // Written in place: one link only.
        std::string why;
        EXPECT_LT(RegularFile::OpenToWrite(Path("p/hard"), why, false), 0);
        EXPECT_NE(std::string::npos, why.find("has 2 links")) << why;
        EXPECT_EQ("outside\n", QzTest::ReadFile(Path("outside.txt")));
    });
    // A file the user named is the user's choice.
    RegularFile::UsersOwn(Path("p/out"));
    std::string text, why;
    EXPECT_TRUE(RegularFile::ReadAll(Path("p/out"), text, why)) << why;
    EXPECT_EQ("outside\n", text);
}

// A colleague swaps a link between a file of the project and one outside
// while files are opened: no open ever reaches the outside file.
TEST_F(Beneath, ALinkSwappedWhileFilesAreOpenedNeverLeadsOut)
{
    const RegularFile::Folder project(Path("p"));
    BothWays([&](bool) {
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            const std::string link = Path("p/swapped"), next = Path("p/swapped.next");
            for (int i = 0; i < 20000 && !stop; ++i) {
                fs::remove(next);
                fs::create_symlink(i % 2 ? "../outside.txt" : "in.txt", next);
                fs::rename(next, link);
                fs::remove(Path("p/sub/hop"));
                fs::create_directory_symlink(i % 2 ? "../../outdir" : ".", Path("p/sub/hop"));
            }
        });
        int inside = 0;
        for (int i = 0; i < 2000; ++i) {
            for (const char* way : {"swapped", "sub/hop/o.txt", "sub/hop/deep.txt"}) {
                const int fd = project.OpenIn(way, O_RDONLY);
                if (fd < 0)
                    continue;
                const std::string text = ReadFd(fd);
                ASSERT_NE("outside\n", text) << way;
                ++inside;
            }
        }
        stop = true;
        swapper.join();
        EXPECT_GT(inside, 0);
    });
}

}  // namespace
