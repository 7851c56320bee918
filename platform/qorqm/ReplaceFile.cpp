#include "qorqm/ReplaceFile.h"
#include "qorqm/WrittenFiles.h"

#include <dirent.h>
#include <ext/stdio_filebuf.h>
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
#include <mutex>
#include <random>
#include <set>

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

std::string Quoted(const std::string& text)
{
    return "\"" + MessageText::Excerpt(text) + "\"";
}

// Why writing to the temporary file fails, as the system says it: a byte
// is written through its descriptor (the file is dropped anyway). The reason
// errno held before, else EIO, when the byte can be written after all.
int WriteFailure(int fd)
{
    const int saved = errno;
    if (fd < 0)
        return saved != 0 ? saved : EIO;
    const char probe = '\n';
    ssize_t written = -1;
    do {
        errno = 0;
        written = ::write(fd, &probe, 1);
    } while (written < 0 && errno == EINTR);
    return written < 0 && errno != 0 ? errno : (saved != 0 ? saved : EIO);
}

}  // namespace

std::string LinkLeavingProject(const std::string& path, const std::string& project)
{
    if (project.empty() || path.empty())
        return std::string();
    const std::string native = PathUtilities::ToNative(path);
    const RegularFile::Folder folder(PathUtilities::ToNative(project));
    std::string relative;
    if (!folder.IsOpen() || !folder.Holds(native, relative))
        return std::string(); // not a file of the project: the user's own choice
    // The way to the file (and the end of its chain of links: a missing file
    // is made where the way ends) must open beneath the project.
    const int fd = folder.OpenIn(relative, O_PATH);
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (fd >= 0 || error != EXDEV)
        return std::string(); // in, or a way the writer itself refuses
    const std::string leaving = folder.Leaving(native);
    return leaving.empty() ? "it leads outside the project " + Quoted(project) : leaving;
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
    // A process sweeps a folder once: what a killed writer left there goes
    // with the first write of the next command, and a command that writes
    // many files of one folder does not read the folder for each of them.
    static std::mutex mutex;
    static std::set<std::string> swept;
    const std::string folder = FolderOf(file);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second)
            return 0;
    }
    return RemoveStaleTemporariesIn(folder);
}

bool IsStaleTemporaryName(const std::string& entry)
{
    // The mark nearest the end is the writer's: "a.tmp-1-x.qsd.tmp-<pid>-<six>"
    // is a temporary file of "a.tmp-1-x.qsd".
    const std::string::size_type mark = entry.rfind(TemporaryMark);
    if (mark == std::string::npos || mark == 0)
        return false;
    return WriterIsGone(WriterOf(entry, entry.substr(0, mark), TemporaryMark, IsReplaceFileSuffix));
}

bool RemoveStaleTemporary(const std::string& folder, const std::string& entry)
{
    if (!IsStaleTemporaryName(entry))
        return false;
    // A writer makes plain files, and folders that it fills.
    const int saved = errno;
    const std::string path = folder + "/" + entry;
    struct stat status;
    bool removed = false;
    if (::lstat(path.c_str(), &status) == 0) {
        std::error_code error;
        if (S_ISREG(status.st_mode))
            removed = ::unlink(path.c_str()) == 0;
        else if (S_ISDIR(status.st_mode))
            removed = fs::remove_all(path, error) > 0 && !error;
    }
    errno = saved;
    return removed;
}

int RemoveStaleTemporariesIn(const std::string& folder)
{
    const int saved = errno;
    int removed = 0;
    if (DIR* directory = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(directory))
            removed += RemoveStaleTemporary(folder, entry->d_name) ? 1 : 0;
        ::closedir(directory);
    }
    errno = saved;
    return removed;
}

std::string TemporaryNameOf(const std::string& file)
{
    const std::string pid = std::to_string(::getpid());
    return PathUtilities::ToNative(file) + TemporaryMark + pid + "-" + RandomText(pid);
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

namespace {

// Gives the stream the descriptor to write (the stream owns it from here).
bool Adopt(std::ofstream& stream, int fd)
{
    __gnu_cxx::stdio_filebuf<char> adopted(fd, std::ios::out | std::ios::binary);
    if (!adopted.is_open())
        return false;
    *stream.rdbuf() = std::move(static_cast<std::filebuf&>(adopted));
    stream.clear();
    return stream.rdbuf()->is_open();
}

std::string JoinedWay(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

} // namespace

bool CReplaceFile::Place(const std::string& project, std::string& folderPath, bool& exists, struct stat& existing)
{
    // Without a project given, a file of a held folder (the project a
    // command works in) is held to it all the same; the user's own is not.
    const std::string holder = project.empty() ? RegularFile::HolderOf(m_target) : PathUtilities::ToNative(project);
    const RegularFile::Folder held(holder);
    std::string way;
    if (held.IsOpen() && held.Holds(m_target, way)) {
        // A file of the project: its folder opened beneath the project, a
        // link at its name followed while it stays in the project.
        for (int hop = 0;; ++hop) {
            const std::string::size_type slash = way.find_last_of('/');
            const std::string inner = slash == std::string::npos ? std::string() : way.substr(0, slash);
            m_name = slash == std::string::npos ? way : way.substr(slash + 1);
            m_folder = held.OpenIn(inner, O_PATH | O_DIRECTORY);
            if (m_folder < 0) {
                const int error = errno;
                if (error == EXDEV) {
                    const std::string leaving = held.Leaving(m_target);
                    Failed(leaving.empty() ? "it leads outside the project " + Quoted(holder) : leaving, EACCES);
                } else {
                    Failed("no file can be made in its folder \"" + FolderOf(m_target) + "\" (" +
                               std::strerror(error) + ")",
                           error);
                }
                return false;
            }
            folderPath = JoinedWay(held.Path(), inner);
            char link[4096];
            const ssize_t length = ::readlinkat(m_folder, m_name.c_str(), link, sizeof link);
            if (length < 0)
                break; // no link: the file itself, or nothing yet
            ::close(m_folder);
            m_folder = -1;
            if (hop >= LinkHops || static_cast<std::size_t>(length) >= sizeof link || length == 0) {
                Failed("its symbolic link cannot be followed (" + std::string(std::strerror(ELOOP)) + ")", ELOOP);
                return false;
            }
            const std::string to(link, static_cast<std::size_t>(length));
            std::string rest;
            if (to.front() == '/') {
                const fs::path normal = fs::path(to).lexically_normal();
                auto p = normal.begin();
                bool within = true;
                for (const fs::path& part : fs::path(held.Real())) {
                    if (p == normal.end() || *p != part) {
                        within = false;
                        break;
                    }
                    ++p;
                }
                if (!within || p == normal.end()) {
                    Failed("it is a symbolic link to " + Quoted(normal.string()) + ", outside the project " +
                               Quoted(holder),
                           EACCES);
                    return false;
                }
                fs::path r;
                for (; p != normal.end(); ++p)
                    r /= *p;
                way = r.string();
            } else {
                way = JoinedWay(inner, to);
            }
        }
    } else {
        const std::string file = ReplacedFileOf(m_target);
        if (file.empty()) {
            // The reason read once, before the message is built.
            const int error = errno;
            Failed("its symbolic link cannot be followed (" + std::string(std::strerror(error)) + ")", error);
            return false;
        }
        folderPath = FolderOf(file);
        m_name = NameOf(file);
        m_folder = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (m_folder < 0) {
            const int error = errno;
            Failed("no file can be made in its folder \"" + folderPath + "\" (" + std::strerror(error) + ")", error);
            return false;
        }
    }
    m_file = folderPath == "/" ? "/" + m_name : folderPath + "/" + m_name;

    exists = ::fstatat(m_folder, m_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(existing.st_mode)) {
        Failed("its symbolic link changed while it was saved", EAGAIN);
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        Failed("it " + RegularFile::WhatItIs(existing.st_mode), S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
        return false;
    }
    return true;
}

CReplaceFile::CReplaceFile(const std::string& target, const std::string& project)
    : m_target(PathUtilities::ToNative(target))
{
    std::string folderPath;
    bool exists = false;
    struct stat existing {};
    if (!Place(project, folderPath, exists, existing))
        return;
    RemoveStaleTemporaries(m_file);
    const std::string pid = std::to_string(::getpid());
    const std::string prefix = m_name + TemporaryMark + pid + "-";
    int fd = -1;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = prefix + RandomText(pid);
        // 0666 and the umask: a new file gets the mode any new file would.
        fd = ::openat(m_folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        NoNewFile(errno, exists, folderPath);
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
    m_temporaryName = temporary;
    m_temporary = JoinedWay(folderPath, temporary);
    m_sync = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (m_sync < 0 || !Adopt(m_stream, fd)) {
        const int error = errno != 0 ? errno : EMFILE;
        if (m_sync < 0)
            ::close(fd);
        Failed("its temporary file \"" + m_temporary + "\" cannot be opened (" + std::strerror(error) + ")", error);
        return;
    }
    // Nothing has been written yet: a write that fails later leaves its own
    // reason in errno, never one of the looks above (a target not there yet).
    errno = 0;
}

void CReplaceFile::NoNewFile(int error, bool exists, const std::string& folderPath)
{
    const std::string reason = std::strerror(error);
    if ((error == EACCES || error == EPERM) && exists && ::faccessat(m_folder, m_name.c_str(), W_OK, 0) == 0)
        Failed("its folder \"" + folderPath + "\" does not allow new files (" + reason +
                   "); a file is saved as a new copy beside it that replaces it only when whole, so the "
                   "folder must be writable even though the file is",
               error);
    else
        Failed("no file can be made in its folder \"" + folderPath + "\" (" + reason + ")", error);
}

std::string CReplaceFile::WhyRefused(const std::string& target, const std::string& project)
{
    CReplaceFile probe;
    probe.m_target = PathUtilities::ToNative(target);
    std::string folderPath;
    bool exists = false;
    struct stat existing {};
    if (!probe.Place(project, folderPath, exists, existing))
        return probe.m_error;
    // The new copy is made in the folder: the folder must take new files.
    if (::faccessat(probe.m_folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        probe.NoNewFile(errno, exists, folderPath);
        return probe.m_error;
    }
    errno = 0;
    return std::string();
}

CReplaceFile::~CReplaceFile()
{
    Discard();
    if (m_folder >= 0)
        ::close(m_folder);
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
    if (m_sync >= 0)
        ::close(m_sync);
    m_sync = -1;
    if (!m_temporaryName.empty() && m_folder >= 0)
        ::unlinkat(m_folder, m_temporaryName.c_str(), 0);
    m_temporary.clear();
    m_temporaryName.clear();
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
                error = WriteFailure(m_sync);
        } else {
            error = WriteFailure(m_sync);
        }
    } else {
        error = WriteFailure(m_sync);
    }
    if (error != 0) {
        Failed("writing its new contents failed (" + std::string(std::strerror(error)) + ")", error);
        return false;
    }
    if (::fsync(m_sync) != 0) {
        const int error = errno;
        Failed("its new contents could not be stored (" + std::string(std::strerror(error)) + ")", error);
        return false;
    }
    ::close(m_sync);
    m_sync = -1;
    const WrittenFiles::Change change = WrittenFiles::CompareAt(m_folder, m_temporaryName, m_name);
    if (::renameat(m_folder, m_temporaryName.c_str(), m_folder, m_name.c_str()) != 0) {
        const int error = errno;
        Failed("its new contents could not take its place (" + std::string(std::strerror(error)) + ")", error);
        return false;
    }
    m_temporary.clear();
    m_temporaryName.clear();
    WrittenFiles::Note(m_target, change);
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
                      const std::string& project, CopyRule rule, const std::string& sourceFolder)
{
    const auto failed = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    const std::string from = PathUtilities::ToNative(source);
    // A source of the project is opened beneath it: a link leading outside
    // is refused by the open itself, by name.
    std::string why;
    const std::string holder = sourceFolder.empty() ? project : sourceFolder;
    const RegularFile::Folder folder(holder.empty() ? std::string() : PathUtilities::ToNative(holder));
    const int fd = folder.IsOpen() ? RegularFile::Open(folder, from, why) : RegularFile::Open(from, why);
    if (fd < 0) {
        if (why.rfind("is a symbolic link to", 0) == 0 || why.rfind("lies in ", 0) == 0 ||
            why.rfind("leads ", 0) == 0)
            return failed("\"" + MessageText::Excerpt(source) + "\" it " + why);
        return failed(RegularFile::Refusal(MessageText::Excerpt(source), why));
    }
    if (rule == CopyRule::SingleLink) {
        const std::string links = RegularFile::WhyNotSingleLink(fd);
        if (!links.empty()) {
            ::close(fd);
            errno = EMLINK;
            return failed(RegularFile::Refusal(MessageText::Excerpt(source), links));
        }
    }
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
