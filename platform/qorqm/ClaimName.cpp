#include "qorqm/ClaimName.h"

#include "com/regularfile.h"

#include "kelv/KelvResult.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/WrittenFiles.h"
#include "qorqm/ReplaceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace DiskUtilities {

namespace {

#ifndef RENAME_NOREPLACE
constexpr unsigned RenameNoReplaceFlag = 1;
#else
constexpr unsigned RenameNoReplaceFlag = RENAME_NOREPLACE;
#endif

// path's series: its folder (for the file system) and the parts of its name
// around the number.
struct Series {
    std::string folder; // native, "." for none
    std::string name;   // the name itself, number 1
    std::string stem;   // what comes before "_n"
    std::string extension; // what comes after it (a file's extension)
};

Series SeriesOf(const std::string& path, ClaimKind kind)
{
    Series series;
    std::string folder;
    PathUtilities::FolderAndFileNameFromPath(PathUtilities::ToNative(path), folder, series.name);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    series.folder = folder.empty() ? "." : folder;
    series.extension = kind == ClaimKind::File ? PathUtilities::ExtensionFromPath(series.name) : std::string();
    series.stem = series.name.substr(0, series.name.size() - series.extension.size());
    return series;
}

// The number of entry in the series: 1 for the name itself, n for
// "<stem>_n<extension>" as NumberedName writes it (n from 2 to ClaimLast, no
// leading zero), else 0.
unsigned NumberOf(const std::string& entry, const Series& series)
{
    if (entry == series.name)
        return 1;
    const std::size_t fixed = series.stem.size() + 1 + series.extension.size();
    if (entry.size() <= fixed || entry.size() > fixed + 10 || entry.compare(0, series.stem.size(), series.stem) != 0 ||
        entry[series.stem.size()] != '_' ||
        entry.compare(entry.size() - series.extension.size(), series.extension.size(), series.extension) != 0)
        return 0;
    const std::size_t first = series.stem.size() + 1;
    const std::size_t end = entry.size() - series.extension.size();
    if (entry[first] == '0')
        return 0;
    unsigned long long n = 0;
    for (std::size_t i = first; i < end; ++i) {
        if (entry[i] < '0' || entry[i] > '9')
            return 0;
        n = n * 10 + static_cast<unsigned>(entry[i] - '0');
    }
    return n >= 2 && n <= ClaimLast ? static_cast<unsigned>(n) : 0;
}

// With `sweep`, a killed writer's temporary file met on the way goes.
long long Highest(const Series& series, bool sweep = true)
{
    DIR* directory = ::opendir(series.folder.c_str());
    if (!directory)
        return -1;
    unsigned highest = 0;
    errno = 0;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        const unsigned n = NumberOf(name, series);
        if (n > highest)
            highest = n;
        // A killed writer's temporary file goes in the same read; the
        // claim writes in this folder next.
        if (n == 0 && sweep)
            RemoveStaleTemporary(series.folder, name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(directory);
    errno = error;
    return error != 0 ? -1 : static_cast<long long>(highest);
}

// Tries the numbers above the highest taken with attempt (0 when the name
// was made, else the errno) until one is made, a failure other than EEXIST
// ends the claim, or no number is left.
ClaimedName Claim(const std::string& path, ClaimKind kind, const ClaimSkip& skip, unsigned last,
                  const std::function<int(const std::string& native)>& attempt)
{
    ClaimedName claim;
    claim.error = EEXIST;
    if (path.empty()) {
        claim.error = ENOENT;
        return claim;
    }
    // The name itself, when nothing stands there, costs no read of the
    // folder.
    if (!(skip && skip(path))) {
        const int error = attempt(PathUtilities::ToNative(path));
        if (error == 0) {
            claim.path = path;
            claim.number = 1;
            claim.error = 0;
            return claim;
        }
        claim.error = error;
        if (error != EEXIST)
            return claim;
    }
    const Series series = SeriesOf(path, kind);
    long long highest = Highest(series);
    if (highest < 0) {
        // A folder that cannot be read may still take a new name: the
        // claim then tries the series from its start.
        if (errno != EACCES) {
            claim.error = errno != 0 ? errno : EIO;
            return claim;
        }
        highest = 0;
    }
    for (unsigned long long n = static_cast<unsigned long long>(std::max<long long>(highest, 1)) + 1; n <= last; ++n) {
        const std::string candidate = NumberedName(path, static_cast<unsigned>(n), kind);
        if (skip && skip(candidate))
            continue;
        const int error = attempt(PathUtilities::ToNative(candidate));
        if (error == 0) {
            claim.path = candidate;
            claim.number = static_cast<unsigned>(n);
            claim.error = 0;
            return claim;
        }
        claim.error = error;
        if (error != EEXIST)
            return claim;
    }
    claim.error = EEXIST;
    claim.highest = last;
    return claim;
}

} // namespace

std::string NumberedName(const std::string& path, unsigned n, ClaimKind kind)
{
    if (n <= 1)
        return path;
    std::string folder;
    std::string name;
    PathUtilities::FolderAndFileNameFromPath(path, folder, name);
    const std::string extension = kind == ClaimKind::File ? PathUtilities::ExtensionFromPath(name) : std::string();
    return folder + name.substr(0, name.size() - extension.size()) + "_" + std::to_string(n) + extension;
}

long long HighestTaken(const std::string& path, ClaimKind kind)
{
    return Highest(SeriesOf(path, kind));
}

long long HighestStanding(const std::string& path, ClaimKind kind)
{
    return Highest(SeriesOf(path, kind), false);
}

namespace {

// Makes the one name: an empty folder, or an empty file (never through a
// link standing there).
int MakeEmpty(const std::string& native, ClaimKind kind)
{
    if (kind == ClaimKind::Folder)
        return ::mkdir(native.c_str(), 0777) == 0 ? 0 : errno;
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

// A file a claim made counts as made by the command.
ClaimedName Noted(ClaimedName claim, ClaimKind kind)
{
    if (claim && kind == ClaimKind::File)
        WrittenFiles::Note(PathUtilities::ToNative(claim.path), WrittenFiles::Change::Made);
    return claim;
}

} // namespace

ClaimedName ClaimNewName(const std::string& path, ClaimKind kind, const ClaimSkip& skip, unsigned last)
{
    return Noted(Claim(path, kind, skip, last, [kind](const std::string& native) { return MakeEmpty(native, kind); }),
                 kind);
}

namespace {

// RenameNoReplace of from relative to the folder `fromAt` to `to` relative
// to `toAt` (AT_FDCWD: paths).
int RenameNoReplaceByLinkAt(int fromAt, const std::string& from, int toAt, const std::string& to)
{
    // A folder has no second name, so an empty one is claimed and then
    // replaced (a rename may replace an empty folder, and this one is ours).
    struct stat status;
    if (::fstatat(fromAt, from.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISDIR(status.st_mode)) {
        if (::mkdirat(toAt, to.c_str(), 0700) != 0)
            return errno;
        if (::renameat(fromAt, from.c_str(), toAt, to.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(toAt, to.c_str(), AT_REMOVEDIR);
            return error;
        }
        return 0;
    }
    if (::linkat(fromAt, from.c_str(), toAt, to.c_str(), 0) != 0)
        return errno;
    ::unlinkat(fromAt, from.c_str(), 0);
    return 0;
}

int RenameNoReplaceAt(int fromAt, const std::string& from, int toAt, const std::string& to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, fromAt, from.c_str(), toAt, to.c_str(), RenameNoReplaceFlag) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
#endif
    return RenameNoReplaceByLinkAt(fromAt, from, toAt, to);
}

std::string BaseNameOf(const std::string& native)
{
    const std::string::size_type slash = native.find_last_of('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

// The folder of a new file of a held project, opened beneath the project
// (O_PATH): a link on the way that leads out of it gives no descriptor
// (errno EXDEV). Not held (no project is, or the file is the user's own):
// no descriptor and no error, and the file is made by its path.
struct HeldFolderOf {
    explicit HeldFolderOf(const std::string& path)
    {
        const std::string project = RegularFile::HolderOf(path);
        if (project.empty() || ::access("/proc/self/fd", X_OK) != 0)
            return;
        held = true;
        const RegularFile::Folder folder(project);
        std::string inner;
        const std::string parent = std::filesystem::path(PathUtilities::ToNative(path)).parent_path().string();
        if (!folder.IsOpen() || !folder.Holds(parent, inner)) {
            error = folder.IsOpen() ? EXDEV : errno;
            return;
        }
        fd = folder.OpenIn(inner, O_PATH | O_DIRECTORY);
        if (fd < 0)
            error = errno;
    }
    ~HeldFolderOf()
    {
        if (fd >= 0)
            ::close(fd);
    }
    HeldFolderOf(const HeldFolderOf&) = delete;
    HeldFolderOf& operator=(const HeldFolderOf&) = delete;

    bool held = false;
    int fd = -1;
    int error = 0;
};

} // namespace

int RenameNoReplace(const std::string& from, const std::string& to)
{
    return RenameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

int RenameNoReplaceByLink(const std::string& from, const std::string& to)
{
    return RenameNoReplaceByLinkAt(AT_FDCWD, from, AT_FDCWD, to);
}

ClaimedName ClaimNameFor(const std::string& made, const std::string& path, ClaimKind kind, const ClaimSkip& skip,
                         unsigned last)
{
    const std::string from = PathUtilities::ToNative(made);
    // Into a folder of a held project, the name is taken in the folder as
    // opened beneath the project, never through a link leading out of it.
    const HeldFolderOf folder(path);
    if (folder.held && folder.fd < 0) {
        ClaimedName refused;
        refused.error = folder.error != 0 ? folder.error : EXDEV;
        return refused;
    }
    if (folder.fd < 0)
        return Noted(Claim(path, kind, skip, last,
                           [&from](const std::string& native) { return RenameNoReplace(from, native); }),
                     kind);
    return Noted(Claim(path, kind, skip, last,
                       [&](const std::string& native) {
                           return RenameNoReplaceAt(AT_FDCWD, from, folder.fd, BaseNameOf(native));
                       }),
                 kind);
}

std::string MakeTemporaryFile(const std::string& file)
{
    // A fresh name is free but for a small chance; a taken one gets a number
    // before its ".tmp-<pid>-<letters>", which stays a temporary name.
    // (A temporary file is no file the command made: it is not noted.)
    const ClaimedName claim = Claim(TemporaryNameOf(file), ClaimKind::File, ClaimSkip(), ClaimLast,
                                    [](const std::string& native) { return MakeEmpty(native, ClaimKind::File); });
    if (!claim)
        errno = claim.error;
    return claim.path;
}

ClaimedName ClaimNewFile(const std::string& path, const std::function<void(const std::string& temporary)>& write,
                         const ClaimSkip& skip, unsigned last)
{
    // A file of a held project is written and named in its folder as opened
    // beneath the project, through that descriptor: a folder on the way
    // swapped meanwhile for a link leading out of the project gets nothing.
    const HeldFolderOf folder(path);
    if (folder.held && folder.fd < 0) {
        ClaimedName refused;
        refused.error = folder.error != 0 ? folder.error : EXDEV;
        return refused;
    }
    const std::string temporaryName = BaseNameOf(TemporaryNameOf(PathUtilities::ToNative(path)));
    const std::string temporary = folder.fd >= 0 ? "/proc/self/fd/" + std::to_string(folder.fd) + "/" + temporaryName
                                                 : TemporaryNameOf(path);
    // A write that failed left its temporary file removed already: errno
    // stays the reason of the failure, not the remove's ("no such file").
    const auto removeTemporary = [&] {
        const int saved = errno;
        if (folder.fd >= 0)
            ::unlinkat(folder.fd, temporaryName.c_str(), 0);
        else
            std::remove(temporary.c_str());
        errno = saved;
    };
    try {
        write(temporary);
    } catch (const KelvResult& failure) {
        removeTemporary();
        // The failure names the file being made, not its temporary one.
        const std::string shown = PathUtilities::ToNative(path);
        std::string message = failure.GetMessage();
        for (std::size_t at = message.find(temporary); at != std::string::npos;
             at = message.find(temporary, at + shown.size()))
            message.replace(at, temporary.size(), shown);
        throw KelvResult(failure.GetHRESULT(), message);
    } catch (...) {
        removeTemporary();
        throw;
    }
    ClaimedName claim;
    if (folder.fd >= 0)
        claim = Noted(Claim(path, ClaimKind::File, skip, last,
                            [&](const std::string& native) {
                                return RenameNoReplaceAt(folder.fd, temporaryName, folder.fd, BaseNameOf(native));
                            }),
                      ClaimKind::File);
    else
        claim = ClaimNameFor(temporary, path, ClaimKind::File, skip, last);
    if (!claim)
        removeTemporary();
    return claim;
}

ClaimedName AskNewFile(const std::string& path)
{
    ClaimedName answer;
    if (path.empty()) {
        answer.error = ENOENT;
        return answer;
    }
    // The folder as ClaimNewFile takes it: beneath the held project, else
    // by its path.
    const HeldFolderOf folder(path);
    if (folder.held && folder.fd < 0) {
        answer.error = folder.error != 0 ? folder.error : EXDEV;
        return answer;
    }
    int fd = folder.fd;
    int own = -1;
    if (fd < 0) {
        const std::filesystem::path native(PathUtilities::ToNative(path));
        const std::string parent = native.has_parent_path() ? native.parent_path().string() : std::string(".");
        own = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (own < 0) {
            answer.error = errno;
            return answer;
        }
        fd = own;
    }
    // A new name and the temporary file beside it need a folder this
    // process may write in and pass through, by its effective ids.
    const int allowed = ::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS);
    const int error = errno;
    if (own >= 0)
        ::close(own);
    if (allowed != 0) {
        answer.error = error;
        return answer;
    }
    answer.path = path;
    return answer;
}

MadeOnDisk::MadeOnDisk(std::string claimed)
{
    if (!claimed.empty())
        m_claimed.push_back(std::move(claimed));
}

MadeOnDisk::~MadeOnDisk()
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (auto path = m_claimed.rbegin(); path != m_claimed.rend(); ++path)
        fs::remove_all(PathUtilities::ToNative(*path), error);
    for (const std::string& folder : m_made)
        if (::rmdir(folder.c_str()) != 0)
            break;
}

bool MadeOnDisk::MakeFolders(const std::string& folder, const std::string& project)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::absolute(PathUtilities::ToNative(folder), error).lexically_normal();
    std::vector<fs::path> levels; // the target first, then up
    for (fs::path level = target.has_filename() ? target : target.parent_path();
         !level.empty() && !fs::exists(fs::symlink_status(level, error)); level = level.parent_path()) {
        levels.push_back(level);
        if (level == level.parent_path())
            break;
    }
    const RegularFile::Folder held(project);
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        std::string inner;
        if (!project.empty() && held.IsOpen() && held.Holds(level->string(), inner)) {
            // Each level of the project is made in its parent as opened
            // beneath the project, so none is made through a link leading
            // outside it.
            const std::string::size_type slash = inner.find_last_of('/');
            const int parent = held.OpenIn(slash == std::string::npos ? std::string() : inner.substr(0, slash),
                                           O_PATH | O_DIRECTORY);
            const bool madeHere =
                parent >= 0 &&
                ::mkdirat(parent, (slash == std::string::npos ? inner : inner.substr(slash + 1)).c_str(), 0777) == 0;
            const int made = errno;
            if (parent >= 0)
                ::close(parent);
            if (madeHere) {
                m_made.insert(m_made.begin(), level->string());
                continue;
            }
            if (parent < 0 || made != EEXIST)
                return false;
            continue;
        }
        if (::mkdir(level->c_str(), 0777) == 0)
            m_made.insert(m_made.begin(), level->string());
        else if (errno != EEXIST)
            break;
    }
    return fs::is_directory(target, error);
}

void MadeOnDisk::Claimed(const std::string& path)
{
    if (!path.empty())
        m_claimed.push_back(path);
}

void MadeOnDisk::Claimed(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        Claimed(path);
}

const std::string& MadeOnDisk::Path() const
{
    static const std::string none;
    return m_claimed.empty() ? none : m_claimed.front();
}

void MadeOnDisk::Keep()
{
    m_made.clear();
    m_claimed.clear();
}

std::string ClaimFailure(const ClaimedName& claim)
{
    if (claim)
        return std::string();
    if (claim.error == EEXIST)
        return "the name's numbered forms reach _" + std::to_string(claim.highest) +
               ", the highest number a new name is given; move the highest-numbered ones elsewhere or choose "
               "another name";
    if (claim.error == EXDEV)
        return "a symbolic link on the way to its folder leads out of the project";
    return std::strerror(claim.error);
}

} // namespace DiskUtilities
