#include "host/jobs/JobDriverNote.h"

#include "host/state/ProcessInfo.h"
#include "com/lockwait.h"
#include "com/regularfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QzHost {

namespace {

constexpr std::size_t NoteLimit = 8192;

std::string NotePath(const std::string& resultsFolder)
{
    return resultsFolder + "/" + JobDriverNoteName;
}

// A value as one line of the note: line breaks and other control
// characters cannot stand in it.
std::string OneLine(const std::string& value)
{
    std::string line = value;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return line;
}

bool WriteWhole(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

} // namespace

JobDriverNote::JobDriverNote(const std::string& resultsFolder, const std::string& seed, const std::string& serverFolder)
{
    if (resultsFolder.empty())
        return;
    const pid_t self = getpid();
    const std::string text = "pid " + std::to_string(self) + "\nstarted " + std::to_string(ProcessStartTime(self)) +
                             "\nmachine " + OneLine(MachineName()) + "\nseed " + OneLine(seed) + "\nserver " +
                             OneLine(serverFolder) + "\ncommand " + OneLine(ProcessCommand(self)) + "\n";
    // Locked before it is written, so that a reader never sees this note
    // unheld once it names this process. A reader's own short look at the
    // lock may cross the first try. Without the lock there is no note.
    const std::string path = NotePath(resultsFolder);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        return;
    struct stat opened = {};
    bool locked = false;
    for (int attempt = 0; attempt < 200 && !locked; ++attempt) {
        locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno != EWOULDBLOCK && errno != EINTR)
            break;
        if (!locked)
            ::usleep(5000);
    }
    if (!locked || ::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_nlink != 1 ||
        ::ftruncate(fd, 0) != 0 || !WriteWhole(fd, text)) {
        if (locked && S_ISREG(opened.st_mode) && opened.st_nlink == 1)
            ::unlink(path.c_str());
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_path = path;
}

JobDriverNote::~JobDriverNote()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void JobDriverNote::Done()
{
    if (!m_path.empty())
        std::remove(m_path.c_str());
    m_path.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool ReadJobDriverNote(const std::string& resultsFolder, JobDriverRecord& record)
{
    std::string text;
    bool whole = false;
    std::string why;
    if (!RegularFile::ReadAtMost(NotePath(resultsFolder), NoteLimit, text, whole, why) || !whole)
        return false;
    // Its lock, held by another open of it (its driver's while that follows
    // the job): looked at without following a link, so that a link in the
    // note's place is held by nobody.
    bool held = false;
    long holder = 0;
    const int fd = ::open(NotePath(resultsFolder).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat opened = {};
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (held)
            holder = LockWait::HolderProcess(fd);
        else
            ::flock(fd, LOCK_UN);
    }
    if (fd >= 0)
        ::close(fd);

    JobDriverRecord read;
    bool pid = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (key == "pid") {
            char* end = nullptr;
            errno = 0;
            const long number = std::strtol(value.c_str(), &end, 10);
            pid = !value.empty() && *end == '\0' && errno == 0 && number > 0 && number <= 0x3fffffff;
            read.pid = pid ? static_cast<pid_t>(number) : 0;
        } else if (key == "started") {
            read.started = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "machine") {
            read.machine = value;
        } else if (key == "seed") {
            read.seed = value;
        } else if (key == "server") {
            read.serverFolder = value;
        } else if (key == "command") {
            read.command = value;
        }
    }
    if (!pid)
        return false;
    // The holder this process can tell must be the process the note names
    // (0: /proc cannot say, or this very process holds it).
    read.held = held && (holder == 0 || holder == read.pid);
    record = read;
    return true;
}

void RemoveJobDriverNote(const std::string& resultsFolder)
{
    std::remove(NotePath(resultsFolder).c_str());
}

JobDriverState StateOf(const JobDriverRecord& record)
{
    if (!record.machine.empty() && record.machine != MachineName())
        return JobDriverState::Elsewhere;
    return record.held && ProcessRuns(record.pid, record.started) ? JobDriverState::Running : JobDriverState::Gone;
}

} // namespace QzHost
