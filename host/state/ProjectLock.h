// The lock of a project folder: processes that change a project's files (its
// state file, its engine settings) hold it from reading the file to
// renaming its new version into place, so that two of them never interleave
// and neither loses the other's values. It is an advisory lock (flock) on the
// folder itself, so it leaves no file behind and ends with the process: a
// holder that dies lets it go at once. A holder that is stopped (Ctrl-Z,
// SIGSTOP) keeps it, so a wait for it is bounded and says whom it waits for.
#pragma once

#include <string>

namespace QzHost {

// How long a process waits for locks before it gives up, in seconds, all
// its waits together: the environment variable QZ_LOCK_WAIT_SECONDS (a
// decimal number from 0; 0: no wait), else DefaultLockWaitSeconds. Throws
// KelvResult naming the variable when it holds anything else.
inline constexpr double DefaultLockWaitSeconds = 60;
double ProjectLockWaitSeconds();

// Who holds the lock of the folder open as `fd`, as a message says it:
// "process 1234 (zelm-host types p/salt.qsd ...)", "process 1234" when its
// command cannot be read, "another process" when the holder cannot be told.
std::string ProjectLockHolder(int fd);

class ProjectLock {
public:
    // Waits until the folder's lock is free, then holds it. Within one process
    // the lock is shared: a thread that holds it may take it again, other
    // threads wait. When another process holds it, says so once on standard
    // error (the lock by the folder's role, "the project folder \"p\"",
    // which process holds it, and for how long this one waits) and gives up
    // once the process's waits reach their bound (LockWait). Throws
    // KelvResult naming the folder by its role and the reason when it cannot
    // be locked (no such folder, the wait given up, naming the holder, a
    // bound that is none).
    explicit ProjectLock(const std::string& folder, const std::string& role = "project folder");
    ~ProjectLock();
    ProjectLock(const ProjectLock&) = delete;
    ProjectLock& operator=(const ProjectLock&) = delete;

private:
    std::string m_key;
};

} // namespace QzHost
