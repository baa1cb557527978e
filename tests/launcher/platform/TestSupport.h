#pragma once
// What the platform tests observe about their own process.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace TestSupport {

// The child program beside the tests, and a file there that is no program.
std::string ChildProgram();
std::string NotAProgram();

int ThreadCount();
int HandleCount(); // open descriptors on Linux, handles on Windows
int LiveChildCount(); // children not yet ended, zombies included on Linux
std::string LiveChildNames(); // their program names, for the text of a failed check

// How long a test waits for what must come about: long, since a wait costs
// nothing when it goes well, and a loaded machine (Wine starting and ending
// processes through its server) can take seconds.
constexpr std::chrono::seconds eventually{60};

// How long a loaded machine may keep a thread that could run off the processor.
// CI runs two tests at once, under sanitizers, while Mesa's llvmpipe renders on
// every core, and under Wine each wait is a round trip to its server. A bound on
// how long a call takes is what the code allows plus this, never less.
constexpr std::chrono::milliseconds schedulingAllowance{500};

// The middle of a set of durations (sorted in place).
std::chrono::steady_clock::duration Median(std::vector<std::chrono::steady_clock::duration>& durations);

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

} // namespace TestSupport
