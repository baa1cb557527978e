#include "LaunchCommand.h"

#include <cstdio>

#include "WorkloadCatalogue.h"

namespace Features {

LaunchCommand BuildLaunchCommand(bool benchmarkMode, int simulationIndex, int benchmarkIndex,
                                 std::uintptr_t resultWindow)
{
    namespace catalogue = WorkloadCatalogue;
    LaunchCommand command;
    if (!benchmarkMode) {
        command.commandLine = catalogue::simulationArguments[simulationIndex];
        return command;
    }
    char number[128];
    std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(resultWindow));
    command.handleText = number;
    command.resultName = catalogue::benchmarkShortNames[benchmarkIndex];
    command.commandLine = catalogue::benchmarkArguments[benchmarkIndex];
    command.commandLine += " -fripipe ";
    command.commandLine += command.handleText;
    return command;
}

} // namespace Features
