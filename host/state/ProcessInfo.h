// What this machine tells about a process: whether it is still there (the
// same process, not a later one that was given its number) and what it runs.
// Everything is read from /proc, bounded; nothing here waits.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace QzHost {

// The start time of a process (clock ticks after boot, as /proc/PID/stat
// gives it): with its number it names one process for good, since numbers
// are given again once a process has ended. 0 when it is not known (no
// such process, or /proc cannot say).
unsigned long long ProcessStartTime(pid_t pid) noexcept;

// Whether the process numbered `pid` that started at `startTime` still
// runs (a stopped process still runs). A start time of 0 checks the number
// alone.
bool ProcessRuns(pid_t pid, unsigned long long startTime) noexcept;

// The command line of a process, its words joined by blanks, as a message
// may quote it (MessageText::Excerpt); "" when it is not known.
std::string ProcessCommand(pid_t pid);

// At most `limit` bytes of a file of the system's own (/proc), read
// without blocking ("" when it cannot be read).
std::string ReadSystemFile(const std::string& path, std::size_t limit);

// The name of this machine ("" when it cannot be told).
std::string MachineName();

} // namespace QzHost
