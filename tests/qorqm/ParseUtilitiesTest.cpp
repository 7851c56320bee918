#include "qorqm/ParseUtilities.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using QzTest::TempFolder;

namespace {

using Tokens = std::vector<std::string>;

TEST(ParseUtilities, TokenizeNeverGivesEmptyTokens) {
    struct Case {
        std::string line, delimiters;
        Tokens expected;
    };
    const std::vector<Case> cases = {
        {"  Total lattice energy   =   -12.5  eV ", " ", {"Total", "lattice", "energy", "=", "-12.5", "eV"}},
        {"word", " ", {"word"}},
        {"", " ", {}},
        {"     ", " ", {}},
        {"a,b;;c,", ",;", {"a", "b", "c"}},
        {"a\tb c", " ", {"a\tb", "c"}},          // only the given delimiters split
        {"a\tb  c", " \t", {"a", "b", "c"}},
        {"whole line", "", {"whole line"}},
        {"", "", {}},
        {"1.0\r", " ", {"1.0\r"}},
    };
    for (const Case& c : cases) {
        Tokens tokens = {"left", "over"};
        ParseUtilities::Tokenize(c.line, tokens, c.delimiters);
        EXPECT_EQ(tokens, c.expected) << "\"" << c.line << "\"";
        EXPECT_TRUE(std::none_of(tokens.begin(), tokens.end(),
                                 [](const std::string& t) { return t.empty(); }));
    }
}

TEST(ParseUtilities, FindLineContainingTokenWalksForward) {
    std::istringstream in("header\n  Dimensionality = 3\nother\nDimensionality = 2\nlast Dimensionality");
    std::string line = "stale";
    ASSERT_TRUE(ParseUtilities::FindLineContainingToken(in, "Dimensionality", line));
    EXPECT_EQ(line, "  Dimensionality = 3");
    ASSERT_TRUE(ParseUtilities::FindLineContainingToken(in, "Dimensionality", line));
    EXPECT_EQ(line, "Dimensionality = 2");
    // A last line without a line break is still searched.
    ASSERT_TRUE(ParseUtilities::FindLineContainingToken(in, "Dimensionality", line));
    EXPECT_EQ(line, "last Dimensionality");
    EXPECT_FALSE(ParseUtilities::FindLineContainingToken(in, "Dimensionality", line));
    EXPECT_EQ(line, "");
}

TEST(ParseUtilities, FindLineContainingTokenIsCaseSensitiveAndStopsAtEnd) {
    std::istringstream in("dimensionality = 3\n");
    std::string line = "stale";
    EXPECT_FALSE(ParseUtilities::FindLineContainingToken(in, "Dimensionality", line));
    EXPECT_EQ(line, "");

    std::istringstream failed("Dimensionality = 3\n");
    failed.setstate(std::ios::failbit);
    EXPECT_FALSE(ParseUtilities::FindLineContainingToken(failed, "Dimensionality", line));
}

TEST(ParseUtilities, IsTokenInFileSearchesWholeFile) {
    TempFolder dir;
    const std::string osc = dir.Write(
        "seed.osc",
        "  oscillator strengths and phonon frequencies 3\n...\n high frequency dielectric\n"
        "   constant tensor\n");
    EXPECT_TRUE(ParseUtilities::IsTokenInFile(osc, "oscillator strengths and phonon frequencies"));
    EXPECT_TRUE(ParseUtilities::IsTokenInFile(osc, "dielectric\n   constant"));  // across lines
    EXPECT_FALSE(ParseUtilities::IsTokenInFile(osc, "high frequency dielectric constant tensor"));
    EXPECT_FALSE(ParseUtilities::IsTokenInFile(osc, "Oscillator"));
    EXPECT_TRUE(ParseUtilities::IsTokenInFile(osc, ""));
    std::string backslashed = osc;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_TRUE(ParseUtilities::IsTokenInFile(backslashed, "phonon"));

    EXPECT_FALSE(ParseUtilities::IsTokenInFile(dir.Path() + "/missing.gout", ""));
    EXPECT_FALSE(ParseUtilities::IsTokenInFile(dir.Path() + "/missing.gout", "x"));
    EXPECT_FALSE(ParseUtilities::IsTokenInFile(dir.Write("empty.gout"), "x"));
}

TEST(ParseUtilities, IsTokenInFileFindsTextAcrossReadBlocks) {
    // Place the text so that it straddles every power-of-two boundary from
    // 4 KiB to 256 KiB in turn; whatever block size the search reads in,
    // one of these straddles it.
    TempFolder dir;
    const std::string text = "Frequency dependent properties :";
    for (std::size_t boundary = 4096; boundary <= 256 * 1024; boundary *= 2) {
        const std::string contents = std::string(boundary - text.size() / 2, 'x') + text + "\n";
        const std::string path = dir.Write("big.gout", contents);
        EXPECT_TRUE(ParseUtilities::IsTokenInFile(path, text)) << "boundary " << boundary;
        EXPECT_FALSE(ParseUtilities::IsTokenInFile(path, text + "!")) << "boundary " << boundary;
    }
}

}  // namespace
