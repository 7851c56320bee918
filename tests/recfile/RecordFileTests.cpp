// The record-file runtime read back against files of the record writer,
// whole and damaged.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "common/TempFolder.h"
#include "recfile/RecordFile.h"
#include "recfile/RecordWriter.h"

using namespace RecordFile;

namespace {

int OpenFile(int unit, const std::string& path)
{
    return Open(unit, path.c_str(), path.size());
}

struct Fixture : ::testing::Test {
    QzTest::TempFolder folder{"recfile"};
    std::string path = folder.File("data.rec");
    ~Fixture() override { Close(7); }
};

}  // namespace

TEST_F(Fixture, ReadsValuesLittleEndianAndSkipsTheRestOfALongerRecord)
{
    {
        RecordWriter writer(path);
        writer.Write(Record().Real(1.5).Integer(-3).Real(2.5));
        writer.Write(Record().Integer(42));
        writer.Close();
    }
    // The bytes on disk: marker 20 little-endian, then 1.5 as binary64.
    const std::string bytes = QzTest::ReadFile(path);
    ASSERT_EQ(bytes.size(), 4u + 20u + 4u + 4u + 4u + 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x14\0\0\0", 4));
    EXPECT_EQ(bytes.substr(4, 8), std::string("\0\0\0\0\0\0\xf8\x3f", 8));

    ASSERT_EQ(OpenFile(7, path + "   "), Ok);  // trailing blanks are not part of the name
    double first = 0.0;
    std::int32_t second = 0;
    EXPECT_EQ(Read(7, {Item::Real(first), Item::Integer(second)}), Ok);  // 2.5 is skipped
    EXPECT_EQ(first, 1.5);
    EXPECT_EQ(second, -3);
    std::int32_t next = 0;
    EXPECT_EQ(Read(7, {Item::Integer(next)}), Ok);
    EXPECT_EQ(next, 42);
    EXPECT_EQ(Read(7, {Item::Integer(next)}), EndOfFile);
}

TEST_F(Fixture, DamagedRecordsAreErrorsAndCutRecordsEndTheFile)
{
    const std::string three = Record().Real(1).Real(2).Real(3).Bytes();
    struct Case {
        const char* what;
        std::string bytes;
        int expected;
    } cases[] = {
        {"shorter than asked", Record().Real(1).Real(2).Bytes(), ShortRecord},
        {"mismatched markers", "", MarkerMismatch},
        {"cut in the data", LittleEndian32(24) + three.substr(0, 10), EndOfFile},
        {"cut in the leading marker", std::string("\x18\0", 2), EndOfFile},
        {"no trailing marker", LittleEndian32(24) + three, EndOfFile},
        {"huge marker, file ends", LittleEndian32(0xFFFFFFF0u) + three, EndOfFile},
        {"empty file", "", EndOfFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            RecordWriter writer(path);
            if (std::string(c.what) == "mismatched markers")
                writer.WriteFramed(24, three, 16);
            else if (c.expected == ShortRecord)
                writer.Write(Record().Real(1).Real(2));
            else
                writer.WriteRaw(c.bytes);
            writer.Close();
        }
        ASSERT_EQ(OpenFile(7, path), Ok);
        double values[3] = {};
        EXPECT_EQ(Read(7, {Item::Reals(values, 3)}), c.expected);
    }
}

TEST_F(Fixture, SkippedItemsAreCheckedButNotStoredAndHugeCountsAreShort)
{
    {
        RecordWriter writer(path);
        writer.Write(Record().Real(1).Real(2).Real(3));
        writer.Write(Record().Real(4));
        writer.Close();
    }
    ASSERT_EQ(OpenFile(7, path), Ok);
    double last = 0.0;
    EXPECT_EQ(Read(7, {Item::SkipReals(2), Item::Real(last)}), Ok);
    EXPECT_EQ(last, 3.0);
    // A count no record can hold is a short record, not a huge allocation.
    EXPECT_EQ(Read(7, {Item::SkipReals(SIZE_MAX / 4)}), ShortRecord);
    EXPECT_EQ(Read(7, {Item::Real(last)}), EndOfFile);
}

TEST_F(Fixture, OpenCloseAndUnitsBelongToTheirThread)
{
    EXPECT_EQ(OpenFile(7, folder.File("missing")), CannotOpen);
    EXPECT_EQ(OpenFile(7, folder.Path()), CannotOpen);  // a folder is no record file
    EXPECT_EQ(Open(7, path.c_str(), path.size(), "NEW"), BadArgument);
    EXPECT_EQ(Read(8, {}), UnitNotOpen);
    EXPECT_EQ(Close(8), Ok);
    {
        RecordWriter writer(path);
        writer.Write(Record().Integer(1));
        writer.Close();
    }
    ASSERT_EQ(Open(7, path.c_str(), path.size(), "old", "unformatted", "sequential", "rewind", "read"), Ok);
    int otherThread = Ok;
    std::thread([&] { otherThread = Read(7, {}); }).join();
    EXPECT_EQ(otherThread, UnitNotOpen);
    std::int32_t value = 0;
    EXPECT_EQ(Read(7, {Item::Integer(value)}), Ok);
    EXPECT_EQ(Close(7, "DELETE"), BadArgument);
    EXPECT_EQ(Close(7), Ok);
    EXPECT_EQ(Read(7, {Item::Integer(value)}), UnitNotOpen);
}
