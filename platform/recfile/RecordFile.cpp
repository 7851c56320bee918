#include "recfile/RecordFile.h"

#include "com/regularfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace RecordFile {
namespace {

// One open file. Reads go through a buffer of fixed size, filled with pread
// at the logical position. Values that are stored are read through the
// buffer (runs longer than it go straight to the caller); a long record that
// is passed over is skipped by moving the position, and only its markers are
// fetched.
class UnitFile {
public:
    static constexpr std::size_t BufferSize = 32 * 1024;
    // Records at least this long are read around rather than through.
    static constexpr std::uint32_t LongRecord = 2048;
    static constexpr std::size_t MarkerFetch = 64;
    static constexpr std::size_t DirectRun = 4096;

    explicit UnitFile(int fd) : m_fd(fd), m_buffer(new char[BufferSize]) {}
    ~UnitFile() { ::close(m_fd); }
    UnitFile(const UnitFile&) = delete;
    UnitFile& operator=(const UnitFile&) = delete;

    // Copies the next n bytes to `target`; Ok, EndOfFile when the file
    // ends first, ReadFailure on a system error.
    int Take(void* target, std::size_t n)
    {
        auto* out = static_cast<char*>(target);
        while (n > 0) {
            if (m_position >= m_bufferStart && m_position < m_bufferStart + m_bufferLength) {
                const std::size_t at = static_cast<std::size_t>(m_position - m_bufferStart);
                const std::size_t part = std::min(n, m_bufferLength - at);
                std::memcpy(out, m_buffer.get() + at, part);
                out += part;
                n -= part;
                m_position += part;
                continue;
            }
            if (n >= DirectRun) {
                // Long runs go straight to the caller, with the bytes that
                // follow them (the markers) into the buffer, in one call.
                const long got = ReadAround(out, n, m_position);
                if (got <= 0)
                    return got < 0 ? ReadFailure : EndOfFile;
                const std::size_t direct = std::min(n, static_cast<std::size_t>(got));
                out += direct;
                n -= direct;
                m_position += direct;
                continue;
            }
            const std::size_t fill = m_markersOnly ? std::max(n, MarkerFetch) : BufferSize;
            const long got = ReadAt(m_buffer.get(), fill, m_position);
            if (got <= 0) {
                m_bufferLength = 0;
                return got < 0 ? ReadFailure : EndOfFile;
            }
            m_bufferStart = m_position;
            m_bufferLength = static_cast<std::size_t>(got);
        }
        return Ok;
    }
    // Moves past n bytes without reading them; the end of the file shows at
    // the next Take.
    void Skip(std::uint64_t n) { m_position += n; }
    // Whether the record being read is passed over: then only its markers
    // are fetched when it is long; a record whose values are stored is read
    // through the buffer.
    void SetPassingOver(bool passing, std::uint32_t length) { m_markersOnly = passing && length >= LongRecord; }

private:
    // Reads up to n bytes at `offset` into target and what follows them into
    // the buffer: the count read, 0 at the end of the file, -1 on an error.
    long ReadAround(char* target, std::size_t n, std::uint64_t offset)
    {
        iovec parts[2] = {{target, std::min<std::size_t>(n, 1u << 30)}, {m_buffer.get(), MarkerFetch}};
        for (;;) {
            const ssize_t got = ::preadv(m_fd, parts, 2, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return -1;
            const std::size_t first = parts[0].iov_len;
            m_bufferStart = offset + first;
            m_bufferLength = static_cast<std::size_t>(got) > first ? static_cast<std::size_t>(got) - first : 0;
            return static_cast<long>(got);
        }
    }

    // Reads up to n bytes at `offset`: the count read, 0 at the end of the
    // file, -1 on an error.
    long ReadAt(char* target, std::size_t n, std::uint64_t offset) const
    {
        for (;;) {
            const ssize_t got = ::pread(m_fd, target, std::min<std::size_t>(n, 1u << 30), static_cast<off_t>(offset));
            if (got >= 0)
                return static_cast<long>(got);
            if (errno != EINTR)
                return -1;
        }
    }

    int m_fd;
    std::unique_ptr<char[]> m_buffer;
    std::uint64_t m_position = 0;
    std::uint64_t m_bufferStart = 0;
    std::size_t m_bufferLength = 0;
    bool m_markersOnly = false;
};

// The open units of one thread; files left open when the thread ends are
// closed then.
using Units = std::map<int, std::unique_ptr<UnitFile>>;

Units& ThreadUnits()
{
    thread_local Units units;
    return units;
}

UnitFile* FindUnit(int unit)
{
    Units& units = ThreadUnits();
    auto found = units.find(unit);
    return found == units.end() ? nullptr : found->second.get();
}

bool SameWord(const char* given, const char* expected)
{
    if (given == nullptr)
        return false;
    std::size_t i = 0;
    for (; given[i] != '\0' && expected[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(given[i])) != expected[i])
            return false;
    }
    return given[i] == '\0' && expected[i] == '\0';
}

bool HostIsLittleEndian()
{
    const std::uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// Turns `count` little-endian values of `width` bytes into host order.
void ToHostOrder(void* data, std::size_t count, std::size_t width)
{
    static const bool little = HostIsLittleEndian();
    if (little)
        return;
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < count; ++i, bytes += width) {
        for (std::size_t j = 0; j < width / 2; ++j)
            std::swap(bytes[j], bytes[width - 1 - j]);
    }
}

int ReadMarker(UnitFile& file, std::uint32_t& marker)
{
    unsigned char bytes[4];
    if (int status = file.Take(bytes, 4); status != Ok)
        return status;
    marker = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
             static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return Ok;
}

std::size_t Width(Item::Kind kind)
{
    return kind == Item::Integer4 ? 4 : 8;
}

}  // namespace

int Open(int unit, const char* name, std::size_t nameLength, const char* status, const char* form,
         const char* access, const char* position, const char* action)
{
    if (unit < 0 || name == nullptr)
        return BadArgument;
    if (!SameWord(status, "OLD") || !SameWord(form, "UNFORMATTED") || !SameWord(access, "SEQUENTIAL") ||
        !SameWord(position, "REWIND") || !SameWord(action, "READ"))
        return BadArgument;
    Close(unit);
    std::string path(name, nameLength);
    const std::size_t end = path.find_last_not_of(' ');
    path.erase(end == std::string::npos ? 0 : end + 1);
    if (path.empty() || path.find('\0') != std::string::npos)
        return CannotOpen;
    std::string why;
    const int fd = RegularFile::Open(path, why);
    if (fd < 0)
        return CannotOpen;
    ThreadUnits()[unit] = std::make_unique<UnitFile>(fd);
    return Ok;
}

int Read(int unit, const Item* items, std::size_t itemCount)
{
    UnitFile* file = FindUnit(unit);
    if (file == nullptr)
        return UnitNotOpen;
    if (items == nullptr && itemCount > 0)
        return BadArgument;

    // What the items ask for, in bytes; more than any marker can say is a
    // record too short for them.
    std::uint64_t wanted = 0;
    bool tooMany = false;
    for (std::size_t i = 0; i < itemCount; ++i) {
        const std::uint64_t width = Width(items[i].kind);
        if (items[i].count > (std::numeric_limits<std::uint32_t>::max() - wanted) / width) {
            tooMany = true;
            break;
        }
        wanted += items[i].count * width;
    }

    std::uint32_t length = 0;
    if (int status = ReadMarker(*file, length); status != Ok)
        return status;
    bool stores = false;
    for (std::size_t i = 0; i < itemCount; ++i)
        stores = stores || (items[i].data != nullptr && items[i].count > 0);
    file->SetPassingOver(!stores, length);
    int outcome = Ok;
    if (tooMany || wanted > length) {
        outcome = ShortRecord;
        file->Skip(length);
    } else {
        for (std::size_t i = 0; i < itemCount; ++i) {
            const std::size_t width = Width(items[i].kind);
            if (items[i].data == nullptr) {
                file->Skip(static_cast<std::uint64_t>(items[i].count) * width);
                continue;
            }
            if (int status = file->Take(items[i].data, items[i].count * width); status != Ok)
                return status;
            ToHostOrder(items[i].data, items[i].count, width);
        }
        file->Skip(length - wanted);
    }
    std::uint32_t trailing = 0;
    if (int status = ReadMarker(*file, trailing); status != Ok)
        return status;
    if (trailing != length)
        return MarkerMismatch;
    return outcome;
}

int Read(int unit, std::initializer_list<Item> items)
{
    return Read(unit, items.begin(), items.size());
}

int Close(int unit, const char* status)
{
    if (!SameWord(status, "KEEP"))
        return BadArgument;
    ThreadUnits().erase(unit);
    return Ok;
}

}  // namespace RecordFile
