#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

namespace TestSupport {

std::string ChildProgram()
{
#ifdef _WIN32
    return "platform_test_child.exe";
#else
    return "./platform_test_child";
#endif
}

std::string NotAProgram()
{
#ifdef _WIN32
    const std::string name = "not_a_program.exe";
#else
    const std::string name = "./not_a_program";
#endif
    std::ofstream(name) << "just text\n";
    return name;
}

#ifdef _WIN32

namespace {

template <typename Entry, typename First, typename Next, typename Match>
int CountSnapshot(DWORD kind, First first, Next next, Match match)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(kind, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    Entry entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry))
        count += match(entry) ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

} // namespace

int ThreadCount()
{
    const DWORD self = GetCurrentProcessId();
    return CountSnapshot<THREADENTRY32>(TH32CS_SNAPTHREAD, Thread32First, Thread32Next,
                                        [&](const THREADENTRY32& e) { return e.th32OwnerProcessID == self; });
}

int HandleCount()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return static_cast<int>(count);
}

namespace {

// A process names its parent by id alone, and a freed id goes to the next
// process: one that began before this one is the child of an earlier holder of
// this id, never ours (seen under Wine: "children left: services.exe").
bool BeganAfterThisProcess(DWORD id)
{
    FILETIME ownStart, start, unused1, unused2, unused3;
    GetProcessTimes(GetCurrentProcess(), &ownStart, &unused1, &unused2, &unused3);
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return true; // cannot tell: counted
    const bool after = !GetProcessTimes(process, &start, &unused1, &unused2, &unused3) ||
                       CompareFileTime(&start, &ownStart) >= 0;
    CloseHandle(process);
    return after;
}

std::vector<std::string> LiveChildren()
{
    // Not the console host that Wine starts beside a child given a console of its
    // own: it ends in its own time, and on a loaded machine one whose child ended
    // before it was up was seen to stay for minutes. It is not the child.
    const DWORD self = GetCurrentProcessId();
    std::vector<std::string> children;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return {"(no process snapshot)"};
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == self && lstrcmpiA(entry.szExeFile, "conhost.exe") != 0 &&
            BeganAfterThisProcess(entry.th32ProcessID))
            children.push_back(entry.szExeFile);
    CloseHandle(snapshot);
    return children;
}

} // namespace

#else

namespace {

int CountEntries(const char* folder)
{
    int count = 0;
    if (DIR* dir = opendir(folder)) {
        while (const dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.' ? 1 : 0;
        closedir(dir);
    }
    return count;
}

} // namespace

int ThreadCount() { return CountEntries("/proc/self/task"); }
int HandleCount() { return CountEntries("/proc/self/fd") - 1; } // less the one that lists them

namespace {

std::vector<std::string> LiveChildren()
{
    // Every process whose parent is this one, zombies included.
    const std::string self = std::to_string(getpid());
    std::vector<std::string> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const std::string::size_type open = line.find('(');
        const std::string::size_type close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open)
            continue;
        char state = 0;
        std::string parent;
        std::istringstream fields(line.substr(close + 2));
        fields >> state >> parent;
        if (parent == self)
            children.push_back(line.substr(open + 1, close - open - 1));
    }
    return children;
}

} // namespace

#endif

int LiveChildCount()
{
    return static_cast<int>(LiveChildren().size());
}

std::string LiveChildNames()
{
    std::string names;
    for (const std::string& name : LiveChildren())
        names += (names.empty() ? "" : ", ") + name;
    return names.empty() ? "none" : names;
}

std::chrono::steady_clock::duration Median(std::vector<std::chrono::steady_clock::duration>& durations)
{
    std::sort(durations.begin(), durations.end());
    return durations.empty() ? std::chrono::steady_clock::duration::zero() : durations[durations.size() / 2];
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace TestSupport
