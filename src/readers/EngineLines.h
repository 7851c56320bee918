// Line and number reading shared by the readers of the engine's text files.
//
// The engine's files are read line by line into a buffer of 1024 characters,
// so a line holds at most 1023 characters; a longer line lies outside every
// format and ends the reading where it stands (it is never split or looped
// on). A carriage return that ends a line is dropped, so files written with
// CR LF line breaks read the same as with LF.
#pragma once

#include "com/regularfile.h"

#include <cstdint>
#include <fstream>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What happens to a last line that has no line break after it.
enum class LastLineRule {
    // The line is not used: the read that reaches the end of the file ends
    // the data (".arc", ".geomopt", ".gout" and the other history files).
    NeedsLineBreak,
    // The line is used like any other (".osc", ".dens").
    UsedWithoutLineBreak,
};

class CEngineLineReader
{
public:
    static constexpr std::streamsize BufferSize = 1024;

    CEngineLineReader(std::istream& stream, LastLineRule rule) noexcept : m_stream(stream), m_rule(rule) {}

    // Reads the next line. False at the end of the data: the end of the file
    // under the reader's rule, a failed read, or a line of more than 1023
    // characters (TooLong() tells). Once false, it stays false.
    bool Next() { return Read(true); }
    // Reads the next line as Next() does, but a line that lies whole in the
    // stream's buffer is not copied out of it: View() shows it there, until
    // the stream is read again (Line() copies it when asked).
    bool NextInPlace() { return Read(false); }

    // The line last read, without its line break and final carriage return.
    // A NUL character in the file ends the line's text there.
    const std::string& Line() const
    {
        if (m_inPlace) {
            m_line.assign(m_view);
            m_inPlace = false;
        }
        return m_line;
    }
    // The same line without a copy: valid until the next read.
    std::string_view View() const noexcept { return m_view; }

    // For a look at the next line before it is read: the characters the
    // stream's buffer holds from it on (maybe none, however much the file
    // still holds; none once the reading has ended).
    std::string_view Held() const;
    // Takes the next line from the held characters as NextInPlace() would
    // read it, where the caller has seen it there: `length` characters, none
    // of them a NUL or a line feed nor the last a carriage return, followed
    // by the line feed.
    void TakeHeld(std::size_t length);
    // True when the reading ended at a line of more than 1023 characters.
    bool TooLong() const noexcept { return m_tooLong; }
    // True when the reading ended at a last line without a line break that
    // holds more than blanks, which the NeedsLineBreak rule does not use: a
    // file cut inside that line.
    bool EndedInsideLine() const noexcept { return m_endedInsideLine; }
    // Bytes of the stream taken by the lines read so far (their breaks
    // included): where the next line starts, counted from where the reading
    // began.
    std::uint64_t Offset() const noexcept { return m_offset; }

private:
    bool Read(bool copy)
    {
        m_inPlace = false;
        if (ReadLine(copy)) {
            return true;
        }
        m_view = std::string_view();  // the buffer it showed may be gone
        return false;
    }
    bool ReadLine(bool copy);
    // After a read that filled the buffer: whether only a CR LF (or, for a
    // last line, a CR) follows, which it then consumes.
    bool FullLineBeforeCarriageReturn();

    std::istream& m_stream;
    LastLineRule m_rule;
    bool m_done = false;
    bool m_tooLong = false;
    bool m_endedInsideLine = false;
    std::uint64_t m_offset = 0;
    // The line last read: in the stream's buffer (m_inPlace) or in m_line.
    std::string_view m_view;
    mutable bool m_inPlace = false;
    mutable std::string m_line;
    char m_buffer[BufferSize] = {};
};

// Opens an engine text file for reading (paths with "/" or "\\"); false
// when it cannot be opened or is no regular file (stream.Failure names why).
bool OpenEngineFile(RegularFile::InputFile& stream, const std::string& path);

// An engine text file read once for the questions asked of one run: the
// text of the file read last is kept, and an opening of the same file (the
// opened descriptor's device, file number, size and times of change and of
// status change as they were) reads the kept text instead of the file. A
// file changed in any way since is read anew. Only a file of at most
// KeptBytes whose last change lies well before its reading is kept (a change
// within the clock's resolution of the reading could go unseen); any other
// file is read from its descriptor as OpenEngineFile reads it, so a reader
// holds no more of a large file than before.
class CKeptEngineFile : public std::istream
{
public:
    static constexpr std::uint64_t KeptBytes = std::uint64_t{1} << 20;

    CKeptEngineFile();
    ~CKeptEngineFile() override;
    CKeptEngineFile(const CKeptEngineFile&) = delete;
    CKeptEngineFile& operator=(const CKeptEngineFile&) = delete;

    // Opens the file (paths with "/" or "\\") as OpenEngineFile opens it;
    // false, with the stream failed, when it cannot be opened or is no
    // regular file (Failure names why).
    bool Open(const std::string& path);
    // RegularFile::Failure(message, the native path, the reason).
    std::string Failure(const std::string& message) const;

private:
    class Text;
    std::unique_ptr<std::streambuf> m_buffer;
    std::string m_path;
    std::string m_why;
};

// The lines from the stream's position to its end (a last line without a
// line break counts too), so at least as many as a CEngineLineReader reads
// from there: a bound for reserving the values of a file before reading it.
// The stream is put back where it was; one that cannot be read from any more
// has no lines left and is left as it is.
std::size_t CountLines(std::istream& stream);

// Gives back the room a series reserved beyond what it holds, when that is
// more than it holds.
void ReleaseSpareRoom(std::vector<double>& series);

// The words of a line: views into the line, valid while the line is.
using LineTokens = std::vector<std::string_view>;

// Splits a line at blanks into its words, as ParseUtilities::Tokenize(line,
// tokens, " ") does (no empty words), without copying them.
void TokenizeLine(std::string_view line, LineTokens& tokens);
inline void TokenizeLine(const std::string& line, LineTokens& tokens)
{
    TokenizeLine(std::string_view(line), tokens);
}
// The words would outlive a temporary line.
void TokenizeLine(std::string&& line, LineTokens& tokens) = delete;

// The value of the longest leading part of text that reads as a decimal
// number: optional blanks, an optional sign, digits with an optional decimal
// point, an optional exponent. No such part gives 0.0; "nan", "inf" and
// hexadecimal texts are no numbers here (0.0), whatever the C library or the
// locale would make of them. Values beyond the range of a double give
// infinity or zero as the C library does.
double ParseLeadingDecimal(std::string_view text) noexcept;

// The value of text when the whole text is one decimal number within the
// range of a double (as a stream extraction reads it); false otherwise,
// leaving value unchanged. A fast path before the stream extraction.
bool ParseWholeDecimal(std::string_view text, double& value) noexcept;

// The leading integer of text in base 10 (optional blanks and sign, digits),
// clamped to the range of a 32-bit integer; no digits give 0.
long ParseLeadingInteger(std::string_view text) noexcept;

// True when text contains word.
inline bool Contains(std::string_view text, std::string_view word)
{
    return text.find(word) != std::string_view::npos;
}
