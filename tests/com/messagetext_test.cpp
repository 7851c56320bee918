#include <string>

#include <gtest/gtest.h>

#include "com/messagetext.h"

TEST(MessageText, ExcerptEscapesControlCharactersAndCutsLongText)
{
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"plain text", "plain text"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {"a\tb\r\nc\x7f", "a\\x09b\\x0d\\x0ac\\x7f"},
        {"back\\slash", "back\\\\slash"},
        {std::string(250, 'x'), std::string(200, 'x') + "... (50 more characters)"},
        // A two-byte character across the cut is left out whole.
        {std::string(199, 'x') + "\xc3\xa9" + "yz", std::string(199, 'x') + "... (4 more characters)"},
        // An escape across the cut is left out whole.
        {std::string(198, 'x') + "\x1b" + "yz", std::string(198, 'x') + "... (3 more characters)"},
        {std::string(199, 'x') + "\\", std::string(199, 'x') + "... (1 more characters)"},
        // Escapes count as what the message shows, not as bytes of the text.
        {std::string(300, '\x1b'), [] {
             std::string shown;
             for (int i = 0; i < 50; ++i)
                 shown += "\\x1b";
             return shown + "... (250 more characters)";
         }()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageText::Excerpt(c.text), c.expected) << c.expected;
    EXPECT_EQ(MessageText::Excerpt(std::string(5000000, 'a')).size(), 200u + std::string("... (4999800 more characters)").size());
}

TEST(MessageText, ExcerptPassesPrintableUtf8AndEscapesC1AndMalformedBytes)
{
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } cases[] = {
        {"printable two, three and four bytes", "\xc3\x85 \xc2\xa0 \xe2\x82\xac \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf",
         "\xc3\x85 \xc2\xa0 \xe2\x82\xac \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf"},
        {"C1 as UTF-8, first and last", "\xc2\x80 \xc2\x9b" "31m \xc2\x9f", "\\xc2\\x80 \\xc2\\x9b" "31m \\xc2\\x9f"},
        {"C1 as single bytes", "\x9b" "32m \x80\x9f", "\\x9b" "32m \\x80\\x9f"},
        {"the XYZ title", "\xc2\x9b" "31mRED \x9b" "32m \xff\xfe", "\\xc2\\x9b" "31mRED \\x9b" "32m \\xff\\xfe"},
        {"a lone Latin-1 byte", "\xc5" "ngstr\xf6m", "\\xc5" "ngstr\\xf6m"},
        {"overlong forms", "\xc0\xaf \xc1\xbf \xe0\x80\xaf \xf0\x80\x80\xaf", "\\xc0\\xaf \\xc1\\xbf \\xe0\\x80\\xaf \\xf0\\x80\\x80\\xaf"},
        {"surrogates", "\xed\xa0\x80 \xed\xbf\xbf", "\\xed\\xa0\\x80 \\xed\\xbf\\xbf"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80 \xf5\x80\x80\x80 \xf8", "\\xf4\\x90\\x80\\x80 \\xf5\\x80\\x80\\x80 \\xf8"},
        {"stray continuation bytes", "a\xbf\xa0z", "a\\xbf\\xa0z"},
        {"sequences cut short", "\xe2\x82 \xf0\x9f\x98", "\\xe2\\x82 \\xf0\\x9f\\x98"},
        {"a sequence cut short by the end", "ab\xe2\x82", "ab\\xe2\\x82"},
        {"an escape sequence hidden in a malformed one", "\xe2\x1b]0;x\x07", "\\xe2\\x1b]0;x\\x07"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageText::Excerpt(c.text), c.expected) << c.what;
}

TEST(MessageText, ExcerptOfAHeadLeavesACharacterCutByItsEndToTheRest)
{
    // The head of a longer text, cut inside the euro sign by whoever read it.
    EXPECT_EQ(MessageText::Excerpt("ab\xe2\x82", 200, 10), "ab... (8 more characters)");
    // A malformed byte at the end of a head is still shown escaped.
    EXPECT_EQ(MessageText::Excerpt("ab\xff", 200, 10), "ab\\xff... (7 more characters)");
}

TEST(MessageText, ExcerptOfHostileTextStaysBoundedAndFreeOfControlBytes)
{
    std::string hostile;
    for (int i = 0; i < 4000; ++i)
        hostile += std::string("\x1b]8;;\x07\xc2\x9b\x9b\xff\xc0\xaf\xed\xa0\x80\xe2\x82", 17) + static_cast<char>(i % 128);
    for (std::size_t limit : {std::size_t(0), std::size_t(3), std::size_t(40), MessageText::ExcerptLength}) {
        const std::string shown = MessageText::Excerpt(hostile, limit);
        const std::string::size_type suffix = shown.find("... (");
        ASSERT_NE(suffix, std::string::npos);
        EXPECT_LE(suffix, limit);
        for (unsigned char c : shown)
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(c) << " at limit " << limit;
    }
}

// Characters that reorder, hide or break a line are escaped as controls are,
// by the excerpt and by what the driver prints alike; their printable
// neighbours are not.
TEST(MessageText, FormatCharactersAndSeparatorsAreEscapedWhereverTextIsShown)
{
    const struct {
        const char* what;
        std::string text;
        std::string escaped;  // as both show it
    } cases[] = {
        {"right-to-left override", "a\xe2\x80\xae" "b", "a\\xe2\\x80\\xae" "b"},
        {"left-to-right embedding", "\xe2\x80\xaa", "\\xe2\\x80\\xaa"},
        {"pop directional formatting", "\xe2\x80\xac", "\\xe2\\x80\\xac"},
        {"isolates", "\xe2\x81\xa6\xe2\x81\xa9", "\\xe2\\x81\\xa6\\xe2\\x81\\xa9"},
        {"marks", "\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c", "\\xe2\\x80\\x8e\\xe2\\x80\\x8f\\xd8\\x9c"},
        {"zero-width space and joiners", "\xe2\x80\x8b\xe2\x80\x8d", "\\xe2\\x80\\x8b\\xe2\\x80\\x8d"},
        {"word joiner and invisible plus", "\xe2\x81\xa0\xe2\x81\xa4", "\\xe2\\x81\\xa0\\xe2\\x81\\xa4"},
        {"byte order mark", "\xef\xbb\xbfx", "\\xef\\xbb\\xbfx"},
        {"interlinear annotation", "\xef\xbf\xb9\xef\xbf\xbb", "\\xef\\xbf\\xb9\\xef\\xbf\\xbb"},
        {"soft hyphen", "\xc2\xad", "\\xc2\\xad"},
        {"a tag", "\xf3\xa0\x80\x81", "\\xf3\\xa0\\x80\\x81"},
        {"line and paragraph separators", "a\xe2\x80\xa8" "b\xe2\x80\xa9", "a\\xe2\\x80\\xa8" "b\\xe2\\x80\\xa9"},
        {"neighbours stay", "\xe2\x80\x8a\xe2\x80\x90\xe2\x80\xa7\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xb0\xef\xbb\xbe\xef\xbf\xbc",
         "\xe2\x80\x8a\xe2\x80\x90\xe2\x80\xa7\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xb0\xef\xbb\xbe\xef\xbf\xbc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageText::Excerpt(c.text), c.escaped) << c.what;
        std::string printed;
        EXPECT_EQ(MessageText::AppendPrintable(printed, c.text.data(), c.text.size(), true), c.text.size()) << c.what;
        EXPECT_EQ(printed, c.escaped) << c.what;
    }
}

// What the driver prints keeps its layout and backslashes; a character cut
// by the end of one piece waits for the rest unless the piece is the last.
TEST(MessageText, PrintableTextKeepsLinesAndWaitsForACharacterCutInTwo)
{
    const struct {
        const char* what;
        std::string text;
        bool whole;
        std::string printed;
        std::size_t taken;
    } cases[] = {
        {"lines, tabs and backslashes", "a\tb\nC:\\x\n", false, "a\tb\nC:\\x\n", 9},
        {"controls", "\x1b[2J\r\x07\x7f", false, "\\x1b[2J\\x0d\\x07\\x7f", 7},
        {"C1 and malformed bytes", "\xc2\x9b\x9b\xff\xc0\xaf", false, "\\xc2\\x9b\\x9b\\xff\\xc0\\xaf", 6},
        {"printable UTF-8", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", false, "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", 9},
        {"a character cut short, more to come", "ab\xe2\x82", false, "ab", 2},
        {"a character cut short at the end", "ab\xe2\x82", true, "ab\\xe2\\x82", 4},
        {"a malformed start is no cut", "ab\xe2\x41", false, "ab\\xe2A", 4},
    };
    for (const auto& c : cases) {
        std::string printed;
        EXPECT_EQ(MessageText::AppendPrintable(printed, c.text.data(), c.text.size(), c.whole), c.taken) << c.what;
        EXPECT_EQ(printed, c.printed) << c.what;
    }
}
