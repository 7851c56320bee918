#include "qorqm/WrittenFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

namespace WrittenFiles {

namespace {

std::mutex& Guard()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<Entry>& Recorded()
{
    static std::vector<Entry> entries;
    return entries;
}

std::atomic<bool> recording{false};

// One spelling per file: absolute and lexically normal.
std::string Normal(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : whole).lexically_normal().string();
}

// Reads up to `size` bytes, retrying short reads; how many were read, -1 on
// an error.
ssize_t ReadFull(int fd, char* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool SameBytes(int a, int b)
{
    constexpr std::size_t Chunk = 1 << 16;
    std::vector<char> left(Chunk), right(Chunk);
    for (;;) {
        const ssize_t l = ReadFull(a, left.data(), Chunk);
        const ssize_t r = ReadFull(b, right.data(), Chunk);
        if (l < 0 || r < 0 || l != r)
            return false;
        if (l == 0)
            return true;
        if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(l)) != 0)
            return false;
    }
}

// What a command did to the named file, under the lock: a file not yet
// recorded gets `first`, one recorded before is changed by `update`.
// Nothing while no command records.
template <class Update>
void Record(const std::string& named, Entry first, Update&& update)
{
    if (!recording)
        return;
    first.path = Normal(named);
    std::lock_guard<std::mutex> lock(Guard());
    std::vector<Entry>& entries = Recorded();
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.path == first.path; });
    if (it == entries.end())
        entries.push_back(std::move(first));
    else
        update(*it);
}

} // namespace

void Start()
{
    std::lock_guard<std::mutex> lock(Guard());
    Recorded().clear();
    recording = true;
}

bool Recording()
{
    return recording;
}

Change Compare(const std::string& written, const std::string& target)
{
    return CompareAt(AT_FDCWD, written, target);
}

Change CompareAt(int folder, const std::string& written, const std::string& target)
{
    if (!recording)
        return Change::Made;
    // The target is opened without following a last link and without
    // waiting: only a regular file is compared.
    const int saved = errno;
    const int old = ::openat(folder, target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (old < 0) {
        const bool missing = errno == ENOENT;
        errno = saved;
        return missing ? Change::Made : Change::Changed;
    }
    struct stat before {};
    struct stat after {};
    const int fresh = ::openat(folder, written.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    Change change = Change::Changed;
    if (fresh >= 0 && ::fstat(old, &before) == 0 && ::fstat(fresh, &after) == 0 && S_ISREG(before.st_mode) &&
        before.st_size == after.st_size && SameBytes(old, fresh))
        change = Change::Unchanged;
    if (fresh >= 0)
        ::close(fresh);
    ::close(old);
    errno = saved;
    return change;
}

void Note(const std::string& named, Change change)
{
    Record(named, Entry{std::string(), change, false}, [change](Entry& entry) {
        if (entry.removed) {
            // Written again after its removal: what it is now, against what
            // it was before the command (unknown here), counts as changed
            // unless the command made it.
            entry.removed = false;
            if (entry.change != Change::Made)
                entry.change = Change::Changed;
            return;
        }
        if (entry.change == Change::Unchanged)
            entry.change = change == Change::Made ? Change::Changed : change;
    });
}

void NoteRemoved(const std::string& named)
{
    Record(named, Entry{std::string(), Change::Changed, true}, [](Entry& entry) { entry.removed = true; });
}

std::vector<Entry> Entries()
{
    std::lock_guard<std::mutex> lock(Guard());
    return Recorded();
}

}  // namespace WrittenFiles
