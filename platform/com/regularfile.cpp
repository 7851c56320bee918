#include "com/regularfile.h"

#include "com/messagetext.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <linux/openat2.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

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

namespace {

namespace fs = std::filesystem;

const int LinkHops = 40;

// Set once a call of openat2 found the kernel without it.
std::atomic<bool> g_noOpenat2{false};

std::deque<std::string> Components(const std::string& relative)
{
    std::deque<std::string> parts;
    std::string::size_type start = 0;
    while (start <= relative.size()) {
        const std::string::size_type slash = relative.find('/', start);
        const std::string part =
            relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

// The path made absolute and lexically normal, without a trailing separator.
fs::path Normal(const fs::path& path)
{
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error)
        absolute = path;
    absolute = absolute.lexically_normal();
    if (absolute.filename().empty() && absolute.has_relative_path())
        absolute = absolute.parent_path();
    return absolute;
}

// Whether `path` is `folder` or lies below it (both normal); the way from
// the folder in `rest` ("" for the folder itself).
bool Within(const fs::path& folder, const fs::path& path, std::string* rest = nullptr)
{
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty() && std::next(f) == folder.end())
            break;  // a trailing separator
        if (p == path.end() || *f != *p)
            return false;
    }
    if (rest) {
        fs::path way;
        for (; p != path.end(); ++p)
            way /= *p;
        *rest = way.string();
    }
    return true;
}

fs::path Resolved(const fs::path& path)
{
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : Normal(resolved);
}

std::string Quoted(const std::string& text)
{
    return "\"" + MessageText::Excerpt(text) + "\"";
}

// The walk: each component opened with O_NOFOLLOW beneath the one before,
// each link read and followed here while the way stays beneath.
int WalkBeneath(int folder, const std::string& relative, int flags, unsigned mode, const std::string& real)
{
    std::vector<int> above;  // the folders the way came through
    const auto closeAll = [&](int keep) {
        for (const int fd : above)
            if (fd != keep)
                ::close(fd);
        above.clear();
    };
    int current = ::openat(folder, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (current < 0)
        return -1;
    std::deque<std::string> parts = Components(relative);
    const auto fail = [&](int error) {
        closeAll(-1);
        ::close(current);
        errno = error;
        return -1;
    };
    int hops = 0;
    while (!parts.empty()) {
        const std::string name = parts.front();
        parts.pop_front();
        if (name == "..") {
            if (above.empty())
                return fail(EXDEV);
            ::close(current);
            current = above.back();
            above.pop_back();
            continue;
        }
        const bool last = parts.empty();
        char link[PATH_MAX];
        const ssize_t length = ::readlinkat(current, name.c_str(), link, sizeof link);
        if (length >= 0 && !(last && (flags & O_NOFOLLOW) != 0)) {
            if (static_cast<std::size_t>(length) >= sizeof link)
                return fail(ENAMETOOLONG);
            if (++hops > LinkHops)
                return fail(ELOOP);
            const std::string target(link, static_cast<std::size_t>(length));
            if (target.empty())
                return fail(ENOENT);
            std::deque<std::string> way;
            if (target.front() == '/') {
                std::string rest;
                if (real.empty() || !Within(fs::path(real), fs::path(target).lexically_normal(), &rest))
                    return fail(EXDEV);
                // Back to the folder itself, then the way the link gives.
                const int top = ::openat(folder, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (top < 0)
                    return fail(errno);
                closeAll(-1);
                ::close(current);
                current = top;
                way = Components(rest);
            } else {
                way = Components(target);
            }
            parts.insert(parts.begin(), way.begin(), way.end());
            continue;
        }
        if (length < 0 && errno != EINVAL && errno != ENOENT)
            return fail(errno);
        if (last) {
            const int fd = ::openat(current, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
            const int error = errno;
            closeAll(-1);
            ::close(current);
            errno = error;
            return fd;
        }
        const int next = ::openat(current, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            return fail(errno == ELOOP ? ENOTDIR : errno);
        above.push_back(current);
        current = next;
    }
    // The way ends at a folder ("", "." or "..").
    const int fd = ::openat(current, ".", flags | O_CLOEXEC, mode);
    const int error = errno;
    closeAll(-1);
    ::close(current);
    errno = error;
    return fd;
}

}  // namespace

bool WalkForced() noexcept
{
    const char* value = std::getenv("QZ_NO_OPENAT2");
    return (value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0) || g_noOpenat2.load();
}

int OpenBeneath(int folder, const std::string& relative, int flags, unsigned mode, const std::string& real) noexcept
{
    try {
        const std::string way = relative.empty() ? std::string(".") : relative;
        if (way.front() == '/') {
            errno = EXDEV;
            return -1;
        }
        const int saved = errno;
        if (!WalkForced()) {
            open_how how{};
            how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
            how.mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode : 0;
            how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
            for (int attempt = 0; attempt < 16; ++attempt) {
                const long fd = ::syscall(SYS_openat2, folder, way.c_str(), &how, sizeof how);
                if (fd >= 0) {
                    errno = saved;
                    return static_cast<int>(fd);
                }
                if (errno == EAGAIN || errno == EINTR)
                    continue;  // a rename elsewhere raced the lookup
                break;
            }
            if (errno == ENOSYS)
                g_noOpenat2 = true;
            else if (errno != EXDEV || real.empty())
                return -1;
            // EXDEV with an absolute link on the way: the walk follows one
            // that leads into the folder and refuses any other.
        }
        // An open leaves errno as it found it (the walk's looks at links
        // fail with EINVAL for each component that is none).
        const int fd = WalkBeneath(folder, way, flags, mode, real);
        if (fd >= 0)
            errno = saved;
        return fd;
    } catch (...) {
        errno = ENOMEM;
        return -1;
    }
}

std::string WhyLeaving(const std::string& path, const std::string& project, const char* what)
{
    if (project.empty() || path.empty())
        return std::string();
    const fs::path named = Normal(path);
    const fs::path folder = Normal(project);
    const fs::path realFolder = Resolved(folder);
    const bool inside = Within(folder, named);
    const fs::path& base = inside ? folder : realFolder;
    if (!inside) {
        // Reaching the folder through a link on its way.
        bool passes = false;
        fs::path walked;
        for (const fs::path& part : named.parent_path()) {
            walked /= part;
            if (Within(realFolder, Resolved(walked))) {
                passes = true;
                break;
            }
        }
        if (!passes)
            return std::string();
    }
    // Where the way lands: the end of its chain of links.
    std::string end = named.string();
    for (int hop = 0; hop < LinkHops; ++hop) {
        struct stat status;
        if (::lstat(end.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            break;
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(end.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= link.size())
            break;
        link.resize(static_cast<std::size_t>(length));
        end = link.front() == '/' ? link : fs::path(end).parent_path().string() + "/" + link;
    }
    const fs::path lands = Resolved(end);
    if (Within(realFolder, lands))
        return std::string();
    const std::string outside = std::string(", outside ") + what + " " + Quoted(project);
    if (fs::path(end).lexically_normal() != named)
        return "it is a symbolic link to " + Quoted(lands.string()) + outside;
    if (!inside)
        return "it leads to " + Quoted(lands.string()) + outside;
    // A linked folder on the way below the folder.
    fs::path walked = base;
    auto part = named.begin();
    for (auto f = base.begin(); f != base.end(); ++f)
        ++part;
    std::error_code error;
    for (; part != named.end(); ++part) {
        walked /= *part;
        if (fs::is_symlink(fs::symlink_status(walked, error)))
            return "it lies in " + Quoted(walked.string()) + ", a symbolic link to " +
                   Quoted(Resolved(walked).string()) + outside;
    }
    return "it leads to " + Quoted(lands.string()) + outside;
}

Folder::Folder(const std::string& path, const char* what) : m_what(what)
{
    m_path = Normal(path).string();
    m_fd = ::open(m_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    char real[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    const ssize_t length = ::readlink(self.c_str(), real, sizeof real);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof real && real[0] == '/')
        m_real.assign(real, static_cast<std::size_t>(length));
    else
        m_real = Resolved(m_path).string();
}

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Folder::Folder(Folder&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)), m_real(std::move(other.m_real)), m_what(other.m_what)
{
    other.m_fd = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
        m_path = std::move(other.m_path);
        m_real = std::move(other.m_real);
        m_what = other.m_what;
    }
    return *this;
}

bool Folder::Holds(const std::string& path, std::string& relative) const
{
    if (m_fd < 0 || path.empty())
        return false;
    const fs::path named = Normal(path);
    if (Within(fs::path(m_path), named, &relative))
        return true;
    if (Within(fs::path(m_real), named, &relative))
        return true;
    // A folder on the way that is, once its links are followed, this folder
    // or one in it: the rest of the way from there.
    fs::path walked;
    for (auto part = named.begin(); part != named.end(); ++part) {
        walked /= *part;
        if (std::next(part) == named.end())
            break;
        std::string inner;
        if (walked.has_relative_path() && Within(fs::path(m_real), Resolved(walked), &inner)) {
            fs::path way(inner);
            for (auto rest = std::next(part); rest != named.end(); ++rest)
                way /= *rest;
            relative = way.string();
            return true;
        }
    }
    return false;
}

int Folder::MakeFolders(const std::string& relative) const noexcept
{
    try {
        int current = OpenIn(std::string(), O_PATH | O_DIRECTORY);
        std::string way;
        for (const std::string& part : Components(relative)) {
            if (current < 0)
                return -1;
            way = way.empty() ? part : way + "/" + part;
            int next = OpenIn(way, O_PATH | O_DIRECTORY);
            if (next < 0 && errno == ENOENT && part != ".." && ::mkdirat(current, part.c_str(), 0777) != 0 &&
                errno != EEXIST) {
                const int error = errno;
                ::close(current);
                errno = error;
                return -1;
            }
            if (next < 0)
                next = OpenIn(way, O_PATH | O_DIRECTORY);
            const int error = errno;
            ::close(current);
            current = next;
            errno = error;
        }
        return current;
    } catch (...) {
        errno = ENOMEM;
        return -1;
    }
}

struct Hold::Entry {
    Folder folder;
};

namespace {

// Kept for the whole process (never destroyed): a Hold may go after the
// statics of other libraries at exit.
std::mutex& HoldLock()
{
    static std::mutex* const lock = new std::mutex;
    return *lock;
}

std::vector<Hold::Entry*>& Held()
{
    static std::vector<Hold::Entry*>* const held = new std::vector<Hold::Entry*>;
    return *held;
}

std::vector<std::string>& UsersFiles()
{
    static std::vector<std::string>* const files = new std::vector<std::string>;
    return *files;
}

}  // namespace

Hold::Hold(const std::string& folder, const char* what) : m_entry(new Entry{Folder(folder, what)})
{
    if (!m_entry->folder.IsOpen())
        return;
    const std::lock_guard<std::mutex> lock(HoldLock());
    Held().push_back(m_entry);
}

Hold::~Hold()
{
    {
        const std::lock_guard<std::mutex> lock(HoldLock());
        auto& held = Held();
        held.erase(std::remove(held.begin(), held.end(), m_entry), held.end());
    }
    delete m_entry;
}

bool Hold::IsOpen() const noexcept
{
    return m_entry->folder.IsOpen();
}

void UsersOwn(const std::string& path)
{
    if (path.empty())
        return;
    const std::string named = Normal(path).string();
    const std::lock_guard<std::mutex> lock(HoldLock());
    UsersFiles().push_back(named);
}

std::string HolderOf(const std::string& path)
{
    if (path.empty())
        return std::string();
    const std::string named = Normal(path).string();
    const std::lock_guard<std::mutex> lock(HoldLock());
    for (const std::string& own : UsersFiles())
        if (own == named)
            return std::string();
    const Folder* outermost = nullptr;
    for (const Hold::Entry* entry : Held()) {
        std::string relative;
        if (entry->folder.Holds(path, relative) &&
            (outermost == nullptr || entry->folder.Path().size() < outermost->Path().size()))
            outermost = &entry->folder;
    }
    return outermost == nullptr ? std::string() : outermost->Path();
}

std::string WhyNotSingleLink(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return SystemReason("cannot be looked at", errno);
    if (S_ISREG(status.st_mode) && status.st_nlink > 1)
        return "has " + std::to_string(status.st_nlink) +
               " links (a hard link to it may lie outside its folder)";
    return std::string();
}

namespace {

// Opens `way` beneath folder with flags; -1 with why as Open names it.
int OpenWithin(const Folder& folder, const std::string& way, const std::string& named, int flags, unsigned mode,
               std::string& why)
{
    const Folder* best = &folder;
    const int fd = best->OpenIn(way, flags, mode);
    if (fd >= 0)
        return fd;
    const int error = errno;
    if (error == EXDEV) {
        std::string leaving = best->Leaving(named);
        if (leaving.rfind("it ", 0) == 0)
            leaving.erase(0, 3);
        why = leaving.empty() ? "leads outside " + std::string(best->What()) + " " + Quoted(best->Path()) : leaving;
    } else if (error == ENOENT || error == ENOTDIR) {
        // A link that leads nowhere is no missing file.
        const int link = best->OpenIn(way, O_PATH | O_NOFOLLOW);
        struct stat status;
        char target[PATH_MAX];
        ssize_t length = -1;
        if (link >= 0 && ::fstat(link, &status) == 0 && S_ISLNK(status.st_mode))
            length = ::readlinkat(link, "", target, sizeof target - 1);
        if (link >= 0)
            ::close(link);
        if (length >= 0)
            why = "is a symbolic link to " + Quoted(std::string(target, static_cast<std::size_t>(length))) +
                  ", which does not exist";
        else
            why = NotThere;
    } else {
        const int look = best->OpenIn(way, O_PATH);
        struct stat status;
        if (look >= 0 && ::fstat(look, &status) == 0 && !S_ISREG(status.st_mode))
            why = WhatItIs(status.st_mode);
        else
            why = SystemReason((flags & O_ACCMODE) == O_RDONLY ? "cannot be opened" : "cannot be opened for writing",
                               error);
        if (look >= 0)
            ::close(look);
    }
    errno = error;
    return -1;
}

// Opens path with flags beneath the deepest held folder that holds it: true
// with fd (or -1 and why) when one does; false when path is no held file
// (or the user's own), for the caller to open as named. With `only`, that
// folder alone holds files, none the user's own.
bool OpenHeld(const std::string& path, int flags, unsigned mode, int& fd, std::string& why,
              const Folder* only = nullptr)
{
    const std::string named = Normal(path).string();
    if (only != nullptr) {
        std::string way;
        if (!only->Holds(path, way))
            return false;
        fd = OpenWithin(*only, way, named, flags, mode, why);
        return true;
    }
    const std::lock_guard<std::mutex> lock(HoldLock());
    if (Held().empty())
        return false;
    for (const std::string& own : UsersFiles())
        if (own == named)
            return false;
    // Every held folder that holds the path, the deepest first (of two of
    // one place, the project last): a way that leaves a run's folder for
    // elsewhere in the project that holds it stays the project's.
    std::vector<std::pair<const Folder*, std::string>> holders;
    for (const Hold::Entry* entry : Held()) {
        std::string relative;
        if (entry->folder.Holds(path, relative))
            holders.emplace_back(&entry->folder, relative);
    }
    if (holders.empty())
        return false;
    const auto project = [](const Folder* f) { return std::strcmp(f->What(), "the project") == 0; };
    std::stable_sort(holders.begin(), holders.end(), [&](const auto& a, const auto& b) {
        if (a.first->Path().size() != b.first->Path().size())
            return a.first->Path().size() > b.first->Path().size();
        return !project(a.first) && project(b.first);
    });
    for (const auto& [folder, way] : holders) {
        fd = OpenWithin(*folder, way, named, flags, mode, why);
        if (fd >= 0 || errno != EXDEV)
            return true;
    }
    errno = EXDEV;
    return true;
}

}  // namespace

namespace {

int OpenToRead(const Folder* only, const std::string& path, std::string& why, std::uint64_t largest) noexcept
{
    try
    {
        why.clear();
        if (path.empty())
        {
            why = NotThere;
            return -1;
        }
        int fd = -1;
        const bool held = OpenHeld(path, O_RDONLY | O_NONBLOCK | O_NOCTTY, 0, fd, why, only);
        if (!held)
            fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0 && held)
            return -1;
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

}  // namespace

int Open(const std::string& path, std::string& why, std::uint64_t largest) noexcept
{
    return OpenToRead(nullptr, path, why, largest);
}

int Open(const Folder& folder, const std::string& path, std::string& why, std::uint64_t largest) noexcept
{
    return OpenToRead(&folder, path, why, largest);
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
        int fd = -1;
        const bool held = OpenHeld(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY, 0666, fd, why);
        if (!held)
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && held)
            return -1;
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
        // Written in place: a file of more links would be written for each.
        if (status.st_nlink > 1)
        {
            why = WhyNotSingleLink(fd);
            ::close(fd);
            errno = EMLINK;
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
