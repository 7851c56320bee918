// The note a job's driver leaves in the results folder and what it tells
// (the bound of a wait for a lock is met in the COM runtime's tests, a
// stopped holder in the driver's).
#include <gtest/gtest.h>

#include "common/TempFolder.h"
#include "host/jobs/JobDriverNote.h"
#include "host/state/ProcessInfo.h"
#include "host/state/ProjectLock.h"
#include "kelv/kelv.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using namespace QzHost;

// What a note tells: written notes read back and name this process as
// running; a note names a process that is gone once that process ended,
// or once its number was given to another; one of another machine is
// not judged here; what cannot be a note is none.
TEST(JobDriverNotes, ANoteNamesItsProcessAndAnythingElseIsNoNote)
{
    QzTest::TempFolder folder("driver-note");
    {
        JobDriverNote note(folder.Path(), "salt", "/srv/salt");
        JobDriverRecord record;
        ASSERT_TRUE(ReadJobDriverNote(folder.Path(), record));
        EXPECT_EQ(::getpid(), record.pid);
        EXPECT_EQ("salt", record.seed);
        EXPECT_EQ("/srv/salt", record.serverFolder);
        EXPECT_EQ(JobDriverState::Running, StateOf(record));
        note.Done();
        EXPECT_FALSE(ReadJobDriverNote(folder.Path(), record));
    }
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);

    const std::string self = std::to_string(::getpid());
    const std::string started = std::to_string(ProcessStartTime(::getpid()));
    const std::string machine = MachineName();
    const struct {
        const char* what;
        std::string text; // "" with fifo: a FIFO stands there
        bool fifo;
        bool note;
        JobDriverState state;
    } rows[] = {
        {"this process", "pid " + self + "\nstarted " + started + "\nmachine " + machine + "\n", false, true,
         JobDriverState::Running},
        {"a process that ended", "pid " + std::to_string(ended) + "\nmachine " + machine + "\n", false, true,
         JobDriverState::Gone},
        {"its number given again", "pid " + self + "\nstarted " + std::to_string(std::stoull(started) + 1) +
                                       "\nmachine " + machine + "\n",
         false, true, JobDriverState::Gone},
        {"another machine", "pid " + self + "\nmachine elsewhere-" + machine + "\n", false, true,
         JobDriverState::Elsewhere},
        {"no pid", "seed salt\n", false, false, JobDriverState::Gone},
        {"pid 0", "pid 0\n", false, false, JobDriverState::Gone},
        {"pid not a number", "pid 12x\n", false, false, JobDriverState::Gone},
        {"a huge file", "pid " + self + "\n" + std::string(20000, 'x') + "\n", false, false, JobDriverState::Gone},
        {"a FIFO", "", true, false, JobDriverState::Gone},
    };
    const std::string path = folder.File(JobDriverNoteName);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ::unlink(path.c_str());
        if (row.fifo) {
            ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600));
        } else {
            QzTest::WriteFile(path, row.text);
        }
        JobDriverRecord record;
        ASSERT_EQ(row.note, ReadJobDriverNote(folder.Path(), record));
        if (row.note) {
            EXPECT_EQ(row.state, StateOf(record));
        }
    }
}

} // namespace
