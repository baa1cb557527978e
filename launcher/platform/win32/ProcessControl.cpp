// The simulator as a child process on Windows: CreateProcessA in a console of
// its own, a monitor thread waiting on it, TerminateProcess on abort.
//
// Handle ownership: whoever takes a handle out of its slot closes it. The
// monitor clears a slot only while it still holds its own handle.

#include <windows.h>

#include <iostream>
#include <vector>

#include "Platform.h"

namespace Platform {

std::atomic<std::uintptr_t> childProcess{0};
std::atomic<std::uintptr_t> monitorThread{0};

namespace {

HANDLE AsHandle(std::uintptr_t slot) { return reinterpret_cast<HANDLE>(slot); }
std::uintptr_t AsSlot(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

constexpr int maximumWaits = 5;

// Each monitor gets its child's handle when it is created: the slot may already
// hold a later child by the time it runs.
DWORD WINAPI MonitorChildProcess(LPVOID child)
{
    const HANDLE process = static_cast<HANDLE>(child);
    if (process) {
        for (int wait = 0; wait < maximumWaits; ++wait) {
            if (WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0)
                break;
            const DWORD check = WaitForSingleObject(process, 0);
            if (check == WAIT_OBJECT_0)
                break;
            if (check != WAIT_TIMEOUT) {
                const DWORD error = GetLastError();
                std::wcout << L"Failed to check process existence with error: " << error << std::endl;
                break;
            }
        }
        std::uintptr_t own = AsSlot(process);
        if (childProcess.compare_exchange_strong(own, 0))
            CloseHandle(process);
    }

    // The launch stores this thread's handle only after creating it; if it is not
    // there yet, the launch clears it itself.
    std::uintptr_t self = monitorThread.load();
    if (self && GetThreadId(AsHandle(self)) == GetCurrentThreadId() && monitorThread.compare_exchange_strong(self, 0))
        CloseHandle(AsHandle(self));
    return 0;
}

} // namespace

void LaunchProcess(const char* program, const std::string& arguments)
{
    std::vector<char> commandLine(arguments.begin(), arguments.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    HANDLE process = nullptr;
    if (CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                       &startup, &created)) {
        CloseHandle(created.hThread);
        process = created.hProcess;
    }
    childProcess.store(AsSlot(process));
    if (!process)
        return;
    const HANDLE monitor = CreateThread(nullptr, 0, MonitorChildProcess, process, 0, nullptr);
    std::uintptr_t stored = AsSlot(monitor);
    monitorThread.store(stored);
    // A monitor that finished before its handle was stored could not clear it.
    if (monitor && childProcess.load() == 0 && monitorThread.compare_exchange_strong(stored, 0))
        CloseHandle(monitor);
}

void AbortProcess()
{
    const HANDLE process = AsHandle(childProcess.exchange(0));
    if (process)
        TerminateProcess(process, 0);

    // The monitor is not terminated: a thread killed while it holds a lock (the
    // loader's, at its start) hangs the launcher later. It wakes as the child
    // ends, finds the slot taken and ends; the process handle is closed only once
    // it can no longer be waiting on it.
    bool monitorGone = true;
    if (const HANDLE monitor = AsHandle(monitorThread.exchange(0))) {
        monitorGone = WaitForSingleObject(monitor, 1000) == WAIT_OBJECT_0;
        CloseHandle(monitor);
    }
    if (process && monitorGone)
        CloseHandle(process);
}

} // namespace Platform
