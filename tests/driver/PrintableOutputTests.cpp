// All the driver prints passes through PrintableOutput: whatever the pieces
// written, the text that comes out is the text escaped as one, with the
// stream's own writes (a flush, an unbuffered stream) cutting no character.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "DriverSupport.h"
#include "PrintableOutput.h"
#include "common/ShellOutput.h"
#include "qorqm/MessageText.h"

namespace {

std::string Escaped(const std::string& text)
{
    std::string escaped;
    MessageText::AppendPrintable(escaped, text.data(), text.size(), true);
    return escaped;
}

}  // namespace

TEST(PrintableOutput, PrintsWhatIsWrittenEscapedWhateverThePieces)
{
    const std::string euro = "\xe2\x82\xac";
    std::string large;
    while (large.size() < (1u << 16) - 1)
        large += 'x';
    const struct {
        const char* what;
        std::string text;
        std::size_t piece;  // bytes per write, 0: the text at once
        bool flushEach;
    } cases[] = {
        {"plain lines", "a\tb\nc\n", 0, false},
        {"terminal codes and a reversing mark", "\x1b]0;t\x07\x1b[2J\xe2\x80\xae\x9b" "31m\r\n", 0, false},
        {"a character written byte by byte, flushed each time", "a" + euro + "b\xe2\x80\xae", 1, true},
        {"a character across the end of the buffer", large + euro + large + euro, 0, false},
        {"a character across the buffer's end, written in pieces", large + euro + "\xe2\x80\xa8" + large, 7, false},
        {"a character cut short by the end of everything", "end\xe2\x82", 1, true},
    };
    for (const auto& c : cases) {
        std::ostringstream target;
        {
            std::ostream stream(target.rdbuf());
            const ZelmHost::PrintableOutput sink(stream);
            const std::size_t piece = c.piece == 0 ? c.text.size() : c.piece;
            for (std::size_t at = 0; at < c.text.size(); at += piece) {
                stream << c.text.substr(at, piece);
                if (c.flushEach)
                    stream.flush();
            }
        }
        EXPECT_EQ(target.str(), Escaped(c.text)) << c.what;
    }
}

// A word of advice that prints a command: as it stands when plain, else
// single-quoted; the shell gives each back as it was.
TEST(ShellQuoted, TheShellReadsTheWordAsItWas)
{
    const struct {
        std::string word;
        std::string quoted;
    } cases[] = {
        {"p/run/rocksalt.gout", "p/run/rocksalt.gout"},
        {"/tmp/a-b_c.d+e,f:g@h%i=j", "/tmp/a-b_c.d+e,f:g@h%i=j"},
        {"", "''"},
        {"rock salt", "'rock salt'"},
        {"it's", "'it'\\''s'"},
        {"/tmp/$(touch x)/x.gout", "'/tmp/$(touch x)/x.gout'"},
        {"`id`;rm -rf ~ &", "'`id`;rm -rf ~ &'"},
        {"a\"b\\c*?[d]", "'a\"b\\c*?[d]'"},
        {"~user", "'~user'"},
        {"caf\xc3\xa9", "'caf\xc3\xa9'"},
        {"''", "''\\'''\\'''"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(ZelmHost::ShellQuoted(c.word), c.quoted);
        const std::string command = "printf '%s' " + ZelmHost::ShellQuoted(c.word);
        int status = -1;
        EXPECT_EQ(QzTest::ShellOutput(command, status), c.word);
        EXPECT_EQ(status, 0);
    }
}

// What a command shows of a project's text follows the printable rule of
// every message: the driver keeps no test of its own.
TEST(ShownText, FollowsThePrintableRuleOfMessages)
{
    const std::string tag = "\xf3\xa0\x81\x81";  // U+E0041
    const struct {
        std::string text;
        std::size_t longest;
        std::string shown;
    } cases[] = {
        {"rocksalt", 2000, "rocksalt"},
        {"caf\xc3\xa9", 2000, "caf\xc3\xa9"},
        {"a\\x1b", 2000, "a\\\\x1b"},
        {"a\x1b]0;t\x07", 2000, "a\\x1b]0;t\\x07"},
        {"rock" + tag + "salt", 2000, "rock\\xf3\\xa0\\x81\\x81salt"},
        {"line\nbreak", 2000, "line\\x0abreak"},
        {std::string(300, 'x'), 200, std::string(200, 'x') + "... (100 more characters)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(ZelmHost::ShownText(c.text, c.longest), c.shown);
        EXPECT_EQ(ZelmHost::ShownText(c.text, c.longest), MessageText::Excerpt(c.text, c.longest));
    }
}
