#pragma once
// The few facts about its machine and its own file that the stand-in needs.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Neuroblitz {

// Physical memory in bytes; 0 when unknown.
std::uint64_t PhysicalMemory();

// The folder that holds the stand-in's own executable.
std::filesystem::path ProgramFolder();

// The command line exactly as the stand-in was given it, program name left out.
std::string OwnCommandLine(int argc, char** argv);

// The arguments, program name left out.
std::vector<std::string> OwnArguments(int argc, char** argv);

void SleepMilliseconds(unsigned milliseconds);

} // namespace Neuroblitz
