#include "recfile/RecordFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <utility>

namespace RecordFile {
namespace {

// The open units of one thread; files left open when the thread ends are
// closed then.
struct Units {
    std::map<int, std::FILE*> files;
    ~Units()
    {
        for (auto& entry : files)
            std::fclose(entry.second);
    }
};

Units& ThreadUnits()
{
    thread_local Units units;
    return units;
}

std::FILE* UnitFile(int unit)
{
    Units& units = ThreadUnits();
    auto found = units.files.find(unit);
    return found == units.files.end() ? nullptr : found->second;
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

// The outcome of a read that came back short.
int ShortRead(std::FILE* file)
{
    return std::ferror(file) ? ReadFailure : EndOfFile;
}

int ReadMarker(std::FILE* file, std::uint32_t& marker)
{
    unsigned char bytes[4];
    if (std::fread(bytes, 1, 4, file) != 4)
        return ShortRead(file);
    marker = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
             static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return Ok;
}

// Moves forward by `bytes`. Seeking past the end succeeds; the marker read
// that follows then reports the end of the file.
int Skip(std::FILE* file, std::uint64_t bytes)
{
    while (bytes > 0) {
        const std::uint64_t step = std::min<std::uint64_t>(bytes, std::numeric_limits<long>::max());
        if (fseeko(file, static_cast<off_t>(step), SEEK_CUR) != 0)
            return ReadFailure;
        bytes -= step;
    }
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
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return CannotOpen;
    struct stat info{};
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return CannotOpen;
    }
    ThreadUnits().files[unit] = file;
    return Ok;
}

int Read(int unit, const Item* items, std::size_t itemCount)
{
    std::FILE* file = UnitFile(unit);
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
    if (int status = ReadMarker(file, length); status != Ok)
        return status;
    int outcome = Ok;
    if (tooMany || wanted > length) {
        outcome = ShortRecord;
        if (int status = Skip(file, length); status != Ok)
            return status;
    } else {
        for (std::size_t i = 0; i < itemCount; ++i) {
            const std::size_t width = Width(items[i].kind);
            if (items[i].data == nullptr) {
                if (int status = Skip(file, static_cast<std::uint64_t>(items[i].count) * width); status != Ok)
                    return status;
                continue;
            }
            if (std::fread(items[i].data, width, items[i].count, file) != items[i].count)
                return ShortRead(file);
            ToHostOrder(items[i].data, items[i].count, width);
        }
        if (int status = Skip(file, length - wanted); status != Ok)
            return status;
    }
    std::uint32_t trailing = 0;
    if (int status = ReadMarker(file, trailing); status != Ok)
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
    Units& units = ThreadUnits();
    auto found = units.files.find(unit);
    if (found == units.files.end())
        return Ok;
    std::fclose(found->second);
    units.files.erase(found);
    return Ok;
}

}  // namespace RecordFile
