// The bound of the waits for locks, and its being one for all of them.
#include <gtest/gtest.h>

#include "com/lockwait.h"
#include "common/LockHolder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace
{
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

TEST(LockWaitBound, ADecimalNumberOfSecondsFromZeroIsABoundAndAnythingElseIsRefusedByName)
{
    const std::string tiny = "0." + std::string(400, '0') + "1";
    const struct
    {
        const char* text; // nullptr: not set
        bool bound;
        double seconds;
    } rows[] = {
        {nullptr, true, 60}, {"2", true, 2},        {"0.25", true, 0.25}, {"0", true, 0},     {".5", true, 0.5},
        {"2.", true, 2},     {"007", true, 7},      {"1e9999999", false, 0}, {"", false, 0},         {"abc", false, 0},
        {"-1", false, 0},       {"+1", false, 0},         {"nan", false, 0},       {"inf", false, 0},      {"1e400", false, 0},
        {"1e3", false, 0},      {"2s", false, 0},         {"0x3", false, 0},       {" 2", false, 0},       {"2 ", false, 0},
        {"1.2.3", false, 0},    {".", false, 0},          {"\x1b[2J", false, 0},
        {"99999999999999999999999999999", true, 1e9},
        {tiny.c_str(), true, 0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.text ? row.text : "(not set)");
        double seconds = -1;
        std::string why;
        ASSERT_EQ(row.bound, LockWait::ParseBound(row.text, seconds, why)) << why;
        if (row.bound)
        {
            EXPECT_EQ(row.seconds, seconds);
            continue;
        }
        EXPECT_EQ(0u, why.find("QZ_LOCK_WAIT_SECONDS is \"")) << why;
        EXPECT_NE(std::string::npos, why.find("decimal number of seconds from 0")) << why;
        EXPECT_EQ(std::string::npos, why.find('\x1b')) << why;
    }
}

// Two locks held by one process: the bound is the command's for both waits
// together, each wait is said once naming its lock, and a bound of 0 says
// nothing and fails at once; the holder is named as it gives up.
TEST(LockWaitBound, OneBoundServesEveryWaitOfAProcessAndEachWaitIsSaidOnceByItsLocksName)
{
    const fs::path folder = fs::temp_directory_path() / ("qz-lockwait-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string first = (folder / "first.lock").string();
    const std::string second = (folder / "second.lock").string();
    const pid_t holder = QzTest::HoldFlocks({first, second});
    ASSERT_GT(holder, 0);
    const int a = ::open(first.c_str(), O_RDWR | O_CLOEXEC);
    const int b = ::open(second.c_str(), O_RDWR | O_CLOEXEC);

    ::setenv("QZ_LOCK_WAIT_SECONDS", "0", 1);
    testing::internal::CaptureStderr();
    LockWait::Result none = LockWait::Take(a, "the first lock");
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(LockWait::Outcome::GivenUp, none.outcome);
    const std::string refused = LockWait::GivenUpText(none);
    EXPECT_EQ(0u, refused.find("is locked by process " + std::to_string(holder) + " (")) << refused;
    EXPECT_NE(std::string::npos, refused.find("), and QZ_LOCK_WAIT_SECONDS of 0 does not wait")) << refused;

    // 0.4 s beyond what the process waited before this test.
    ::setenv("QZ_LOCK_WAIT_SECONDS", std::to_string(LockWait::WaitedSeconds() + 0.4).c_str(), 1);
    testing::internal::CaptureStderr();
    const Clock::time_point start = Clock::now();
    const LockWait::Result one = LockWait::Take(a, "the first lock");
    const LockWait::Result two = LockWait::Take(b, "the second lock");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(LockWait::Outcome::GivenUp, one.outcome);
    EXPECT_EQ(LockWait::Outcome::GivenUp, two.outcome);
    EXPECT_GE(seconds, 0.35);
    EXPECT_LT(seconds, 0.8) << "a bound for each lock";
    EXPECT_EQ(0u, said.find("waiting for the lock of the first lock, which process " + std::to_string(holder)))
        << said;
    EXPECT_EQ(std::string::npos, said.find("second lock")) << "no time was left for it\n" << said;
    EXPECT_NE(std::string::npos, LockWait::GivenUpText(two).find("is still locked by process " +
                                                                 std::to_string(holder) + " ("))
        << LockWait::GivenUpText(two);

    ::setenv("QZ_LOCK_WAIT_SECONDS", "1x", 1);
    EXPECT_EQ(LockWait::Outcome::BadBound, LockWait::Take(a, "the first lock").outcome);

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::setenv("QZ_LOCK_WAIT_SECONDS", "0", 1);
    EXPECT_EQ(LockWait::Outcome::Held, LockWait::Take(a, "the first lock").outcome);
    ::unsetenv("QZ_LOCK_WAIT_SECONDS");
    ::close(a);
    ::close(b);
    fs::remove_all(folder);
}

} // namespace
