// The note a job's driver leaves in the results folder and what it tells
// (the bound of a wait for a lock is met in the COM runtime's tests, a
// stopped holder in the driver's).
#include <gtest/gtest.h>

#include "common/LockHolder.h"
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

// What a note tells: a note its driver writes reads back and is running
// while the driver holds it; a note only names a process, so one that
// nobody holds is gone whatever live process it names (this very one too:
// a note received with a project, or written by hand), and so is one held
// by another process than it names; one of another machine is not judged
// here; what cannot be a note is none.
TEST(JobDriverNotes, ANoteIsRunningOnlyWhileTheProcessItNamesHoldsItAndAnythingElseIsNoNote)
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
    {
        // A driver that ends without Done leaves its note, held by nobody.
        { JobDriverNote note(folder.Path(), "salt", "/srv/salt"); }
        JobDriverRecord record;
        ASSERT_TRUE(ReadJobDriverNote(folder.Path(), record));
        EXPECT_EQ(JobDriverState::Gone, StateOf(record));
    }
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);

    const std::string self = std::to_string(::getpid());
    const std::string started = std::to_string(ProcessStartTime(::getpid()));
    const std::string machine = MachineName();
    const std::string named = "pid " + self + "\nstarted " + started + "\nmachine " + machine + "\n";
    enum Stands { Text, Fifo, HeldByAnother, Link };
    const struct {
        const char* what;
        std::string text;
        Stands stands;
        bool note;
        JobDriverState state;
    } rows[] = {
        {"this process, held by nobody", named, Text, true, JobDriverState::Gone},
        {"this process, held by another", named, HeldByAnother, true, JobDriverState::Gone},
        {"a process that ended", "pid " + std::to_string(ended) + "\nmachine " + machine + "\n", Text, true,
         JobDriverState::Gone},
        {"its number given again", "pid " + self + "\nstarted " + std::to_string(std::stoull(started) + 1) +
                                       "\nmachine " + machine + "\n",
         Text, true, JobDriverState::Gone},
        {"another machine", "pid " + self + "\nmachine elsewhere-" + machine + "\n", Text, true,
         JobDriverState::Elsewhere},
        {"no pid", "seed salt\n", Text, false, JobDriverState::Gone},
        {"pid 0", "pid 0\n", Text, false, JobDriverState::Gone},
        {"pid not a number", "pid 12x\n", Text, false, JobDriverState::Gone},
        {"a huge file", "pid " + self + "\n" + std::string(20000, 'x') + "\n", Text, false, JobDriverState::Gone},
        {"a FIFO", "", Fifo, false, JobDriverState::Gone},
        {"a link to a note", named, Link, true, JobDriverState::Gone},
    };
    const std::string path = folder.File(JobDriverNoteName);
    const std::string target = folder.File("elsewhere-note");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ::unlink(path.c_str());
        pid_t holder = -1;
        if (row.stands == Fifo) {
            ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600));
        } else if (row.stands == Link) {
            QzTest::WriteFile(target, row.text);
            ASSERT_EQ(0, ::symlink(target.c_str(), path.c_str()));
        } else {
            QzTest::WriteFile(path, row.text);
        }
        if (row.stands == HeldByAnother) {
            holder = QzTest::HoldFlocks({path}, O_RDONLY);
            ASSERT_GT(holder, 0);
        }
        JobDriverRecord record;
        const bool read = ReadJobDriverNote(folder.Path(), record);
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
        ASSERT_EQ(row.note, read);
        if (row.note) {
            EXPECT_EQ(row.state, StateOf(record));
        }
    }
}

} // namespace
