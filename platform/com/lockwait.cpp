#include "com/lockwait.h"

#include "com/regularfile.h"
#include "qorqm/MessageText.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace LockWait {

namespace {

// Far past any wait a user means, and well inside what a clock adds.
constexpr double LargestSeconds = 1e9;

std::mutex& WaitedMutex()
{
    static std::mutex mutex;
    return mutex;
}

// The seconds this process has waited for locks so far.
double& Waited()
{
    static double waited = 0;
    return waited;
}

// Takes the lock without waiting: 0, or the errno of the failure
// (EWOULDBLOCK while another process holds it).
int TryLock(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

// A file of the system's own (/proc), at most `limit` bytes.
std::string SystemText(const std::string& path, std::size_t limit)
{
    std::string text;
    bool whole = false;
    std::string why;
    RegularFile::ReadAtMost(path, limit, text, whole, why);
    return text;
}

std::string CommandOf(long pid)
{
    std::string words = SystemText("/proc/" + std::to_string(pid) + "/cmdline", 4096);
    while (!words.empty() && words.back() == '\0')
        words.pop_back();
    std::replace(words.begin(), words.end(), '\0', ' ');
    return words.empty() ? std::string() : MessageText::Excerpt(words, 120);
}

} // namespace

bool ParseBound(const char* text, double& seconds, std::string& why)
{
    seconds = DefaultSeconds;
    if (text == nullptr)
        return true;
    const std::string value = text;
    // Digits with at most one decimal point among them, and a digit at
    // least: "60", "0.5", ".5", "2." are bounds; "-1", "1e3", "0x3",
    // "inf", "2s", " 2" and "" are not.
    std::size_t digits = 0;
    std::size_t points = 0;
    for (const char c : value) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
    }
    if (digits == 0 || points > 1 || digits + points != value.size()) {
        why = std::string(BoundVariable) + " is \"" + MessageText::Excerpt(value, 40) +
              "\", which is no bound of a wait for a lock: it takes a decimal number of seconds from 0 (such as 60 "
              "or 0.5; 0 does not wait)";
        return false;
    }
    // Only digits and a point: strtod reads all of it as a decimal number
    // (too many digits give infinity, too small a fraction 0 or near it).
    seconds = std::min(std::strtod(value.c_str(), nullptr), LargestSeconds);
    return true;
}

bool Bound(double& seconds, std::string& why)
{
    return ParseBound(std::getenv(BoundVariable), seconds, why);
}

std::string SecondsText(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str() + " s";
}

long HolderProcess(int fd)
{
    struct stat file = {};
    if (::fstat(fd, &file) != 0)
        return 0;
    // One line per lock: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF";
    // a waiter's lines read "1: -> FLOCK ..." and are no holders.
    const std::string table = SystemText("/proc/locks", 1 << 20);
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
        if (std::sscanf(line.c_str(), "%*d: %15s %15s %15s %ld %x:%x:%llu", kind, mode, access, &pid, &deviceMajor,
                        &deviceMinor, &inode) != 7)
            continue;
        if (std::strcmp(kind, "FLOCK") != 0 || inode != file.st_ino || deviceMajor != major(file.st_dev) ||
            deviceMinor != minor(file.st_dev) || pid <= 0 || pid == ::getpid())
            continue;
        return pid;
    }
    return 0;
}

std::string Holder(int fd)
{
    const long pid = HolderProcess(fd);
    if (pid == 0)
        return "another process";
    const std::string command = CommandOf(pid);
    return "process " + std::to_string(pid) + (command.empty() ? std::string() : " (" + command + ")");
}

double WaitedSeconds()
{
    const std::lock_guard<std::mutex> guard(WaitedMutex());
    return Waited();
}

Result Take(int fd, const std::string& what)
{
    Result result;
    if (!Bound(result.bound, result.why)) {
        result.outcome = Outcome::BadBound;
        return result;
    }
    int error = TryLock(fd);
    if (error == 0) {
        result.outcome = Outcome::Held;
        return result;
    }
    if (error != EWOULDBLOCK) {
        result.error = error;
        return result;
    }
    double left = 0;
    {
        const std::lock_guard<std::mutex> guard(WaitedMutex());
        left = std::max(0.0, result.bound - Waited());
    }
    if (left <= 0) {
        result.holder = Holder(fd);
        result.outcome = Outcome::GivenUp;
        return result;
    }
    // One write, so that the lines of several waiting processes stay whole.
    std::cerr << ("waiting for the lock of " + what + ", which " + Holder(fd) + " holds (giving up after " +
                  SecondsText(left) + ")\n")
              << std::flush;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(left));
    auto pause = std::chrono::milliseconds(5);
    while ((error = TryLock(fd)) == EWOULDBLOCK) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            break;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
    {
        const std::lock_guard<std::mutex> guard(WaitedMutex());
        Waited() += std::chrono::duration<double>(Clock::now() - start).count();
    }
    if (error == 0) {
        result.outcome = Outcome::Held;
    } else if (error == EWOULDBLOCK) {
        result.holder = Holder(fd); // the one it gave up on
        result.outcome = Outcome::GivenUp;
    } else {
        result.error = error;
    }
    return result;
}

std::string GivenUpText(const Result& result)
{
    if (result.bound <= 0)
        return "is locked by " + result.holder + ", and " + BoundVariable + " of 0 does not wait";
    return "is still locked by " + result.holder + " after " + SecondsText(result.bound);
}

} // namespace LockWait
