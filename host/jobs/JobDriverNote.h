// The note a job's driver (the process that follows the job: it runs the
// engine, brings the results home and hands the job's completion to the
// job object) keeps in the job's results folder until the job's completion
// has been handed over. A note whose process is gone marks a run that was
// cut off before its results were brought in, whatever its live status
// last said.
#pragma once

#include <string>
#include <sys/types.h>

namespace QzHost {

// The note's file name in the results folder.
inline constexpr const char* JobDriverNoteName = ".job-driver";

struct JobDriverRecord {
    pid_t pid = 0;
    unsigned long long started = 0; // the process's start time (ProcessStartTime)
    std::string machine;            // where it ran
    std::string seed;               // the job's task prefix
    std::string serverFolder;       // where the engine wrote its files
    std::string command;            // what the process ran (an excerpt)
};

enum class JobDriverState {
    Running,   // the process still follows the job (it may be stopped)
    Gone,      // it ended before the job's completion was handed over
    Elsewhere, // it ran on another machine: this one cannot tell
};

// Written when the driver starts following the job; removed by Done. A note
// that cannot be written is left out (the run goes on without it).
class JobDriverNote {
public:
    JobDriverNote(const std::string& resultsFolder, const std::string& seed, const std::string& serverFolder);
    // The job's completion has been handed over: the note goes.
    void Done();

private:
    std::string m_path;
};

// The note of a results folder: false when there is none, or what stands
// there cannot be read as one (it is read bounded, without blocking).
bool ReadJobDriverNote(const std::string& resultsFolder, JobDriverRecord& record);
// Removes the note of a results folder (a run whose status was mended).
void RemoveJobDriverNote(const std::string& resultsFolder);

JobDriverState StateOf(const JobDriverRecord& record);

} // namespace QzHost
