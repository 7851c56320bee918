#include "qorqm/FileDataCopy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr std::size_t BlockSize = 64 * 1024;

// Copies [offset, end) of `from` to the same place of `to`; false with the
// read's errno in `error`, or when the stream failed. Sets `ended` when the
// file ended before `end` (it shrank).
bool CopyRange(int from, off_t offset, off_t end, std::ostream& to, int& error, bool& ended)
{
    char block[BlockSize];
    if (!to.seekp(offset))
        return false;
    while (offset < end) {
        const std::size_t want = static_cast<std::size_t>(std::min<off_t>(end - offset, BlockSize));
        const ssize_t got = ::pread(from, block, want, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            return false;
        }
        if (got == 0) {
            ended = true;
            return true;
        }
        if (!to.write(block, got))
            return false;
        offset += got;
    }
    return true;
}

}  // namespace

int CopyFileData(int from, std::ostream& to)
{
    struct stat status;
    if (::fstat(from, &status) != 0)
        return errno;
    const off_t size = status.st_size;
    int error = 0;
    bool ended = false;
    off_t copied = 0; // the copy holds every byte before this
    for (off_t at = 0; at < size && !ended;) {
        // errno stays as it was when the file system answers "no data" or
        // "cannot tell": a failed write's reason must be the write's own.
        const int before = errno;
        off_t data = ::lseek(from, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            errno = before;
            break; // a hole to the end
        }
        off_t hole = data < 0 ? size : ::lseek(from, data, SEEK_HOLE);
        if (data < 0 || hole < 0) {
            errno = before;
            // No way to tell data from holes here: every byte is copied.
            data = at;
            hole = size;
        }
        if (hole > size)
            hole = size;
        if (!CopyRange(from, data, hole, to, error, ended))
            return error;
        copied = hole;
        at = hole;
    }
    if (!ended && copied < size) {
        // The file ends in a hole: its last byte (a zero) gives the copy its
        // length, the rest stays a hole.
        if (to.seekp(size - 1))
            to.put('\0');
    }
    return 0;
}
