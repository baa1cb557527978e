#include "HostInfo.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

namespace Neuroblitz {

std::uint64_t PhysicalMemory()
{
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) : 0;
#endif
}

std::filesystem::path ProgramFolder()
{
#ifdef _WIN32
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    return std::filesystem::path(std::wstring(path, length)).parent_path();
#else
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
#endif
}

std::string OwnCommandLine(int argc, char** argv)
{
#ifdef _WIN32
    (void)argc;
    (void)argv;
    // Started with an application name, the command line holds only the arguments.
    return GetCommandLineA();
#else
    // The launcher split its text at blanks; joined again it reads as given.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    return line;
#endif
}

std::vector<std::string> OwnArguments(int argc, char** argv)
{
#ifdef _WIN32
    // The runtime would take the first option for the program name, so the words
    // come from the command line itself; a leading program name is dropped.
    (void)argc;
    (void)argv;
    std::vector<std::string> words;
    const std::string line = GetCommandLineA();
    std::string::size_type start = 0;
    while ((start = line.find_first_not_of(' ', start)) != std::string::npos) {
        const std::string::size_type end = line.find(' ', start);
        words.push_back(line.substr(start, end - start));
        start = end;
    }
    if (!words.empty() && words.front().front() != '-')
        words.erase(words.begin());
    return words;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

void SleepMilliseconds(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

} // namespace Neuroblitz
