// The note a job's driver (the process that follows the job: it runs the
// engine, brings the results home and hands the job's completion to the
// job object) keeps in the job's results folder until the job's completion
// has been handed over. A note whose process is gone marks a run that was
// cut off before its results were brought in, whatever its live status
// last said.
//
// The driver holds an advisory lock (flock) on its note for as long as it
// follows the job, and the lock ends with the process. A note counts as
// running only while its lock is held, by the process the note names (its
// number and start time): a note that came with a received project, or that
// someone wrote naming a live process, is held by nobody and reads as a run
// whose driver is gone.
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
    bool held = false;              // its lock is held by the process it names
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
    // Lets the note's lock go; a note not Done stays (the run reads as stopped).
    ~JobDriverNote();
    JobDriverNote(const JobDriverNote&) = delete;
    JobDriverNote& operator=(const JobDriverNote&) = delete;
    // The job's completion has been handed over: the note goes.
    void Done();

private:
    std::string m_path;
    int m_fd = -1; // the note, its lock held
};

// The note of a results folder: false when there is none, or what stands
// there cannot be read as one (it is read bounded, without blocking, and
// never through a link). Tells whether its lock is held by the process it
// names (`held`).
bool ReadJobDriverNote(const std::string& resultsFolder, JobDriverRecord& record);
// Removes the note of a results folder (a run whose status was mended).
void RemoveJobDriverNote(const std::string& resultsFolder);

JobDriverState StateOf(const JobDriverRecord& record);

} // namespace QzHost
