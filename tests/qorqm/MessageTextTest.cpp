#include <string>

#include <gtest/gtest.h>

#include "qorqm/MessageText.h"

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
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageText::Excerpt(c.text), c.expected);
    EXPECT_EQ(MessageText::Excerpt(std::string(5000000, 'a')).size(), 200u + std::string("... (4999800 more characters)").size());
}
