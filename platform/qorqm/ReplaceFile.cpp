#include "qorqm/ReplaceFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <filesystem>
#include <random>

#include "com/regularfile.h"
#include "qorqm/FileDataCopy.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"

namespace {

const char TemporaryMark[] = ".tmp-";
// The six letters after the pid: four random ones, then two check letters.
const std::size_t RandomCount = 4;
const std::size_t CheckCount = 2;
const int LinkHops = 40;

std::string FolderOf(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
const std::size_t LetterCount = sizeof Letters - 1;

// The last letters of a temporary file's name are drawn from its pid and its
// random letters: a name a user gave a file of their own ("doc.qsd.tmp-2024-
// backup") is, but for a small chance, not one a writer makes.
std::string CheckLetters(const std::string& pid, const std::string& random)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : pid + "-" + random) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    std::string check;
    for (std::size_t i = 0; i < CheckCount; ++i) {
        check += Letters[hash % LetterCount];
        hash /= LetterCount;
    }
    return check;
}

std::string RandomText(const std::string& pid)
{
    thread_local std::mt19937 generator(static_cast<std::mt19937::result_type>(
        std::random_device{}() ^ static_cast<unsigned>(::getpid()) ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())));
    std::uniform_int_distribution<std::size_t> pick(0, LetterCount - 1);
    std::string text(RandomCount, 'x');
    for (char& c : text)
        c = Letters[pick(generator)];
    return text + CheckLetters(pid, text);
}

// Whether suffix is what CReplaceFile puts after "<pid>-": its random letters
// and the check letters they and the pid give.
bool IsReplaceFileSuffix(const std::string& pid, const std::string& suffix)
{
    if (suffix.size() != RandomCount + CheckCount)
        return false;
    for (const char c : suffix)
        if (c == '\0' || std::strchr(Letters, c) == nullptr)
            return false;
    return suffix.compare(RandomCount, CheckCount, CheckLetters(pid, suffix.substr(0, RandomCount))) == 0;
}

// The writer's pid of a temporary file name of `name` ("<name><mark><pid>-
// <suffix>", the pid in decimal as the writer writes it and the suffix one
// the writer makes), else 0.
pid_t WriterOf(const std::string& entry, const std::string& name, const std::string& mark,
               TemporarySuffixTest ownSuffix)
{
    const std::string prefix = name + mark;
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string rest = entry.substr(prefix.size());
    const std::string::size_type dash = rest.find('-');
    // At most ten digits, no leading zero: the decimal text of a pid.
    if (dash == std::string::npos || dash == 0 || dash > 10 || rest[0] == '0')
        return 0;
    long long pid = 0;
    for (std::string::size_type i = 0; i < dash; ++i) {
        if (rest[i] < '0' || rest[i] > '9')
            return 0;
        pid = pid * 10 + (rest[i] - '0');
    }
    if (pid > std::numeric_limits<pid_t>::max())
        return 0;
    if (!ownSuffix(rest.substr(0, dash), rest.substr(dash + 1)))
        return 0;
    return static_cast<pid_t>(pid);
}

bool WriterIsGone(pid_t pid)
{
    if (pid <= 0 || pid == ::getpid())
        return false;
    // EPERM: alive, another user's.
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

namespace fs = std::filesystem;

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

// Whether `path` is `folder` or lies below it (both normal).
bool Within(const fs::path& folder, const fs::path& path)
{
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p)
        if (p == path.end() || *f != *p)
            return false;
    return true;
}

fs::path Resolved(const fs::path& path)
{
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : Normal(resolved);
}

// Whether one of the folders on the way to `folder` (itself included) is,
// once its links are followed, `project` or a folder in it.
bool PassesThrough(const fs::path& project, const fs::path& folder)
{
    fs::path walked;
    for (const fs::path& part : folder) {
        walked /= part;
        if (Within(project, Resolved(walked)))
            return true;
    }
    return false;
}

std::string Quoted(const std::string& text)
{
    return "\"" + MessageText::Excerpt(text) + "\"";
}

// Why writing to the file at path fails, as the system says it: a byte is
// appended to it (the file must be one to be dropped). The reason errno
// held before, else EIO, when the byte can be written after all.
int WriteFailure(const std::string& path)
{
    const int saved = errno;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return errno != 0 ? errno : EIO;
    const char probe = '\n';
    ssize_t written = -1;
    do {
        errno = 0;
        written = ::write(fd, &probe, 1);
    } while (written < 0 && errno == EINTR);
    const int reason = written < 0 && errno != 0 ? errno : (saved != 0 ? saved : EIO);
    ::close(fd);
    return reason;
}

}  // namespace

std::string LinkLeavingProject(const std::string& path, const std::string& project)
{
    if (project.empty() || path.empty())
        return std::string();
    const fs::path named = Normal(PathUtilities::ToNative(path));
    const fs::path folder = Normal(PathUtilities::ToNative(project));
    const fs::path realFolder = Resolved(folder);
    const fs::path& base = Within(folder, named) ? folder : realFolder;
    // A file of the project is one named inside it, or one whose way passes
    // through it once links are followed: the place, not its spelling (a
    // second link to the project names the same files).
    if (!Within(base, named) && !PassesThrough(realFolder, named.parent_path()))
        return std::string(); // not a file of the project: the user's own choice
    // Where a write of the path lands: the end of its chain of links, in the
    // folder its linked folders lead to.
    std::error_code error;
    fs::path absolute = fs::absolute(PathUtilities::ToNative(path), error);
    if (error)
        absolute = PathUtilities::ToNative(path);
    const std::string end = ReplacedFileOf(absolute.string());
    if (end.empty())
        return std::string(); // a chain that cannot be followed is refused by the writer itself
    const fs::path lands = Resolved(end);
    if (Within(realFolder, lands))
        return std::string();
    const std::string outside = ", outside the project " + Quoted(project);
    if (fs::path(end).lexically_normal() != absolute.lexically_normal())
        return "it is a symbolic link to " + Quoted(lands.string()) + outside;
    if (!Within(base, named))
        return "it leads to " + Quoted(lands.string()) + outside;
    // A linked folder on the way below the project.
    fs::path walked = base;
    auto part = named.begin();
    for (auto f = base.begin(); f != base.end(); ++f)
        ++part;
    for (; part != named.end(); ++part) {
        walked /= *part;
        if (fs::is_symlink(fs::symlink_status(walked, error)))
            return "it lies in " + Quoted(walked.string()) + ", a symbolic link to " +
                   Quoted(Resolved(walked).string()) + outside;
    }
    return "it leads to " + Quoted(lands.string()) + outside;
}

std::string ReplacedFileOf(const std::string& path)
{
    std::string file = path;
    for (int hop = 0; hop < LinkHops; ++hop) {
        struct stat status;
        if (::lstat(file.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return file; // a plain file, something else, or nothing yet
        std::string link(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(file.c_str(), link.data(), link.size());
        if (length < 0)
            return std::string();
        if (static_cast<std::size_t>(length) >= link.size()) {
            errno = ENAMETOOLONG;
            return std::string();
        }
        link.resize(static_cast<std::size_t>(length));
        if (link.empty()) {
            errno = ENOENT;
            return std::string();
        }
        file = link.front() == '/' ? link : FolderOf(file) + "/" + link;
    }
    errno = ELOOP;
    return std::string();
}

int RemoveStaleTemporaries(const std::string& file)
{
    return RemoveStaleTemporaries(file, TemporaryMark, IsReplaceFileSuffix);
}

int RemoveStaleTemporaries(const std::string& file, const std::string& mark, TemporarySuffixTest ownSuffix)
{
    const std::string name = NameOf(file);
    const std::string folder = FolderOf(file);
    const int saved = errno;
    int removed = 0;
    if (DIR* directory = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(directory)) {
            const std::string entryName = entry->d_name;
            if (!WriterIsGone(WriterOf(entryName, name, mark, ownSuffix)))
                continue;
            // A writer makes plain files only.
            const std::string path = folder + "/" + entryName;
            struct stat status;
            if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::unlink(path.c_str()) == 0)
                ++removed;
        }
        ::closedir(directory);
    }
    errno = saved;
    return removed;
}

CReplaceFile::CReplaceFile(const std::string& target, const std::string& project)
    : m_target(PathUtilities::ToNative(target))
{
    const std::string leaving = LinkLeavingProject(m_target, project);
    if (!leaving.empty()) {
        Failed(leaving, EACCES);
        return;
    }
    m_file = ReplacedFileOf(m_target);
    if (m_file.empty()) {
        Failed("its symbolic link cannot be followed (" + std::string(std::strerror(errno)) + ")", errno);
        return;
    }
    RemoveStaleTemporaries(m_file);

    struct stat existing;
    const bool exists = ::stat(m_file.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        Failed("it " + RegularFile::WhatItIs(existing.st_mode), S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
        return;
    }
    const std::string pid = std::to_string(::getpid());
    const std::string prefix = m_file + TemporaryMark + pid + "-";
    int fd = -1;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = prefix + RandomText(pid);
        // 0666 and the umask: a new file gets the mode any new file would.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        const std::string reason = std::strerror(error);
        const std::string folder = FolderOf(m_file);
        if ((error == EACCES || error == EPERM) && exists && ::access(m_file.c_str(), W_OK) == 0)
            Failed("its folder \"" + folder + "\" does not allow new files (" + reason +
                       "); a file is saved as a new copy beside it that replaces it only when whole, so the "
                       "folder must be writable even though the file is",
                   error);
        else
            Failed("no file can be made in its folder \"" + folder + "\" (" + reason + ")", error);
        return;
    }
    if (exists) {
        // Keep the group where the owner may, then the mode (after the group:
        // a change of group may clear the set-group bit).
        struct stat made;
        if (::fstat(fd, &made) == 0 && made.st_gid != existing.st_gid)
            (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
        (void)::fchmod(fd, existing.st_mode & 07777);
    }
    ::close(fd);
    m_temporary = temporary;
    m_stream.open(m_temporary, std::ios::binary | std::ios::trunc);
    if (!m_stream.is_open()) {
        Failed("its temporary file \"" + m_temporary + "\" cannot be opened (" + std::strerror(errno) + ")", errno);
        return;
    }
    // Nothing has been written yet: a write that fails later leaves its own
    // reason in errno, never one of the looks above (a target not there yet).
    errno = 0;
}

CReplaceFile::~CReplaceFile()
{
    Discard();
}

void CReplaceFile::Failed(const std::string& why, int error)
{
    m_error = why;
    Discard();
    errno = error;
}

void CReplaceFile::Discard()
{
    const int saved = errno;
    if (m_stream.is_open())
        m_stream.close();
    if (!m_temporary.empty())
        std::remove(m_temporary.c_str());
    m_temporary.clear();
    errno = saved;
}

bool CReplaceFile::Commit()
{
    if (!IsOpen()) {
        if (m_error.empty())
            m_error = "it was not opened for writing";
        return false;
    }
    // The stream does not keep the system's reason of a failed write (a
    // write cut short by a full disk leaves errno at 0): the temporary file,
    // dropped anyway, is asked again.
    int error = 0;
    if (m_stream) {
        m_stream.flush();
        if (m_stream) {
            m_stream.close();
            if (m_stream.fail())
                error = WriteFailure(m_temporary);
        } else {
            error = WriteFailure(m_temporary);
        }
    } else {
        error = WriteFailure(m_temporary);
    }
    if (error != 0) {
        Failed("writing its new contents failed (" + std::string(std::strerror(error)) + ")", error);
        return false;
    }
    const int fd = ::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        Failed("its new contents could not be stored (" + std::string(std::strerror(error)) + ")", error);
        return false;
    }
    ::close(fd);
    if (std::rename(m_temporary.c_str(), m_file.c_str()) != 0) {
        const int error = errno;
        Failed("its new contents could not take its place (" + std::string(std::strerror(error)) + ")", error);
        return false;
    }
    m_temporary.clear();
    return true;
}

bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string* error,
                         const std::string& project)
{
    CReplaceFile file(path, project);
    bool ok = file.IsOpen();
    if (ok) {
        errno = 0;
        file.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ok = file.Commit();
    }
    if (!ok && error)
        *error = file.Error();
    return ok;
}

bool CopyFileContents(const std::string& source, const std::string& target, std::string* error,
                      const std::string& project)
{
    const auto failed = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    const std::string from = PathUtilities::ToNative(source);
    const std::string leaving = LinkLeavingProject(from, project);
    if (!leaving.empty())
        return failed("\"" + MessageText::Excerpt(source) + "\" " + leaving);
    std::string why;
    const int fd = RegularFile::Open(from, why);
    if (fd < 0)
        return failed(RegularFile::Refusal(MessageText::Excerpt(source), why));
    CReplaceFile file(target, project);
    const int readError = file.IsOpen() ? CopyFileData(fd, file.Stream()) : 0;
    ::close(fd);
    if (readError != 0) {
        file.Discard();
        errno = readError;
        return failed(RegularFile::Refusal(MessageText::Excerpt(source), "cannot be read (" +
                                                                           std::string(std::strerror(readError)) + ")"));
    }
    if (!file.Commit())
        return failed("\"" + MessageText::Excerpt(target) + "\" cannot be written: " + file.Error());
    return true;
}
