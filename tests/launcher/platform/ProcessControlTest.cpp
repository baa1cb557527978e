// Launch, abort and the monitor, driven directly with a small child program.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Platform.h"
#include "TestSupport.h"

using namespace std::chrono_literals;
using namespace TestSupport;

namespace {

bool Idle() { return Platform::childProcess.load() == 0 && Platform::monitorThread.load() == 0; }

class ProcessControl : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (Platform::childProcess.load())
            Platform::AbortProcess();
        EXPECT_TRUE(WaitUntil(Idle, 5s));
    }
};

TEST_F(ProcessControl, ChildThatEndsAtOnceLeavesBothSlotsClear)
{
    Platform::LaunchProcess(ChildProgram().c_str(), " exit");
    EXPECT_TRUE(WaitUntil(Idle, 5s));
    EXPECT_TRUE(WaitUntil([] { return LiveChildCount() == 0; }, 5s));
}

TEST_F(ProcessControl, ChildThatNeverEndsRunsUntilAborted)
{
    Platform::LaunchProcess(ChildProgram().c_str(), " sleep");
    ASSERT_NE(Platform::childProcess.load(), 0u);
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(Platform::childProcess.load(), 0u);
    EXPECT_EQ(LiveChildCount(), 1);

    Platform::AbortProcess();
    EXPECT_TRUE(Idle()); // at once, in the aborting call
    EXPECT_TRUE(WaitUntil([] { return LiveChildCount() == 0; }, 5s));
}

TEST_F(ProcessControl, ProgramThatCannotStartLeavesTheLauncherIdle)
{
    for (const std::string& program : {NotAProgram(), std::string("no_such_program")}) {
        SCOPED_TRACE(program);
        Platform::LaunchProcess(program.c_str(), " sleep");
        EXPECT_TRUE(Idle());
    }
    Platform::AbortProcess(); // Stop while idle changes nothing
    EXPECT_TRUE(Idle());
}

TEST_F(ProcessControl, TwoHundredLaunchAbortCyclesLeaveNothingBehind)
{
    // One warm-up round, so that lazily created system objects count as the baseline.
    Platform::LaunchProcess(ChildProgram().c_str(), " sleep");
    Platform::AbortProcess();
    ASSERT_TRUE(WaitUntil([] { return LiveChildCount() == 0; }, 5s));
    const int threads = ThreadCount();
    ASSERT_TRUE(WaitUntil([&] { return ThreadCount() <= threads; }, 5s));
    const int handles = HandleCount();

    auto slowest = std::chrono::steady_clock::duration::zero();
    for (int cycle = 0; cycle < 200; ++cycle) {
        const auto start = std::chrono::steady_clock::now();
        Platform::LaunchProcess(ChildProgram().c_str(), " sleep");
        ASSERT_NE(Platform::childProcess.load(), 0u) << "cycle " << cycle;
        Platform::AbortProcess();
        ASSERT_TRUE(Idle()) << "cycle " << cycle;
        slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
    }

    EXPECT_LT(slowest, 1s) << "a launch and abort kept the UI thread that long";
    EXPECT_TRUE(WaitUntil([] { return LiveChildCount() == 0; }, 10s)) << LiveChildCount() << " children left";
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threads; }, 10s)) << ThreadCount() << " threads, " << threads << " before";
    EXPECT_TRUE(WaitUntil([&] { return HandleCount() <= handles + 2; }, 5s)) << HandleCount() << " handles, " << handles << " before";
}

} // namespace
