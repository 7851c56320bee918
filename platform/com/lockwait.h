// Waiting for an advisory lock (flock) that another process holds.
//
// Every lock a process takes (a project folder's, the user settings', the
// class registry's) waits through Take, so that all of them share one
// bound: QZ_LOCK_WAIT_SECONDS, a decimal number of seconds from 0 ("60",
// "0.5"; 0 does not wait), else DefaultSeconds. The bound is the process's
// (one command's) for all its waits together: a command that waits for two
// locks in turn gives up once the time it waited for both reaches it. Each
// wait is said once on standard error, naming the lock and its holder
// (no word when the bound left is 0: the command fails at once).
#pragma once

#include <string>

namespace LockWait {

inline constexpr double DefaultSeconds = 60;
inline constexpr const char* BoundVariable = "QZ_LOCK_WAIT_SECONDS";

// The bound that `text` gives (nullptr: the variable is not set, the
// default): false with the reason in `why` when it is no decimal number of
// seconds from 0 (a sign, an exponent, a hexadecimal number, a unit or an
// empty text are refused).
bool ParseBound(const char* text, double& seconds, std::string& why);

// The bound of this process's waits from the environment, as ParseBound.
bool Bound(double& seconds, std::string& why);

// "0.5 s", "60 s".
std::string SecondsText(double seconds);

// Who holds the flock of the file open as `fd`, as a message says it:
// "process 1234 (zelm-host types p/salt.qsd ...)", "process 1234" when its
// command cannot be read, "another process" when the holder cannot be told.
std::string Holder(int fd);

// The number of the process holding the flock of the file open as `fd`
// (not this process), 0 when none can be told.
long HolderProcess(int fd);

// The seconds this process has waited for locks so far.
double WaitedSeconds();

enum class Outcome {
    Held,     // the lock is this process's now
    GivenUp,  // another process held it past the bound: `holder` names it
    BadBound, // QZ_LOCK_WAIT_SECONDS is no bound: `why` says so
    Failed,   // the lock cannot be taken: `error` holds the system's reason
};

struct Result {
    Outcome outcome = Outcome::Failed;
    std::string holder; // GivenUp: the process given up on
    std::string why;    // BadBound: the reason
    int error = 0;      // Failed: errno
    double bound = 0;   // the bound of the process's waits
};

// Takes the exclusive flock of `fd`, waiting as long as the process's bound
// leaves. `what` names the lock in the line said when it has to wait:
// "waiting for the lock of WHAT, which HOLDER holds (giving up after N s)".
Result Take(int fd, const std::string& what);

// The failure of a wait given up, as the end of a sentence naming the lock:
// "is still locked by HOLDER after N s" (or "is locked by HOLDER, and
// QZ_LOCK_WAIT_SECONDS of 0 does not wait").
std::string GivenUpText(const Result& result);

} // namespace LockWait
