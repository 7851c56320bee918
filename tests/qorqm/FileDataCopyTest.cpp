// A copy holds the file's bytes as they stand and keeps its holes: a
// sparse file's copy is as long and as small.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/TempFolder.h"
#include "qorqm/ReplaceFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t MiB = std::uintmax_t{1} << 20;

std::uintmax_t Allocated(const std::string& file)
{
    struct stat status {};
    return ::stat(file.c_str(), &status) == 0 ? static_cast<std::uintmax_t>(status.st_blocks) * 512 : 0;
}

std::string Bytes(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

// Each row: the file's length and the data written into it at offsets
// (the rest is holes).
TEST(FileDataCopy, EveryByteAndEveryHoleIsCopiedAsItStands)
{
    struct Row {
        const char* what;
        std::uintmax_t size;
        std::vector<std::pair<std::uintmax_t, std::string>> data;
    };
    const std::string block(100000, 'd');
    const Row rows[] = {
        {"empty", 0, {}},
        {"data only", 3, {{0, "abc"}}},
        {"data over several blocks", block.size(), {{0, block}}},
        {"a hole to the end", 32 * MiB, {{0, "deck\n"}}},
        {"a hole first", 8 * MiB + 1, {{8 * MiB, "x"}}},
        {"holes between data", 24 * MiB, {{0, "a"}, {8 * MiB, block}, {16 * MiB, "c"}}},
        {"nothing but a hole", 64 * MiB, {}},
    };
    QzTest::TempFolder folder("data-copy");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string source = folder.File("source");
        const std::string copy = folder.File("copy");
        fs::remove(source);
        fs::remove(copy);
        {
            std::ofstream out(source, std::ios::binary);
            for (const auto& [offset, text] : row.data) {
                out.seekp(static_cast<std::streamoff>(offset));
                out << text;
            }
        }
        fs::resize_file(source, row.size);
        std::string why;
        ASSERT_TRUE(CopyFileContents(source, copy, &why)) << why;
        EXPECT_EQ(fs::file_size(copy), row.size);
        EXPECT_TRUE(Bytes(copy) == Bytes(source)) << "the copy differs";
        // At most a block more than the source takes (the zero that ends a
        // final hole).
        EXPECT_LE(Allocated(copy), Allocated(source) + 64 * 1024);
    }
}
