// The engine's last error lines are kept short and harmless: a 5 MB line of
// standard error (with a terminal escape code) comes back as its first 200
// characters, escaped, with the number left out.
#include "host/jobs/EngineProcess.h"

#include <gtest/gtest.h>

#include <string>

TEST(EngineErrorLines, EachLineIsCutAndEscaped)
{
    const QzHost::EngineProcessResult errors = QzHost::RunEngineProcess(
        "(printf 'first\\r\\n'; printf '\\033[2J'; head -c 5000000 /dev/zero | tr '\\0' x; printf '\\nlast') >&2; exit 3",
        ".", 0, [](const std::string&) {});
    ASSERT_TRUE(errors.started);
    EXPECT_EQ(errors.exitStatus, 3);
    ASSERT_EQ(errors.errorTail.size(), 3u);
    EXPECT_EQ(errors.errorTail[0], "first");
    // The escape takes four of the excerpt's 200 bytes.
    EXPECT_EQ(errors.errorTail[1], "\\x1b[2J" + std::string(193, 'x') + "... (4999807 more characters)");
    EXPECT_EQ(errors.errorTail[2], "last");
}

// A time limit past what the clock can count (1e10 s overflowed its signed
// nanoseconds, and the run was stopped at once) is the longest it can count.
TEST(EngineTimeLimit, AVeryLongLimitLetsTheRunFinish)
{
    const QzHost::EngineProcessResult run =
        QzHost::RunEngineProcess("exit 0", ".", 1e10, [](const std::string&) {});
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitStatus, 0);
}
