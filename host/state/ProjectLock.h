// The lock of a project folder: processes that change a project's files (its
// state file, its engine settings) hold it from reading the file to
// renaming its new version into place, so that two of them never interleave
// and neither loses the other's values. It is an advisory lock (flock) on the
// folder itself, so it leaves no file behind and ends with the process.
#pragma once

#include <string>

namespace QzHost {

class ProjectLock {
public:
    // Waits until the folder's lock is free, then holds it. Within one process
    // the lock is shared: a thread that holds it may take it again, other
    // threads wait. Throws KelvResult naming the folder and the reason when it
    // cannot be locked (no such folder).
    explicit ProjectLock(const std::string& folder);
    ~ProjectLock();
    ProjectLock(const ProjectLock&) = delete;
    ProjectLock& operator=(const ProjectLock&) = delete;

private:
    std::string m_key;
};

} // namespace QzHost
