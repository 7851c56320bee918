// Line reading and number tokens shared by every reader.

#include "readers/EngineLines.h"
#include "readers/ReaderBase.h"

#include "kelv/kelv.h"
#include "qorqm/ParseUtilities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

std::vector<std::string> ReadAll(const std::string& text, LastLineRule rule, bool* tooLong = nullptr)
{
    std::istringstream stream(text);
    CEngineLineReader lines(stream, rule);
    std::vector<std::string> out;
    while (lines.Next()) {
        out.push_back(lines.Line());
    }
    EXPECT_FALSE(lines.Next());
    if (tooLong) {
        *tooLong = lines.TooLong();
    }
    return out;
}

} // namespace

TEST(NumberTokens, LeadingDecimalFollowsTheEngineGrammarOnly)
{
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"3.5", 3.5},     {"-2.25e2", -225.0}, {"+1.5", 1.5},   {"1e3x", 1000.0}, {"1e", 1.0},
        {"1.5e+", 1.5},   {".5", 0.5},          {"5.", 5.0},    {"abc", 0.0},     {"nan", 0.0},
        {"NaN1", 0.0},    {"inf", 0.0},         {"-inf", 0.0},  {"0x10", 0.0},    {"", 0.0},
        {"-", 0.0},       {".", 0.0},           {"1,5", 1.0},   {"1e400", std::numeric_limits<double>::infinity()},
        {"-1e400", -std::numeric_limits<double>::infinity()},  {"1e-400", 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, ParseLeadingDecimal(c.text)) << c.text;
    }
    EXPECT_EQ(12, ParseLeadingInteger("12abc"));
    EXPECT_EQ(-3, ParseLeadingInteger("-3"));
    EXPECT_EQ(0, ParseLeadingInteger("x1"));
    EXPECT_EQ(2147483647L, ParseLeadingInteger("99999999999999999999"));
}

TEST(NumberTokens, NaNTokenRepeatsThePreviousValue)
{
    std::vector<double> series;
    CFileReaderBase::ParseNumberToken("NaN", series);
    CFileReaderBase::ParseNumberToken("3.5", series);
    CFileReaderBase::ParseNumberToken("NaN", series);
    CFileReaderBase::ParseNumberToken("nan", series);
    CFileReaderBase::ParseNumberToken("NaN1", series);
    CFileReaderBase::ParseNumberToken("1e3x", series);
    EXPECT_EQ((std::vector<double>{0.0, 3.5, 3.5, 0.0, 0.0, 1000.0}), series);
}

TEST(NumberTokens, FieldAsDoubleFailsOnText)
{
    EXPECT_EQ(12.5, GetFieldAsDouble("12.5", 0));
    try {
        GetFieldAsDouble("C1", 0);
        FAIL();
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        EXPECT_EQ("Found invalid field in the string C1", error.GetMessage());
    }
}

TEST(EngineLines, LastLineRulesAndCarriageReturns)
{
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), ReadAll("a\r\nb\nc", LastLineRule::NeedsLineBreak));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), ReadAll("a\r\nb\nc", LastLineRule::UsedWithoutLineBreak));
    EXPECT_EQ((std::vector<std::string>{"a", ""}), ReadAll("a\n\n", LastLineRule::NeedsLineBreak));
    EXPECT_EQ((std::vector<std::string>{"a", ""}), ReadAll("a\n\n", LastLineRule::UsedWithoutLineBreak));
    EXPECT_TRUE(ReadAll("", LastLineRule::UsedWithoutLineBreak).empty());
    EXPECT_TRUE(ReadAll("only", LastLineRule::NeedsLineBreak).empty());
}

TEST(EngineLines, LineOverTheBufferEndsTheReading)
{
    const std::string fits(1023, 'x');
    bool tooLong = false;
    EXPECT_EQ((std::vector<std::string>{fits, "after"}),
              ReadAll(fits + "\nafter\n", LastLineRule::NeedsLineBreak, &tooLong));
    EXPECT_FALSE(tooLong);
    for (LastLineRule rule : {LastLineRule::NeedsLineBreak, LastLineRule::UsedWithoutLineBreak}) {
        const std::string text = "first\n" + std::string(2000, 'y') + "\nlast\n";
        EXPECT_EQ((std::vector<std::string>{"first"}), ReadAll(text, rule, &tooLong));
        EXPECT_TRUE(tooLong);
    }
}

// A reader counts the lines ahead to reserve its series, then reads on: the
// count bounds what it reads and the reading goes on from the same line.
TEST(EngineLines, CountingTheLinesAheadLeavesTheReadingWhereItWas)
{
    const struct {
        const char* text;
        std::size_t ahead;  // after the first line
    } cases[] = {{"h\na\nb\nc", 3}, {"h\r\na\r\nb\r\n", 2}, {"h\n\n\n", 2}, {"h\n", 0}, {"h", 0}};
    for (const auto& c : cases) {
        for (LastLineRule rule : {LastLineRule::NeedsLineBreak, LastLineRule::UsedWithoutLineBreak}) {
            std::istringstream stream(c.text);
            CEngineLineReader lines(stream, rule);
            std::vector<std::string> read;
            while (lines.Next()) {
                if (read.empty()) {
                    EXPECT_EQ(c.ahead, CountLines(stream)) << c.text;
                }
                read.push_back(lines.Line());
            }
            EXPECT_EQ(ReadAll(c.text, rule), read) << c.text;
            EXPECT_LE(read.size(), c.ahead + 1) << c.text;
        }
    }
    std::istringstream empty("");
    EXPECT_EQ(0u, CountLines(empty));
    EXPECT_TRUE(ReadAll("", LastLineRule::UsedWithoutLineBreak).empty());
}

TEST(EngineLines, TokensAreWordsBetweenBlanks)
{
    LineTokens tokens{"stale"};
    const std::string line = "  a   b\tc  ";
    TokenizeLine(line, tokens);
    EXPECT_EQ((LineTokens{"a", "b\tc"}), tokens);
    const std::string empty;
    TokenizeLine(empty, tokens);
    EXPECT_TRUE(tokens.empty());
    // The same words as the host's tokenizer with a blank as the delimiter,
    // also when the list is reused from a longer line.
    std::vector<std::string> host;
    for (const std::string line : {" x  y ", "a", "   ", "Cycle: 0 Energy: -31.8 Gnorm: 0.4 CPU: 0.01", "\tb c\r"}) {
        TokenizeLine(line, tokens);
        ParseUtilities::Tokenize(line, host, " ");
        EXPECT_EQ(host, std::vector<std::string>(tokens.begin(), tokens.end())) << line;
    }
}

TEST(NumberTokens, WholeDecimalIsAQuickerRoadToTheStreamValue)
{
    for (const char* text : {"1.5", "-2.25e2", "+3", ".5", "5.", "2.820100000", "1e-5", "-0.0"}) {
        double value = -99.0;
        ASSERT_TRUE(ParseWholeDecimal(text, value)) << text;
        EXPECT_EQ(GetFieldAsDouble(text, 0), value) << text;
    }
    for (const char* text : {"", "1.5abc", "inf", "nan", "0x10", "1e400", "1e", "+-1", "--1", "1 2"}) {
        double value = -99.0;
        EXPECT_FALSE(ParseWholeDecimal(text, value)) << text;
        EXPECT_EQ(-99.0, value);
    }
}

namespace {

// A stream buffer that takes in at most `piece` characters at a time, so
// that lines lie across its refills.
class PieceBuffer : public std::streambuf
{
public:
    PieceBuffer(std::string text, std::size_t piece) : m_text(std::move(text)), m_piece(piece) {}

protected:
    int_type underflow() override
    {
        if (m_at >= m_text.size())
            return traits_type::eof();
        const std::size_t n = std::min(m_piece, m_text.size() - m_at);
        m_held.assign(m_text, m_at, n);
        m_at += n;
        setg(m_held.data(), m_held.data(), m_held.data() + n);
        return traits_type::to_int_type(m_held[0]);
    }

private:
    std::string m_text, m_held;
    std::size_t m_piece;
    std::size_t m_at = 0;
};

// Every line of the text, as one reading gives them, with where each ends
// and how the reading ended.
std::vector<std::string> Lines(const std::string& text, std::size_t piece, LastLineRule rule, bool inPlace)
{
    PieceBuffer buffer(text, piece);
    std::istream stream(&buffer);
    CEngineLineReader lines(stream, rule);
    std::vector<std::string> out;
    while (inPlace ? lines.NextInPlace() : lines.Next()) {
        // The line as it is shown, and as Line() copies it then.
        out.push_back(std::string(lines.View()) + "|" + lines.Line() + "@" + std::to_string(lines.Offset()));
    }
    out.push_back("long " + std::to_string(lines.TooLong()) + " cut " + std::to_string(lines.EndedInsideLine()));
    return out;
}

} // namespace

// A line read in place is the line a copying reading gives, wherever the
// stream's buffer is refilled: breaks, carriage returns, NUL characters, a
// line too long, a last line without its break.
TEST(EngineLines, ALineReadInPlaceIsTheLineACopyingReadingGives)
{
    const std::string rows[] = {
        "one\ntwo\r\n\nthree\n",
        "a\r\r\nb\rc\n",
        std::string("x\0y\r\nz\n", 7),
        "first\n" + std::string(1023, 'w') + "\n" + std::string(1023, 'v') + "\r\nafter\n",
        "first\n" + std::string(1500, 'y') + "\nlast\n",
        "ends without a break",
        "end\nend",
    };
    for (const std::string& text : rows) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{64}, std::size_t{4096}}) {
            for (LastLineRule rule : {LastLineRule::NeedsLineBreak, LastLineRule::UsedWithoutLineBreak}) {
                SCOPED_TRACE(text.substr(0, 20) + " in pieces of " + std::to_string(piece));
                EXPECT_EQ(Lines(text, piece, rule, false), Lines(text, piece, rule, true));
            }
        }
    }
}
