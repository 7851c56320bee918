#include "readers/EngineLines.h"

#include "qorqm/PathUtilities.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <mutex>
#include <streambuf>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <ext/stdio_filebuf.h>

namespace {

// The read position and the end of the characters a stream buffer holds, and
// taking characters from it: what getline itself goes through, for a line
// that lies whole in the buffer.
struct HeldCharacters : std::streambuf {
    static char* Next(std::streambuf& buffer) { return (buffer.*&HeldCharacters::gptr)(); }
    static char* End(std::streambuf& buffer) { return (buffer.*&HeldCharacters::egptr)(); }
    static void Take(std::streambuf& buffer, int count) { (buffer.*&HeldCharacters::gbump)(count); }
};

} // namespace

bool CEngineLineReader::ReadLine(bool copy)
{
    if (m_done) {
        return false;
    }
    if (m_rule == LastLineRule::UsedWithoutLineBreak && m_stream.eof()) {
        m_done = true;
        return false;
    }
    // A line whose break lies within the buffer's characters is taken from
    // there as getline would take it (at most BufferSize - 1 characters
    // before the break); any other line goes through getline below.
    if (std::streambuf* buffer = m_stream.rdbuf(); buffer != nullptr && m_stream.good()) {
        const char* start = HeldCharacters::Next(*buffer);
        const char* end = HeldCharacters::End(*buffer);
        if (start != nullptr && start < end) {
            const std::size_t window = std::min<std::size_t>(static_cast<std::size_t>(end - start), BufferSize);
            if (const void* found = std::memchr(start, '\n', window)) {
                const std::size_t stored = static_cast<std::size_t>(static_cast<const char*>(found) - start);
                // A NUL character ends the text, then its final carriage
                // return is not part of it.
                const void* nul = std::memchr(start, '\0', stored);
                std::size_t length = nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - start)
                                                    : stored;
                if (length > 0 && start[length - 1] == '\r') {
                    --length;
                }
                if (copy) {
                    m_line.assign(start, length);
                    m_view = m_line;
                } else {
                    m_view = std::string_view(start, length);
                    m_inPlace = true;
                }
                HeldCharacters::Take(*buffer, static_cast<int>(stored + 1));
                m_offset += stored + 1;
                return true;
            }
        }
    }
    m_buffer[0] = '\0';
    m_stream.getline(m_buffer, BufferSize);
    if (m_stream.fail()) {
        if (FullLineBeforeCarriageReturn()) {
            m_line.assign(m_buffer, std::strlen(m_buffer));  // a NUL ends the text, as below
            m_view = m_line;
            return true;
        }
        // Without the end of the file a failed read is a line that does not
        // fit the buffer; with it, nothing was left to read.
        m_tooLong = !m_stream.eof() && !m_stream.bad();
        m_done = true;
        return false;
    }
    if (m_rule == LastLineRule::NeedsLineBreak && m_stream.eof()) {
        m_endedInsideLine = std::strspn(m_buffer, " \t\r") < std::strlen(m_buffer);
        m_done = true;
        return false;
    }
    m_offset += static_cast<std::uint64_t>(m_stream.gcount());
    std::size_t length = std::strlen(m_buffer);
    if (length > 0 && m_buffer[length - 1] == '\r') {
        --length;
    }
    m_line.assign(m_buffer, length);
    m_view = m_line;
    return true;
}

std::string_view CEngineLineReader::Held() const
{
    std::streambuf* buffer = m_stream.rdbuf();
    if (m_done || buffer == nullptr || !m_stream.good()) {
        return std::string_view();
    }
    const char* start = HeldCharacters::Next(*buffer);
    const char* end = HeldCharacters::End(*buffer);
    if (start == nullptr || start >= end) {
        return std::string_view();
    }
    return std::string_view(start, static_cast<std::size_t>(end - start));
}

void CEngineLineReader::TakeHeld(std::size_t length)
{
    std::streambuf& buffer = *m_stream.rdbuf();
    m_view = std::string_view(HeldCharacters::Next(buffer), length);
    m_inPlace = true;
    HeldCharacters::Take(buffer, static_cast<int>(length + 1));
    m_offset += length + 1;
}

bool CEngineLineReader::FullLineBeforeCarriageReturn()
{
    // The buffer is full and the line goes on: when all that follows is the
    // carriage return of a CR LF break, the line has 1023 characters and fits.
    if (m_stream.bad() || m_stream.eof() || m_stream.gcount() != BufferSize - 1) {
        return false;
    }
    m_stream.clear();
    if (m_stream.peek() != '\r') {
        m_stream.setstate(std::ios::failbit);
        return false;
    }
    m_stream.get();
    const int next = m_stream.peek();
    if (next == '\n') {
        m_stream.get();
        m_offset += static_cast<std::uint64_t>(BufferSize - 1) + 2;  // the text, CR and LF
        return true;
    }
    if (next == std::char_traits<char>::eof() && !m_stream.bad()) {
        // A last line without its line feed, under the reader's rule.
        if (m_rule == LastLineRule::UsedWithoutLineBreak) {
            m_offset += static_cast<std::uint64_t>(BufferSize - 1) + 1;  // the text and CR
            return true;
        }
        m_endedInsideLine = true;
        m_stream.setstate(std::ios::failbit);  // the end of the data, not a long line
        return false;
    }
    m_stream.setstate(std::ios::failbit);
    return false;
}

std::size_t CountLines(std::istream& stream)
{
    if (!stream.good()) {
        return 0;  // nothing more is read from it
    }
    const std::istream::pos_type start = stream.tellg();
    if (start == std::istream::pos_type(-1)) {
        stream.clear();  // no position to come back to: no count
        return 0;
    }
    std::size_t lines = 0;
    char last = '\n';
    static constexpr std::streamsize Chunk = 1 << 16;
    std::vector<char> buffer(static_cast<std::size_t>(Chunk));
    while (stream) {
        stream.read(buffer.data(), Chunk);
        const std::size_t got = static_cast<std::size_t>(stream.gcount());
        if (got == 0) {
            break;
        }
        const char* p = buffer.data();
        const char* const end = p + got;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
            ++lines;
            ++p;
        }
        last = end[-1];
    }
    if (last != '\n') {
        ++lines;
    }
    stream.clear();
    stream.seekg(start);
    return lines;
}

void ReleaseSpareRoom(std::vector<double>& series)
{
    if (series.capacity() - series.size() > series.size()) {
        series.shrink_to_fit();
    }
}

bool OpenEngineFile(RegularFile::InputFile& stream, const std::string& path)
{
    return stream.Open(PathUtilities::ToNative(path));
}

namespace {

// What tells one state of a file from another.
struct FileState {
    dev_t device = 0;
    ino_t number = 0;
    off_t size = 0;
    timespec changed{};
    timespec statusChanged{};

    explicit FileState(const struct stat& file)
        : device(file.st_dev), number(file.st_ino), size(file.st_size), changed(file.st_mtim),
          statusChanged(file.st_ctim)
    {
    }
    bool operator==(const FileState& other) const
    {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return device == other.device && number == other.number && size == other.size &&
               same(changed, other.changed) && same(statusChanged, other.statusChanged);
    }
};

struct KeptText {
    FileState state;
    std::shared_ptr<const std::string> text;
};

std::mutex& KeptGuard()
{
    static std::mutex guard;
    return guard;
}

std::unique_ptr<KeptText>& Kept()
{
    static std::unique_ptr<KeptText> kept;
    return kept;
}

// The whole file from the descriptor; false when a read fails.
bool ReadRest(int fd, std::string& text, std::size_t expected)
{
    text.reserve(expected);
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        text.append(block, static_cast<std::size_t>(got));
    }
}

} // namespace

// The kept text as a stream's characters, shared, never written.
class CKeptEngineFile::Text : public std::streambuf
{
public:
    explicit Text(std::shared_ptr<const std::string> text) : m_text(std::move(text))
    {
        char* begin = const_cast<char*>(m_text->data());
        setg(begin, begin, begin + m_text->size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode which) override
    {
        if ((which & std::ios_base::in) == 0)
            return pos_type(off_type(-1));
        const off_type from = way == std::ios_base::beg   ? 0
                              : way == std::ios_base::cur ? gptr() - eback()
                                                          : egptr() - eback();
        const off_type at = from + offset;
        if (at < 0 || at > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + at, egptr());
        return pos_type(at);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

private:
    std::shared_ptr<const std::string> m_text;
};

CKeptEngineFile::CKeptEngineFile() : std::istream(nullptr) {}

CKeptEngineFile::~CKeptEngineFile() = default;

bool CKeptEngineFile::Open(const std::string& path)
{
    rdbuf(nullptr);
    m_buffer.reset();
    m_path = PathUtilities::ToNative(path);
    const int fd = RegularFile::Open(m_path, m_why);
    if (fd < 0) {
        setstate(std::ios::failbit);
        return false;
    }
    // Read from the descriptor as any engine file is read; the buffer
    // closes it.
    const auto stream = [&] {
        m_buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, std::ios::in | std::ios::binary);
        rdbuf(m_buffer.get());  // also clears the state
        return true;
    };
    struct stat file {};
    if (::fstat(fd, &file) != 0 || static_cast<std::uint64_t>(file.st_size) > KeptBytes) {
        return stream();
    }
    const FileState state(file);
    std::shared_ptr<const std::string> text;
    {
        const std::lock_guard<std::mutex> lock(KeptGuard());
        if (Kept() && Kept()->state == state)
            text = Kept()->text;
    }
    if (!text) {
        // A change up to this far before the reading may share its time with
        // a change after it: such a file is read as it stands, not kept.
        constexpr time_t Resolution = 2;
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        if (file.st_mtim.tv_sec + Resolution >= now.tv_sec || file.st_ctim.tv_sec + Resolution >= now.tv_sec) {
            return stream();
        }
        auto read = std::make_shared<std::string>();
        const bool whole = ReadRest(fd, *read, static_cast<std::size_t>(file.st_size));
        text = std::move(read);
        const std::lock_guard<std::mutex> lock(KeptGuard());
        if (whole && text->size() == static_cast<std::size_t>(file.st_size))
            Kept() = std::make_unique<KeptText>(KeptText{state, text});
    }
    ::close(fd);
    m_buffer = std::make_unique<Text>(std::move(text));
    rdbuf(m_buffer.get());  // also clears the state
    return true;
}

std::string CKeptEngineFile::Failure(const std::string& message) const
{
    return RegularFile::Failure(message, m_path, m_why);
}

void TokenizeLine(std::string_view text, LineTokens& tokens)
{
    tokens.clear();
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (;;) {
        while (i < n && text[i] == ' ') {
            ++i;
        }
        if (i == n) {
            return;
        }
        const std::size_t start = i;
        while (i < n && text[i] != ' ') {
            ++i;
        }
        tokens.push_back(text.substr(start, i - start));
    }
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The C library's conversion under the classic locale, for the rare values
// beyond the range of a double; text holds only the grammar above.
double ConvertOutOfRange(std::string_view text)
{
    static locale_t classic = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    std::string copy(text);
    return strtod_l(copy.c_str(), nullptr, classic);
}

} // namespace

double ParseLeadingDecimal(std::string_view text) noexcept
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    const std::size_t signAt = i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t mantissa = i;
    std::size_t digits = 0;
    while (i < n && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    std::size_t end = i;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < n && IsDigit(text[j])) {
            while (j < n && IsDigit(text[j])) {
                ++j;
            }
            end = j;
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + mantissa, text.data() + end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        try {
            return ConvertOutOfRange(text.substr(signAt, end - signAt));
        } catch (...) {
            return 0.0;
        }
    }
    if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

bool ParseWholeDecimal(std::string_view text, double& value) noexcept
{
    // Digits, points, signs and exponents only: from_chars would also read
    // "inf" and "nan", which the stream extraction does not.
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!(IsDigit(c) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    const std::size_t skip = text[0] == '+' ? 1 : 0; // from_chars takes no "+"
    if (skip == 1 && text.size() > 1 && (text[1] == '+' || text[1] == '-')) {
        return false;
    }
    double parsed = 0.0;
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(text.data() + skip, last, parsed, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last) {
        return false;
    }
    value = parsed;
    return true;
}

long ParseLeadingInteger(std::string_view text) noexcept
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    while (i < n && IsDigit(text[i])) {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text[i] - '0');
        }
        ++i;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        value = INT_MAX;
    }
    if (value < INT_MIN) {
        value = INT_MIN;
    }
    return static_cast<long>(value);
}
