#include "host/state/ProjectLock.h"

#include "host/managers/HostCall.h"
#include "com/lockwait.h"
#include "qorqm/MessageText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/file.h>
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

} // namespace

ProjectLock::ProjectLock(const std::string& folder, const std::string& role) : m_key(KeyOf(folder))
{
    LockMutex().lock();
    Held& held = HeldLocks()[m_key];
    if (held.count > 0) {
        ++held.count;
        return;
    }
    const int fd = open(m_key.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    LockWait::Result taken;
    if (fd < 0)
        taken.error = errno;
    else
        taken = LockWait::Take(fd, "the " + role + " \"" + MessageText::Excerpt(folder) + "\"");
    if (taken.outcome != LockWait::Outcome::Held) {
        if (fd >= 0)
            close(fd);
        HeldLocks().erase(m_key);
        LockMutex().unlock();
        std::string named = "The " + role + " \"" + folder + "\"";
        if (taken.outcome == LockWait::Outcome::BadBound)
            Fail(E_INVALIDARG, named + " cannot be locked: " + taken.why + ".");
        if (taken.outcome == LockWait::Outcome::GivenUp)
            Fail(E_ACCESSDENIED, named + " " + LockWait::GivenUpText(taken) +
                                     "; nothing was changed in it. If that process is stopped (Ctrl-Z), let it go on "
                                     "(fg, or kill -CONT) or end it, then try again.");
        Fail(E_ACCESSDENIED, named + " cannot be locked: " + std::strerror(taken.error) + ".");
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
