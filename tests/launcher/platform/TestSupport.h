#pragma once
// What the platform tests observe about their own process.

#include <chrono>
#include <functional>
#include <string>

namespace TestSupport {

// The child program beside the tests, and a file there that is no program.
std::string ChildProgram();
std::string NotAProgram();

int ThreadCount();
int HandleCount(); // open descriptors on Linux, handles on Windows
int LiveChildCount(); // children not yet ended, zombies included on Linux

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

} // namespace TestSupport
