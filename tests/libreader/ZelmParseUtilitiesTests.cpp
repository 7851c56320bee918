#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "qorvira/ZelmParseUtilities.h"

namespace zpu = ZelmParseUtilities;

TEST(ZelmParseUtilities, GetNonEmptyLineSkipsBlankLinesAndCarriageReturns)
{
    std::istringstream in("\n   \n\t\r\nfirst line\r\n\r\n  second\nlast without break");
    std::string line;
    ASSERT_TRUE(zpu::GetNonEmptyLine(in, line));
    EXPECT_EQ(line, "first line");
    ASSERT_TRUE(zpu::GetNonEmptyLine(in, line));
    EXPECT_EQ(line, "  second");
    ASSERT_TRUE(zpu::GetNonEmptyLine(in, line));
    EXPECT_EQ(line, "last without break");
    EXPECT_FALSE(zpu::GetNonEmptyLine(in, line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(zpu::GetNonEmptyLine(in, line));
}

TEST(ZelmParseUtilities, GetLineReturnsRawLinesAndEmptyAtEnd)
{
    std::istringstream in("One Two\r\n\r\nTHREE");
    EXPECT_EQ(zpu::GetLine(in), "One Two");
    EXPECT_EQ(zpu::GetLine(in), "");
    EXPECT_EQ(zpu::GetLowerCaseLine(in), "three");
    EXPECT_EQ(zpu::GetLine(in), "");
    EXPECT_EQ(zpu::GetLine(in), "");
}

TEST(ZelmParseUtilities, LowerCasingTouchesAsciiLettersOnly)
{
    std::string text = "BUCK Si_A \xC5ngstr\xD6m 1.0E-3";
    EXPECT_EQ(zpu::MakeStringLowerCase(text), "buck si_a \xC5ngstr\xD6m 1.0e-3");
    EXPECT_EQ(text, "buck si_a \xC5ngstr\xD6m 1.0e-3");
}

TEST(ZelmParseUtilities, LineLengthIsPinned)
{
    // Libraries written by the module and read back depend on this length:
    // it must stay far above the longest line the module writes.
    EXPECT_EQ(zpu::ZelmLineLength(), 1023u);
}

TEST(ZelmParseUtilities, ChopKeepsShortTextsByteForByte)
{
    const char* texts[] = {
        "",
        "\n",
        "buck\n",
        "Na core O shel 1000.0000000000 0.3000000000 0.0000000000 1 0 \n",
        "Na core 1\r\n",
        "poly harmonic\n5\n",
        "no line break",
    };
    for (const char* text : texts) {
        EXPECT_EQ(zpu::ChopToZelmLength(text), text) << text;
    }
}

TEST(ZelmParseUtilities, ChopNeverCutsTheLongestLinesTheModuleWrites)
{
    // Four atoms with long type names, twelve values at full precision and a
    // fit flag for each: well beyond what any form writes on one line.
    std::string line = "O_O2- shel O_O2- shel Si_AB core Si_AB core";
    for (int i = 0; i < 12; ++i) {
        line += " -123456789.0123456789";
    }
    for (int i = 0; i < 12; ++i) {
        line += " 1";
    }
    line += " \n";
    ASSERT_LT(line.size(), 400u);
    EXPECT_EQ(zpu::ChopToZelmLength(line), line);
}

TEST(ZelmParseUtilities, ChopCutsLongLinesAtAWordAndKeepsTheLineBreak)
{
    const std::size_t limit = zpu::ZelmLineLength();
    std::string word = "1.2345678 ";  // ten characters
    std::string content;
    while (content.size() < limit + 50) {
        content += word;
    }
    std::string chopped = zpu::ChopToZelmLength(content + "\r\n");
    ASSERT_GE(chopped.size(), 2u);
    EXPECT_EQ(chopped.substr(chopped.size() - 2), "\r\n");
    std::string body = chopped.substr(0, chopped.size() - 2);
    EXPECT_LE(body.size(), limit);
    // Only whole words are kept.
    EXPECT_EQ(body.size() % word.size(), word.size() - 1);
    EXPECT_EQ(body.substr(body.size() - 9), "1.2345678");

    // A single word longer than the line is cut at the limit itself.
    std::string longWord(limit + 10, 'x');
    EXPECT_EQ(zpu::ChopToZelmLength(longWord + "\n"), std::string(limit, 'x') + "\n");

    // Each line of a text of several lines is cut on its own.
    std::string twoLines = content + "\n" + "short\n";
    std::string choppedTwo = zpu::ChopToZelmLength(twoLines);
    EXPECT_EQ(choppedTwo, body + "\nshort\n");
}

// What a cut to the engine's line length loses: the word across the limit
// (or the first after it), never a part of a UTF-8 character.
TEST(ZelmParseUtilities, CutWordNamesWhatTheCutLoses)
{
    const std::size_t limit = zpu::ZelmLineLength();
    const std::string upTo(limit - 3, 'a');  // ends three columns before the limit
    const struct {
        const char* what;
        std::string line;
        std::string cut;   // CutWord
        std::string kept;  // what ChopToZelmLength keeps
    } cases[] = {
        {"fits", std::string(limit, 'a'), "", std::string(limit, 'a')},
        {"blanks beyond", std::string(limit, 'a') + "   ", "", std::string(limit, 'a')},
        {"word across", upTo + " -1.25", "-1.25", upTo},
        {"word after a blank at the limit", std::string(limit, 'a') + " kcal", "kcal", std::string(limit, 'a')},
        {"one long word", std::string(limit + 5, 'b'), std::string(limit + 5, 'b'), std::string(limit, 'b')},
        {"a character across", std::string(limit - 1, 'c') + "\xC3\xA9\xC3\xA9", std::string(limit - 1, 'c') + "\xC3\xA9\xC3\xA9",
         std::string(limit - 1, 'c')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(zpu::CutWord(c.line), c.cut);
        EXPECT_EQ(zpu::ChopToZelmLength(c.line), c.kept);
    }
}

// Numbers of libraries and dumps: one decimal number, the whole word.
TEST(ZelmParseUtilities, ReadDecimalTakesWholeDecimalNumbersOnly)
{
    const struct {
        const char* word;
        bool number;
        double value;
    } cases[] = {
        {"1.0", true, 1.0},   {"-1.25", true, -1.25}, {"+3", true, 3.0},     {".5", true, 0.5},
        {"5.", true, 5.0},    {"1e-3", true, 1e-3},   {"-2.5E+2", true, -250.0},
        {"0x10", false, 0},   {"nan", false, 0},      {"-inf", false, 0},    {"1e999", false, 0},
        {"12abc", false, 0},  {"1.0d0", false, 0},    {"", false, 0},        {"-", false, 0},
        {".", false, 0},      {"1e", false, 0},       {"1,5", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        double value = 42.0;
        EXPECT_EQ(zpu::ReadDecimal(c.word, value), c.number);
        EXPECT_EQ(value, c.number ? c.value : 42.0);
    }
}

TEST(ZelmParseUtilities, CommentAndBlankLines)
{
    EXPECT_TRUE(zpu::IsCommentLine("# comment"));
    EXPECT_TRUE(zpu::IsCommentLine("   #indented"));
    EXPECT_FALSE(zpu::IsCommentLine("Na core 1.0 # trailing"));
    EXPECT_FALSE(zpu::IsCommentLine(""));
    EXPECT_TRUE(zpu::IsBlankLine(" \t\r"));
    EXPECT_FALSE(zpu::IsBlankLine(" x "));
}

TEST(ZelmParseUtilities, FindNonCommentLineContainingToken)
{
    std::istringstream in(
        "opti conp fit\n"
        "# species are below\n"
        "subspecies 3\n"
        "title\r\n"
        "Species  2\r\n"
        "Na core 1.0\n");
    std::string line;
    std::list<std::string> passed;
    ASSERT_TRUE(zpu::FindNonCommentLineContainingToken(in, "species", line, passed));
    EXPECT_EQ(line, "Species  2");
    std::list<std::string> expected = {"opti conp fit", "# species are below", "subspecies 3",
                                       "title"};
    EXPECT_EQ(passed, expected);
    EXPECT_EQ(zpu::GetLine(in), "Na core 1.0");

    std::istringstream none("a\n# species\nb");
    passed.clear();
    EXPECT_FALSE(zpu::FindNonCommentLineContainingToken(none, "species", line, passed));
    EXPECT_EQ(passed.size(), 3u);
}
