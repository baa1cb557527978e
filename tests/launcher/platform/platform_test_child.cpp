// A child program for the process-control and result-channel tests. Its first
// argument says what to do:
//   exit                                      end at once
//   sleep                                     run until killed, or until the
//                                             program that started it has ended
//   send <window> <message> <first> <count>   send count result messages, wParam
//                                             and lParam counting up from first

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <unistd.h>
#endif

#include "Platform.h"

namespace {

// A child left over by a test (Wine now and then lets one outlive its
// termination) would hold the test's output open and keep the test runner
// waiting; so it ends once its parent has.
[[noreturn]] void SleepWhileTheParentLives()
{
#ifdef _WIN32
    DWORD parentId = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parentId = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    const HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentId);
    for (;;)
        if (parent && WaitForSingleObject(parent, 1000) == WAIT_OBJECT_0)
            std::exit(0);
        else if (!parent)
            std::this_thread::sleep_for(std::chrono::seconds(1));
#else
    const pid_t parent = getppid();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (getppid() != parent)
            std::exit(0);
    }
#endif
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "sleep")
        SleepWhileTheParentLives();
    if (mode == "send" && argc == 6) {
        const std::uint64_t window = std::strtoull(argv[2], nullptr, 10);
        const auto message = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
        const std::uint64_t first = std::strtoull(argv[4], nullptr, 10);
        const std::uint64_t count = std::strtoull(argv[5], nullptr, 10);
        for (std::uint64_t i = 0; i < count; ++i)
            if (!Platform::SendResultMessage(window, message, first + i, first + i))
                return 1;
        return 0;
    }
    return mode == "exit" ? 0 : 2;
}
