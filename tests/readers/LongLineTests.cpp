// Lines at the edge of the 1023-character buffer: CR LF breaks, and a line
// too long for any format inside an archive frame.

#include "readers/ArchiveFileReader.h"
#include "readers/EngineLines.h"

#include "ReaderFiles.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Outcome {
    std::vector<std::string> lines;
    bool tooLong;
};

Outcome ReadAll(const std::string& text, LastLineRule rule)
{
    std::istringstream stream(text);
    CEngineLineReader lines(stream, rule);
    Outcome outcome;
    while (lines.Next()) {
        outcome.lines.push_back(lines.Line());
    }
    outcome.tooLong = lines.TooLong();
    return outcome;
}

} // namespace

TEST(EngineLines, TheCarriageReturnOfAFullLineIsNotCounted)
{
    const std::string full(1023, 'x');
    const std::string over(1024, 'y');
    const auto need = LastLineRule::NeedsLineBreak;
    const auto used = LastLineRule::UsedWithoutLineBreak;
    const struct {
        const char* what;
        std::string text;
        LastLineRule rule;
        std::vector<std::string> lines;
        bool tooLong;
    } cases[] = {
        {"1023 characters, CR LF", full + "\r\nafter\r\n", need, {full, "after"}, false},
        {"1023 characters, CR LF, other rule", full + "\r\nafter\r\n", used, {full, "after"}, false},
        {"1024 characters, CR LF", over + "\r\nafter\r\n", need, {}, true},
        {"1023 characters, CR and a character", full + "\rz\nafter\n", need, {}, true},
        {"last line of 1023 characters ending in CR", "a\n" + full + "\r", used, {"a", full}, false},
        {"the same where a last line needs its break", "a\n" + full + "\r", need, {"a"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = ReadAll(c.text, c.rule);
        EXPECT_EQ(c.lines, outcome.lines);
        EXPECT_EQ(c.tooLong, outcome.tooLong);
    }
}

TEST(ArchiveReader, ALineTooLongAmongTheAtomsEndsTheDataAndKeepsTheFrame)
{
    QzTest::ReaderFolder folder;
    const std::string atom = "Na      0.0000   0.0000   0.0000 CORE 1 Na Na  1.0000 1\n";
    const std::string path = folder.Write(
        "run.arc", "!KORVEX archive 3\nPBC=OFF\n   -100.0\n!DATE today\n" + atom +
                       "Cl      1.0000   2.0000   3.0000 CORE 2 Cl Cl -1.0000 2\n" + std::string(1500, 'z') +
                       "\nK       4.0000   5.0000   6.0000 CORE 3 K  K   1.0000 3\nend\nend\n"
                       "   -200.0\n!DATE today\n" + atom + "end\nend\n");
    const CArchiveFileReader reader(path, CAtomicIndexMap::Default);
    ASSERT_EQ(1u, reader.GetFrames().size());
    const std::vector<xxPoint3d>& positions = reader.GetFrames()[0].GetAtomPositions();
    ASSERT_EQ(2u, positions.size());
    EXPECT_EQ(3.0, positions[1].z);
}
