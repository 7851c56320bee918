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

// The bound of the waits and the naming of a holder are LockWait's
// (com/lockwait.h), shared by every lock a process takes.

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
