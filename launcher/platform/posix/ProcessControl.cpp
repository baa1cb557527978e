// The simulator as a child process on Linux: spawned in a session of its own,
// watched by a detached monitor thread, killed on abort.

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <iostream>
#include <thread>
#include <vector>

#include "Platform.h"

extern char** environ;

namespace Platform {

std::atomic<std::uintptr_t> childProcess{0};
std::atomic<std::uintptr_t> monitorThread{0};

namespace {

// Aborts between taking a pid out of its slot and signalling it. A monitor reaps
// only when none is in flight, so an abort's pid always still names its child
// (running, or a zombie nobody has reaped) when the signal is sent.
std::atomic<int> abortsInFlight{0};

std::vector<std::string> SplitAtBlanks(const std::string& text)
{
    std::vector<std::string> words;
    std::string::size_type start = 0;
    while ((start = text.find_first_not_of(' ', start)) != std::string::npos) {
        const std::string::size_type end = text.find(' ', start);
        words.push_back(text.substr(start, end - start));
        start = end;
    }
    return words;
}

// The child's pid comes as the argument, so the monitor reaps its own child even
// when an abort has already cleared the slot: no zombie is ever left.
void* MonitorChildProcess(void* argument)
{
    const pid_t child = static_cast<pid_t>(reinterpret_cast<std::intptr_t>(argument));

    // Wait without reaping: until the slots are settled the pid cannot be reused,
    // so a late monitor can never clear a newer child.
    siginfo_t info{};
    int waited;
    do {
        waited = waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
    } while (waited == -1 && errno == EINTR);
    if (waited == -1)
        std::wcout << L"Failed to check process existence with error: " << errno << std::endl;

    std::uintptr_t own = static_cast<std::uintptr_t>(child);
    childProcess.compare_exchange_strong(own, 0);
    std::uintptr_t self = static_cast<std::uintptr_t>(pthread_self());
    monitorThread.compare_exchange_strong(self, 0);

    while (abortsInFlight.load() > 0)
        std::this_thread::yield();
    while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
    }
    return nullptr;
}

} // namespace

void LaunchProcess(const char* program, const std::string& arguments)
{
    std::vector<std::string> words = SplitAtBlanks(arguments);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program));
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program, nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        childProcess.store(0);
        return;
    }
    childProcess.store(static_cast<std::uintptr_t>(child));

    pthread_attr_t threadAttributes;
    pthread_attr_init(&threadAttributes);
    pthread_attr_setdetachstate(&threadAttributes, PTHREAD_CREATE_DETACHED);
    pthread_t monitor;
    if (pthread_create(&monitor, &threadAttributes, MonitorChildProcess,
                       reinterpret_cast<void*>(static_cast<std::intptr_t>(child))) == 0) {
        std::uintptr_t stored = static_cast<std::uintptr_t>(monitor);
        monitorThread.store(stored);
        // A monitor that finished before its id was stored could not clear it.
        if (childProcess.load() == 0)
            monitorThread.compare_exchange_strong(stored, 0);
    }
    pthread_attr_destroy(&threadAttributes);
}

void AbortProcess()
{
    abortsInFlight.fetch_add(1);
    const pid_t child = static_cast<pid_t>(childProcess.exchange(0));
    const bool monitored = monitorThread.exchange(0) != 0;
    if (child > 0)
        kill(child, SIGKILL);
    abortsInFlight.fetch_sub(1);
    if (child <= 0)
        return;
    // Without a monitor nobody else reaps it.
    if (!monitored)
        while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
        }
}

} // namespace Platform
