// A write that runs out of room half-way: the work runs in a forked child
// whose files may not grow beyond a few kilobytes (a file-size limit stands
// for a full disk; SIGXFSZ is ignored, so the write fails instead of killing
// the child). The child answers how the work ended.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace QzTest {

enum class WriteOutcome { Threw, Returned, Crashed };

inline WriteOutcome WriteWithFileSizeLimit(const std::function<void()>& write, rlim_t limitBytes = 4096)
{
    const pid_t child = ::fork();
    if (child < 0)
        return WriteOutcome::Crashed;
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {limitBytes, limitBytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int code = 1;
        try {
            write();
        } catch (...) {
            code = 0;
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return WriteOutcome::Crashed;
    return WEXITSTATUS(status) == 0 ? WriteOutcome::Threw
                                    : WEXITSTATUS(status) == 1 ? WriteOutcome::Returned : WriteOutcome::Crashed;
}

} // namespace QzTest
