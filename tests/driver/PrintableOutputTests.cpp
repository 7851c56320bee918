// All the driver prints passes through PrintableOutput: whatever the pieces
// written, the text that comes out is the text escaped as one, with the
// stream's own writes (a flush, an unbuffered stream) cutting no character.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "PrintableOutput.h"
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
