#include "host/jobs/EngineProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/jobs/EngineSettings.h"
#include "qorqm/MessageText.h"

namespace QzHost {

namespace {

using Clock = std::chrono::steady_clock;

std::string FormatSeconds(double seconds)
{
    std::string text = std::to_string(seconds);
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// Splits what arrived into lines; the rest waits for more.
template <class Sink>
void TakeLines(std::string& buffer, Sink&& sink)
{
    std::size_t start = 0;
    for (std::size_t end = buffer.find('\n'); end != std::string::npos; end = buffer.find('\n', start)) {
        std::string line = buffer.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        sink(line);
    }
    buffer.erase(0, start);
}

void StopGroup(pid_t pid)
{
    kill(-pid, SIGTERM);
    const Clock::time_point grace = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < grace) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || done < 0) {
            kill(-pid, SIGKILL); // what the leader left behind
            return;
        }
        usleep(20000);
    }
    kill(-pid, SIGKILL);
}

void CloseBoth(int fds[2])
{
    if (fds[0] >= 0)
        close(fds[0]);
    if (fds[1] >= 0)
        close(fds[1]);
}

} // namespace

std::string EngineProcessResult::Describe(double timeLimitSeconds) const
{
    if (!started)
        return "could not be started: " + startError;
    if (timedOut)
        return "was stopped after the time limit of " + FormatSeconds(timeLimitSeconds) + " s";
    if (exited)
        return "exited with status " + std::to_string(exitStatus);
    return "was ended by signal " + std::to_string(signal);
}

EngineProcessResult RunEngineProcess(const std::string& command, const std::string& folder, double timeLimitSeconds,
                                     const std::function<void(const std::string&)>& onOutputLine,
                                     std::size_t errorTailLines)
{
    EngineProcessResult result;
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        result.startError = std::strerror(errno);
        CloseBoth(out);
        CloseBoth(err);
        return result;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        result.startError = std::strerror(errno);
        CloseBoth(out);
        CloseBoth(err);
        return result;
    }
    if (pid == 0) {
        // The child: only async-signal-safe calls until exec.
        setpgid(0, 0);
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0)
            dup2(null, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (chdir(folder.c_str()) != 0) {
            const char message[] = "the engine's working folder cannot be entered\n";
            [[maybe_unused]] const ssize_t written = write(2, message, sizeof message - 1);
            _exit(126);
        }
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid); // the child does the same; whichever runs first wins
    result.started = true;
    close(out[1]);
    close(err[1]);

    // A NaN is no limit; a limit past what the clock can count is the
    // longest it can.
    const bool limited = timeLimitSeconds > 0;
    const double seconds = limited ? std::min(timeLimitSeconds, MaxTimeLimitSeconds) : 0.0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::string outBuffer;
    std::deque<std::string> tail;
    // Standard error is kept line by line as the start of each line (enough
    // for its excerpt) and its length, so that a huge line costs no memory.
    std::string errHead;
    std::size_t errLength = 0;
    const auto keepError = [&] {
        if (errLength == errHead.size() && !errHead.empty() && errHead.back() == '\r') {
            errHead.pop_back();
            --errLength;
        }
        tail.push_back(MessageText::Excerpt(errHead, MessageText::ExcerptLength, errLength));
        while (tail.size() > errorTailLines)
            tail.pop_front();
        errHead.clear();
        errLength = 0;
    };
    const auto takeError = [&](const char* bytes, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            if (bytes[k] == '\n') {
                keepError();
                continue;
            }
            ++errLength;
            if (errHead.size() < MessageText::ExcerptLength + 8)
                errHead.push_back(bytes[k]);
        }
    };

    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    try {
        while (open > 0) {
            int wait = -1;
            if (limited) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) {
                    result.timedOut = true;
                    break;
                }
                wait = static_cast<int>(std::min<long long>(left, 1000));
            }
            const int ready = poll(fds, 2, wait);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char chunk[4096];
                const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                    continue;
                }
                if (i == 0) {
                    outBuffer.append(chunk, static_cast<std::size_t>(got));
                    TakeLines(outBuffer, onOutputLine);
                } else {
                    takeError(chunk, static_cast<std::size_t>(got));
                }
            }
        }
    } catch (...) {
        StopGroup(pid);
        for (pollfd& fd : fds)
            if (fd.fd >= 0)
                close(fd.fd);
        int status = 0;
        waitpid(pid, &status, 0);
        throw;
    }
    if (result.timedOut)
        StopGroup(pid);
    for (pollfd& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    if (!result.timedOut) {
        if (!outBuffer.empty())
            onOutputLine(outBuffer);
        if (errLength > 0)
            keepError();
    }

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    if (result.timedOut)
        result.exited = false;
    result.errorTail.assign(tail.begin(), tail.end());
    return result;
}

} // namespace QzHost
