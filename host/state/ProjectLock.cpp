#include "host/state/ProjectLock.h"

#include "host/managers/HostCall.h"
#include "host/state/ProcessInfo.h"
#include "qorqm/MessageText.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace QzHost {

namespace {

struct Held {
    int fd = -1;
    int count = 0;
};

// One flock per folder and process; the recursive mutex keeps other threads
// of the process out while one holds it.
std::recursive_mutex& LockMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

std::map<std::string, Held>& HeldLocks()
{
    static std::map<std::string, Held> held;
    return held;
}

std::string KeyOf(const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(folder.empty() ? "." : folder, error);
    return error ? folder : canonical.string();
}

std::string SecondsText(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str() + " s";
}

// Takes the lock without waiting: 0, or the errno of the failure
// (EWOULDBLOCK while another process holds it).
int TryLock(int fd)
{
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

// Waits for the lock of the folder open as `fd` as long as the bound lets
// it, saying once whom it waits for: 0, or the errno of the failure
// (EWOULDBLOCK when the wait was given up, with the holder in `holder`).
int WaitForLock(int fd, const std::string& folder, std::string& holder)
{
    int result = TryLock(fd);
    if (result != EWOULDBLOCK)
        return result;
    const double bound = ProjectLockWaitSeconds();
    holder = ProjectLockHolder(fd);
    std::cerr << "waiting for the lock of the project folder \"" << MessageText::Excerpt(folder) << "\", which "
              << holder << " holds (giving up after " << SecondsText(bound) << ")" << std::endl;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bound));
    auto pause = std::chrono::milliseconds(5);
    while ((result = TryLock(fd)) == EWOULDBLOCK) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            break;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
    if (result == EWOULDBLOCK)
        holder = ProjectLockHolder(fd); // the one it gave up on
    return result;
}

} // namespace

double ProjectLockWaitSeconds()
{
    const char* text = std::getenv("QZ_LOCK_WAIT_SECONDS");
    if (text == nullptr || *text == '\0')
        return DefaultLockWaitSeconds;
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text, &end);
    // Past a day is as good as no bound; a text that is no such number
    // leaves the default.
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(seconds) || seconds < 0)
        return DefaultLockWaitSeconds;
    return std::min(seconds, 86400.0);
}

std::string ProjectLockHolder(int fd)
{
    struct stat folder = {};
    if (fstat(fd, &folder) != 0)
        return "another process";
    // One line per lock: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF";
    // a waiter's lines read "1: -> FLOCK ..." and are no holders.
    const std::string table = ReadSystemFile("/proc/locks", 1 << 20);
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        char kind[16] = {};
        char mode[16] = {};
        char access[16] = {};
        long pid = 0;
        unsigned int deviceMajor = 0;
        unsigned int deviceMinor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line.c_str(), "%*d: %15s %15s %15s %ld %x:%x:%llu", kind, mode, access, &pid, &deviceMajor, &deviceMinor,
                        &inode) != 7)
            continue;
        if (std::strcmp(kind, "FLOCK") != 0 || inode != folder.st_ino || deviceMajor != major(folder.st_dev) ||
            deviceMinor != minor(folder.st_dev) || pid <= 0 || pid == getpid())
            continue;
        const std::string command = ProcessCommand(static_cast<pid_t>(pid));
        return "process " + std::to_string(pid) + (command.empty() ? std::string() : " (" + command + ")");
    }
    return "another process";
}

ProjectLock::ProjectLock(const std::string& folder) : m_key(KeyOf(folder))
{
    LockMutex().lock();
    Held& held = HeldLocks()[m_key];
    if (held.count > 0) {
        ++held.count;
        return;
    }
    const int fd = open(m_key.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string holder;
    const int result = fd < 0 ? errno : WaitForLock(fd, folder, holder);
    if (result != 0) {
        if (fd >= 0)
            close(fd);
        HeldLocks().erase(m_key);
        LockMutex().unlock();
        if (result == EWOULDBLOCK)
            Fail(E_ACCESSDENIED, "The project folder \"" + folder + "\" is still locked by " + holder + " after " +
                                     SecondsText(ProjectLockWaitSeconds()) +
                                     "; nothing was changed in it. If that process is stopped (Ctrl-Z), let it go on "
                                     "(fg, or kill -CONT) or end it, then try again.");
        Fail(E_ACCESSDENIED, "The project folder \"" + folder + "\" cannot be locked: " + std::strerror(result) + ".");
    }
    held.fd = fd;
    held.count = 1;
}

ProjectLock::~ProjectLock()
{
    Held& held = HeldLocks()[m_key];
    if (--held.count <= 0) {
        if (held.fd >= 0) {
            flock(held.fd, LOCK_UN);
            close(held.fd);
        }
        HeldLocks().erase(m_key);
    }
    LockMutex().unlock();
}

} // namespace QzHost
