// Files of a project that are far larger than their kind ever is: a file
// above the bound of its kind is refused by its size, unread; one within
// the bound that is no such file (a gigabyte of zeros) is refused after a
// short read; one that is what it should be is read and copied without
// holding it more than about twice. The commands run under the drivers'
// memory bound (4 GiB outside the sanitizers), which holding such a file
// three times or more exceeds. The files are sparse, so they cost nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;

const char* const DeckFolder = "p/rocksalt ZELM GeomOpt";
constexpr std::uintmax_t GiB = std::uintmax_t{1} << 30;

class BigFiles : public QzTest::DriverTest {
protected:
    BigFiles() : DriverTest("big-files") {}

    void SetUp() override
    {
        RockSaltProject();
        Step("export p/rocksalt.qsd --task GeomOpt");
    }

    std::string Deck() const { return folder.File(std::string(DeckFolder) + "/rocksalt.gin"); }

    // A file of `size` bytes of nothing (a hole), in place of what stood there.
    void Zeros(const std::string& file, std::uintmax_t size) const
    {
        fs::remove(file);
        QzTest::WriteFile(file, "");
        fs::resize_file(file, size);
    }

    // Bytes the file takes on disk.
    static std::uintmax_t Allocated(const std::string& file)
    {
        struct stat status {};
        return ::stat(file.c_str(), &status) == 0 ? static_cast<std::uintmax_t>(status.st_blocks) * 512 : 0;
    }

    bool Staged() const { return fs::exists(folder.File("p/.server")); }
};

// Each row makes one big file and runs one command on it: refused with the
// words given (naming the file), or done; nothing is staged for a refused
// start. Rows change the one project in turn (the state last).
TEST_F(BigFiles, EachKindIsReadWithinItsBoundAndInBoundedMemory)
{
    struct Row {
        const char* what;
        std::function<void()> make;
        std::string command;
        const char* said; // nullptr: the command succeeds
    };
    const Row rows[] = {
        {"a deck of 1 GiB that is a deck followed by nothing",
         [this] { fs::resize_file(Deck(), GiB); },
         std::string("start \"") + DeckFolder + "/rocksalt.gin\"", nullptr},
        {"a deck of 1.1 GB",
         [this] { fs::resize_file(Deck(), 1100000000u); },
         std::string("start \"") + DeckFolder + "/rocksalt.gin\"", "is too large to be read (1100000000 bytes"},
        {"a deck of 1 GiB of zeros", [this] { Zeros(Deck(), GiB); },
         std::string("start \"") + DeckFolder + "/rocksalt.gin\"",
         "rocksalt.gin' is not a deck: it does not begin with a line of keywords"},
        {"an XYZ file of 1 GiB of zeros", [this] { Zeros(folder.File("zeros.xyz"), GiB); },
         "import zeros.xyz --project p", "Line 1: the first line must hold the atom count alone"},
        {"a trajectory of 4 GiB of zeros beside its document",
         [this] {
             fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("p/frames.qtd"));
             Zeros(folder.File("p/frames.trj"), 4 * GiB);
         },
         "show p/frames.qtd", "frames.trj\" is not a trajectory file."},
        {"a project state of 70 MB", [this] { Zeros(folder.File("p/project-state.json"), 70u << 20); },
         "state --project p ZelmLogic", "\"p/project-state.json\" is too large to be read (73400320 bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.make();
        const QzTest::DriverOutcome outcome = Run(row.command);
        if (row.said != nullptr) {
            EXPECT_EQ(outcome.code, 1) << outcome.out << outcome.err;
            EXPECT_NE(outcome.err.find(row.said), std::string::npos) << outcome.err;
            EXPECT_FALSE(Staged());
        } else {
            // No engine is set: the job is staged and not run.
            ASSERT_NE(outcome.err.find("and not run"), std::string::npos) << outcome.out << outcome.err;
            // The deck is staged as it is: as long, and as sparse.
            const std::string staged = folder.File("p/.server/rocksalt/rocksalt.gin");
            ASSERT_TRUE(fs::exists(staged)) << outcome.out;
            EXPECT_EQ(fs::file_size(staged), GiB);
            EXPECT_LT(Allocated(staged), std::uintmax_t{16} << 20) << "the hole was written out";
            fs::remove_all(folder.File("p/.server"));
        }
    }
}

}  // namespace
