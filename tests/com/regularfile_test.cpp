// The one opener of files to read: a regular file opens, in blocking mode;
// what else stands in its place is refused at once, named as what it is.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "com/regularfile.h"
#include "common/SocketFile.h"
#include "common/TempFolder.h"

namespace {

namespace fs = std::filesystem;

class RegularFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return folder.File(name); }
    QzTest::TempFolder folder{"regularfile"};
};

TEST_F(RegularFileTest, WhatIsNoRegularFileIsRefusedAsWhatItIs)
{
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    fs::create_directory(Path("folder"));
    fs::create_symlink("/dev/zero", Path("zero"));
    fs::create_symlink("/dev/urandom", Path("random"));
    fs::create_symlink(Path("fifo"), Path("to-fifo"));
    fs::create_symlink(Path("folder"), Path("to-folder"));
    fs::create_symlink(Path("gone"), Path("dangling"));
    // A socket's path must be short: in a folder of its own under /tmp.
    char socketFolder[] = "/tmp/qz-sock-XXXXXX";
    ASSERT_NE(::mkdtemp(socketFolder), nullptr);
    const std::string socket = std::string(socketFolder) + "/s";
    QzTest::MakeSocket(socket);

    struct Case {
        std::string path;
        std::string why;
    };
    const std::vector<Case> cases{
        {Path("fifo"), "is a pipe (FIFO), not a regular file"},
        {Path("to-fifo"), "is a pipe (FIFO), not a regular file"},
        {Path("folder"), "is a folder, not a file"},
        {Path("to-folder"), "is a folder, not a file"},
        {Path("zero"), "is a device, not a regular file"},
        {Path("random"), "is a device, not a regular file"},
        {"/dev/null", "is a device, not a regular file"},
        {socket, "is a socket, not a regular file"},
        {Path("missing"), "does not exist"},
        {Path("dangling"), "does not exist"},
        {Path("missing/below"), "does not exist"},
        {"", "does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string why;
        EXPECT_EQ(RegularFile::Open(c.path, why), -1);
        EXPECT_EQ(why, c.why);

        std::string text = "left over";
        EXPECT_FALSE(RegularFile::ReadAll(c.path, text, why));
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(text, "");

        RegularFile::InputFile stream(c.path);
        EXPECT_FALSE(stream.IsOpen());
        EXPECT_TRUE(stream.fail());
        EXPECT_EQ(stream.Why(), c.why);
        EXPECT_EQ(stream.Refused(), "the file \"" + c.path + "\" " + c.why);

        // Opened to write, what is there and no regular file is refused
        // alike, at once (a FIFO without a reader would wait for one); a
        // file not there is made, except where no folder holds it.
        if (c.why == RegularFile::NotThere && !c.path.empty() && c.path.find("missing/") == std::string::npos)
            continue;
        RegularFile::OutputFile out(c.path);
        EXPECT_FALSE(out.IsOpen());
        EXPECT_TRUE(out.fail());
        if (c.why == RegularFile::NotThere && !c.path.empty())
            EXPECT_EQ(out.Why(), "cannot be opened for writing (No such file or directory)");
        else
            EXPECT_EQ(out.Why(), c.why);
    }
    // Nothing was written into what stood there.
    EXPECT_TRUE(fs::is_fifo(Path("fifo")));
    EXPECT_TRUE(fs::is_empty(Path("folder")));
    fs::remove_all(socketFolder);
}

// A file opened to write is a regular one, made when absent and emptied
// first unless asked to keep its bytes; a FIFO that has a reader is refused
// too, with nothing written into it.
TEST_F(RegularFileTest, WritesGoToRegularFilesOnly)
{
    QzTest::WriteFile(Path("old"), "old bytes");
    {
        RegularFile::OutputFile out(Path("old"));
        ASSERT_TRUE(out.IsOpen()) << out.Why();
        out << "new";
        EXPECT_TRUE(out.Close());
    }
    EXPECT_EQ(QzTest::ReadFile(Path("old")), "new");
    std::string why;
    const int kept = RegularFile::OpenToWrite(Path("old"), why, false);
    ASSERT_GE(kept, 0) << why;
    EXPECT_EQ(::fcntl(kept, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(kept, F_GETFD) & FD_CLOEXEC, 0);
    ::close(kept);
    EXPECT_EQ(QzTest::ReadFile(Path("old")), "new");
    {
        RegularFile::OutputFile made(Path("made"));
        ASSERT_TRUE(made.IsOpen()) << made.Why();
        made << "made";
    }
    EXPECT_EQ(QzTest::ReadFile(Path("made")), "made");

    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const int reader = ::open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(RegularFile::OpenToWrite(Path("fifo"), why), -1);
    EXPECT_EQ(why, "is a pipe (FIFO), not a regular file");
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
}

// A file larger than the bound its reader gives is refused by its size
// before a byte is read, however it is read; one within the bound is read.
TEST_F(RegularFileTest, AFileAboveItsBoundIsRefusedUnread)
{
    QzTest::WriteFile(Path("small"), "0123456789");
    {
        // Sparse: its size costs no disk, and reading it would take long.
        std::ofstream(Path("huge")).close();
        fs::resize_file(Path("huge"), RegularFile::Bound::Library + 1);
    }
    const std::string tooLarge = "is too large to be read (" + std::to_string(RegularFile::Bound::Library + 1) +
                                 " bytes; at most " + std::to_string(RegularFile::Bound::Library) + " are read)";
    const struct {
        std::string path;
        std::uint64_t bound;
        std::string why;  // empty: read
    } cases[] = {
        {Path("small"), 10, ""},
        {Path("small"), 9, "is too large to be read (10 bytes; at most 9 are read)"},
        {Path("huge"), RegularFile::Bound::Library, tooLarge},
        {Path("huge"), RegularFile::Bound::None, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " within " + std::to_string(c.bound));
        std::string why;
        const int fd = RegularFile::Open(c.path, why, c.bound);
        EXPECT_EQ(fd >= 0, c.why.empty());
        EXPECT_EQ(why, c.why);
        if (fd >= 0)
            ::close(fd);
        RegularFile::InputFile stream(c.path, c.bound);
        EXPECT_EQ(stream.IsOpen(), c.why.empty());
        EXPECT_EQ(stream.Why(), c.why);
        if (c.bound == RegularFile::Bound::None)
            continue;  // not read whole: 256 MB of zeros
        std::string text;
        EXPECT_EQ(RegularFile::ReadAll(c.path, text, why, c.bound), c.why.empty());
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(text, c.why.empty() ? "0123456789" : "");
    }
}

TEST_F(RegularFileTest, ARegularFileOpensBlockingAndCloseOnExec)
{
    QzTest::WriteFile(Path("plain"), "first\nsecond");
    fs::create_symlink(Path("plain"), Path("link"));
    for (const std::string& path : {Path("plain"), Path("link")}) {
        std::string why = "stale";
        const int fd = RegularFile::Open(path, why);
        ASSERT_GE(fd, 0) << why;
        EXPECT_EQ(why, "");
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
        ::close(fd);
    }
    std::string text;
    std::string why;
    ASSERT_TRUE(RegularFile::ReadAll(Path("link"), text, why)) << why;
    EXPECT_EQ(text, "first\nsecond");
}

TEST_F(RegularFileTest, ReadsAWholeFileLargerThanOneBlock)
{
    std::string big;
    for (int i = 0; big.size() < 300000; ++i)
        big += "line " + std::to_string(i) + "\r\n";
    big.push_back('\0');
    big += "tail";
    QzTest::WriteFile(Path("big"), big);
    std::string text;
    std::string why;
    ASSERT_TRUE(RegularFile::ReadAll(Path("big"), text, why)) << why;
    EXPECT_EQ(text, big);

    // The stream gives the bytes as they are (no line-end translation), and
    // can go back to where it was.
    RegularFile::InputFile stream(Path("big"));
    ASSERT_TRUE(stream.IsOpen());
    std::string line;
    ASSERT_TRUE(std::getline(stream, line));
    EXPECT_EQ(line, "line 0\r");
    const std::streampos second = stream.tellg();
    ASSERT_TRUE(std::getline(stream, line));
    EXPECT_EQ(line, "line 1\r");
    stream.seekg(second);
    ASSERT_TRUE(std::getline(stream, line));
    EXPECT_EQ(line, "line 1\r");
    stream.seekg(0, std::ios::end);
    EXPECT_EQ(static_cast<std::size_t>(stream.tellg()), big.size());
}

TEST_F(RegularFileTest, ReopeningAfterARefusalReadsTheNewFile)
{
    fs::create_directory(Path("folder"));
    QzTest::WriteFile(Path("plain"), "text\n");
    RegularFile::InputFile stream(Path("folder"));
    EXPECT_FALSE(stream.IsOpen());
    ASSERT_TRUE(stream.Open(Path("plain")));
    EXPECT_EQ(stream.Why(), "");
    std::string line;
    ASSERT_TRUE(std::getline(stream, line));
    EXPECT_EQ(line, "text");
    EXPECT_FALSE(stream.Open(Path("folder")));
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_FALSE(std::getline(stream, line));
}

TEST(RegularFileFailure, AReaderMessageNamesWhatStandsInPlaceOfItsFile)
{
    // Not there: the reader's own message as it always was.
    EXPECT_EQ(RegularFile::Failure("Unable to open ZELM .gout file.", "/p/a.gout", RegularFile::NotThere),
              "Unable to open ZELM .gout file.");
    EXPECT_EQ(RegularFile::Failure("Unable to open ZELM .gout file.", "/p/a.gout", "is a folder, not a file"),
              "Unable to open ZELM .gout file: the file \"/p/a.gout\" is a folder, not a file.");
    // A message that names the path already says only what it is.
    EXPECT_EQ(RegularFile::Failure("Unable to open file: /p/a.gin", "/p/a.gin", "is a device, not a regular file"),
              "Unable to open file: /p/a.gin: it is a device, not a regular file.");
}

}  // namespace
