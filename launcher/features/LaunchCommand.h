#pragma once
// What a press of Launch hands to the simulator, worked out from the launcher's
// selections alone so that it can be checked without starting anything.

#include <cstdint>
#include <string>

namespace Features {

struct LaunchCommand {
    std::string commandLine; // the catalogue's argument string, plus the result window in benchmark mode
    std::string handleText;  // benchmark mode: the result window's number as passed; else empty
    std::string resultName;  // benchmark mode: the heading of the coming result; else empty
};

// resultWindow is the result window's handle number, 0 when there is none.
LaunchCommand BuildLaunchCommand(bool benchmarkMode, int simulationIndex, int benchmarkIndex,
                                 std::uintptr_t resultWindow);

} // namespace Features
