#include "com/regularfile.h"

#include "com/messagetext.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

const char* const NotThere = "does not exist";

std::string WhatItIs(unsigned mode)
{
    if (S_ISREG(mode))
        return std::string();
    if (S_ISDIR(mode))
        return "is a folder, not a file";
    if (S_ISFIFO(mode))
        return "is a pipe (FIFO), not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

namespace {

std::string SystemReason(const char* what, int error)
{
    return std::string(what) + " (" + std::strerror(error) + ")";
}

std::string TooLarge(std::uint64_t size, std::uint64_t largest)
{
    return "is too large to be read (" + std::to_string(size) + " bytes; at most " + std::to_string(largest) +
           " are read)";
}

// The descriptor back in blocking mode; false, closed, with the reason,
// when that fails.
bool Blocking(int fd, std::string& why)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    {
        const int error = errno;
        why = SystemReason("cannot be opened", error);
        ::close(fd);
        errno = error;
        return false;
    }
    return true;
}

}  // namespace

int Open(const std::string& path, std::string& why, std::uint64_t largest) noexcept
{
    try
    {
        why.clear();
        if (path.empty())
        {
            why = NotThere;
            return -1;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
        {
            const int error = errno;
            struct stat status;
            if (error == ENOENT || error == ENOTDIR)
                why = NotThere;
            else if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
                why = WhatItIs(status.st_mode);  // a socket cannot be opened at all
            else
                why = SystemReason("cannot be opened", error);
            return -1;
        }
        struct stat status;
        if (::fstat(fd, &status) != 0)
        {
            why = SystemReason("cannot be looked at", errno);
            ::close(fd);
            return -1;
        }
        if (!S_ISREG(status.st_mode))
        {
            why = WhatItIs(status.st_mode);
            ::close(fd);
            return -1;
        }
        if (status.st_size > 0 && static_cast<std::uint64_t>(status.st_size) > largest)
        {
            why = TooLarge(static_cast<std::uint64_t>(status.st_size), largest);
            ::close(fd);
            return -1;
        }
        if (!Blocking(fd, why))
            return -1;
        return fd;
    }
    catch (...)
    {
        return -1;
    }
}

int OpenToWrite(const std::string& path, std::string& why, bool truncate) noexcept
{
    try
    {
        why.clear();
        if (path.empty())
        {
            why = NotThere;
            errno = ENOENT;
            return -1;
        }
        // O_NONBLOCK: a FIFO without a reader is refused at once (ENXIO)
        // instead of waiting for one.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0)
        {
            const int error = errno;
            struct stat status;
            if (error != ENOENT && error != ENOTDIR && ::stat(path.c_str(), &status) == 0 &&
                !S_ISREG(status.st_mode))
                why = WhatItIs(status.st_mode);
            else
                why = SystemReason("cannot be opened for writing", error);
            errno = error;
            return -1;
        }
        struct stat status;
        if (::fstat(fd, &status) != 0)
        {
            const int error = errno;
            why = SystemReason("cannot be looked at", error);
            ::close(fd);
            errno = error;
            return -1;
        }
        if (!S_ISREG(status.st_mode))
        {
            why = WhatItIs(status.st_mode);
            ::close(fd);
            errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
            return -1;
        }
        if (truncate && status.st_size > 0 && ::ftruncate(fd, 0) != 0)
        {
            const int error = errno;
            why = SystemReason("cannot be emptied", error);
            ::close(fd);
            errno = error;
            return -1;
        }
        if (!Blocking(fd, why))
            return -1;
        return fd;
    }
    catch (...)
    {
        errno = ENOMEM;
        return -1;
    }
}

std::string Refusal(const std::string& path, const std::string& why)
{
    return "the file \"" + MessageText::Excerpt(path, 1000) + "\" " + why;
}

std::string Failure(const std::string& message, const std::string& path, const std::string& why)
{
    if (why == NotThere)
        return message;
    std::string text = message;
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    if (!path.empty() && message.find(path) != std::string::npos)
        return text + ": it " + why + ".";
    return text + ": " + Refusal(path, why) + ".";
}

namespace {

// Reads the open descriptor to its end, or until more than `limit` bytes
// have come (`more`: at most one byte past the limit is read), and closes
// it. False, with the text cleared and the reason in why, when a read fails.
bool ReadUpTo(int fd, std::uint64_t limit, std::string& text, bool& more, std::string& why)
{
    char block[64 * 1024];
    more = false;
    for (;;)
    {
        const std::uint64_t left = limit - std::min<std::uint64_t>(limit, text.size());
        const std::size_t want = left < sizeof block ? static_cast<std::size_t>(left) + 1 : sizeof block;
        const ssize_t got = ::read(fd, block, want);
        if (got > 0)
        {
            text.append(block, static_cast<std::size_t>(got));
            if (text.size() > limit)
            {
                more = true;
                break;
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            why = SystemReason("cannot be read", errno);
            ::close(fd);
            text.clear();
            return false;
        }
        break;
    }
    ::close(fd);
    return true;
}

}  // namespace

bool ReadAtMost(const std::string& path, std::size_t limit, std::string& text, bool& whole, std::string& why)
{
    text.clear();
    whole = false;
    const int fd = Open(path, why);
    if (fd < 0)
        return false;
    bool more = false;
    if (!ReadUpTo(fd, limit, text, more, why))
        return false;
    whole = !more;
    if (more)
        text.resize(limit);
    return true;
}

bool ReadAll(const std::string& path, std::string& text, std::string& why, std::uint64_t largest)
{
    text.clear();
    const int fd = Open(path, why, largest);
    if (fd < 0)
        return false;
    struct stat status;
    if (::fstat(fd, &status) == 0 && status.st_size > 0)
        text.reserve(static_cast<std::size_t>(status.st_size));
    bool more = false;
    if (!ReadUpTo(fd, largest, text, more, why))
        return false;
    if (more)
    {
        // A file that grew past the bound while it was read.
        why = TooLarge(text.size(), largest);
        text.clear();
        return false;
    }
    return true;
}

InputFile::InputFile() : std::istream(nullptr) {}

InputFile::InputFile(const std::string& path, std::uint64_t largest) : std::istream(nullptr)
{
    Open(path, largest);
}

InputFile::~InputFile()
{
    rdbuf(nullptr);
}

bool InputFile::Open(const std::string& path, std::uint64_t largest)
{
    Close();
    m_path = path;
    const int fd = RegularFile::Open(path, m_why, largest);
    if (fd < 0)
    {
        setstate(std::ios::failbit);
        return false;
    }
    // The buffer owns the descriptor from here and closes it.
    m_buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, std::ios::in | std::ios::binary);
    rdbuf(m_buffer.get());  // also clears the state
    return true;
}

void InputFile::Close()
{
    rdbuf(nullptr);
    m_buffer.reset();
    m_why.clear();
}

OutputFile::OutputFile() : std::ostream(nullptr) {}

OutputFile::OutputFile(const std::string& path, bool truncate) : std::ostream(nullptr)
{
    Open(path, truncate);
}

OutputFile::~OutputFile()
{
    Close();
    rdbuf(nullptr);
}

bool OutputFile::Open(const std::string& path, bool truncate)
{
    Close();
    m_buffer.reset();
    m_path = path;
    m_why.clear();
    const int fd = RegularFile::OpenToWrite(path, m_why, truncate);
    if (fd < 0)
    {
        const int error = errno;
        rdbuf(nullptr);
        setstate(std::ios::failbit);
        errno = error;
        return false;
    }
    m_buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, std::ios::out | std::ios::binary);
    rdbuf(m_buffer.get());  // also clears the state
    return true;
}

bool OutputFile::Close()
{
    // The closed buffer stays the stream's until the next Open: later
    // writes fail, and the state tells whether the close did.
    if (!m_buffer || !m_buffer->is_open())
        return static_cast<bool>(*this);
    errno = 0;
    bool ok = m_buffer->pubsync() == 0;
    int error = errno;
    if (m_buffer->close() == nullptr)
    {
        ok = false;
        if (error == 0)
            error = errno;
    }
    if (!ok)
    {
        setstate(std::ios::badbit);
        errno = error != 0 ? error : EIO;
    }
    return ok && static_cast<bool>(*this);
}

}  // namespace RegularFile
