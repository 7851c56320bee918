#include "host/jobs/JobDriverNote.h"

#include "host/state/ProcessInfo.h"
#include "qorqm/ReplaceFile.h"
#include "com/regularfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
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

} // namespace

JobDriverNote::JobDriverNote(const std::string& resultsFolder, const std::string& seed, const std::string& serverFolder)
{
    if (resultsFolder.empty())
        return;
    const pid_t self = getpid();
    const std::string text = "pid " + std::to_string(self) + "\nstarted " + std::to_string(ProcessStartTime(self)) +
                             "\nmachine " + OneLine(MachineName()) + "\nseed " + OneLine(seed) + "\nserver " +
                             OneLine(serverFolder) + "\ncommand " + OneLine(ProcessCommand(self)) + "\n";
    if (ReplaceFileContents(NotePath(resultsFolder), text))
        m_path = NotePath(resultsFolder);
}

void JobDriverNote::Done()
{
    if (!m_path.empty())
        std::remove(m_path.c_str());
    m_path.clear();
}

bool ReadJobDriverNote(const std::string& resultsFolder, JobDriverRecord& record)
{
    std::string text;
    bool whole = false;
    std::string why;
    if (!RegularFile::ReadAtMost(NotePath(resultsFolder), NoteLimit, text, whole, why) || !whole)
        return false;

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
    return ProcessRuns(record.pid, record.started) ? JobDriverState::Running : JobDriverState::Gone;
}

} // namespace QzHost
