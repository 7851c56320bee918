// Running an engine command as a child process: the command runs through
// the shell in a working folder, in a process group of its own, with its
// standard input empty. Its standard output is handed over line by line as
// it comes; the last lines of its standard error are kept. A time limit
// stops the whole group (SIGTERM, then SIGKILL after a grace period).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace QzHost {

struct EngineProcessResult {
    bool started = false;      // the child process was made
    std::string startError;    // why it was not
    bool exited = false;       // ended by exit (exitStatus holds the status)
    int exitStatus = -1;
    int signal = 0;            // the signal that ended it (0: none)
    bool timedOut = false;     // stopped by the time limit
    // The last lines of standard error, each cut to its first 200
    // characters with control characters escaped (MessageText::Excerpt).
    std::vector<std::string> errorTail;
    bool Succeeded() const { return started && exited && exitStatus == 0 && !timedOut; }
    // "exited with status 3", "was stopped after the time limit of 2 s",
    // "ended by signal 9", "could not be started: ...".
    std::string Describe(double timeLimitSeconds) const;
};

// timeLimitSeconds <= 0: no limit. errorTailLines: how many lines of
// standard error to keep. onOutputLine is called on this thread for each
// line of standard output (without its line break, a trailing "\r"
// dropped); what it throws stops the process group and is thrown on.
EngineProcessResult RunEngineProcess(const std::string& command, const std::string& folder, double timeLimitSeconds,
                                     const std::function<void(const std::string&)>& onOutputLine,
                                     std::size_t errorTailLines = 10);

} // namespace QzHost
