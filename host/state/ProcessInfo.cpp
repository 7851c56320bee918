#include "host/state/ProcessInfo.h"

#include "com/regularfile.h"
#include "qorqm/MessageText.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

namespace QzHost {

std::string ReadSystemFile(const std::string& path, std::size_t limit)
{
    // Through the one opener and read loop of files: a system file is a
    // regular file of the system's own (its size says 0), read up to limit.
    std::string text;
    bool whole = false;
    std::string why;
    if (!RegularFile::ReadAtMost(path, limit, text, whole, why))
        text.clear();
    return text;
}

unsigned long long ProcessStartTime(pid_t pid) noexcept
{
    try {
        if (pid <= 0)
            return 0;
        // "PID (COMMAND) STATE ..." where COMMAND may hold blanks and
        // parentheses: the fields are counted after the last ")". The start
        // time is field 22, the 20th after the command.
        const std::string stat = ReadSystemFile("/proc/" + std::to_string(pid) + "/stat", 4096);
        std::size_t at = stat.rfind(')');
        if (at == std::string::npos)
            return 0;
        for (int field = 0; field < 20 && at != std::string::npos; ++field)
            at = stat.find(' ', at + 1);
        if (at == std::string::npos)
            return 0;
        return std::strtoull(stat.c_str() + at + 1, nullptr, 10);
    } catch (...) {
        return 0;
    }
}

bool ProcessRuns(pid_t pid, unsigned long long startTime) noexcept
{
    if (pid <= 0)
        return false;
    if (::kill(pid, 0) != 0 && errno != EPERM)
        return false;
    if (startTime == 0)
        return true;
    const unsigned long long now = ProcessStartTime(pid);
    // /proc that cannot be read says nothing against it.
    return now == 0 || now == startTime;
}

std::string ProcessCommand(pid_t pid)
{
    if (pid <= 0)
        return std::string();
    constexpr std::size_t limit = 4096;
    std::string words = ReadSystemFile("/proc/" + std::to_string(pid) + "/cmdline", limit);
    while (!words.empty() && words.back() == '\0')
        words.pop_back();
    for (char& c : words)
        if (c == '\0')
            c = ' ';
    return words.empty() ? std::string() : MessageText::Excerpt(words, 120);
}

std::string MachineName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

} // namespace QzHost
