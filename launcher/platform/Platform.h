#pragma once
// The launcher's platform layer. Everything above it is shared by Windows and
// Linux and never includes <windows.h>; win32/ and posix/ implement it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace Platform {

// ---- Frame: settings folder, files, start-up services -------------------------

// The per-user local application data folder (FOLDERID_LocalAppData on Windows,
// $XDG_DATA_HOME or $HOME/.local/share on Linux); empty when it cannot be found.
std::filesystem::path LocalDataFolder();

// Reads a whole regular file in binary mode through the system's wide-character
// interfaces. False when it cannot be opened or read, is not a regular file, or
// holds more than maxBytes; bytes is then left as it was.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes = SIZE_MAX);

// Writes bytes beside the file, then replaces the file with them, so the file is
// either the old one or the new one, never half-written. False on any failure,
// in which case the old file is left as it was.
bool ReplaceFileContents(const std::filesystem::path& file, const std::string& bytes);

// The path in UTF-8, the encoding Dear ImGui expects for file names.
std::string PathToUtf8(const std::filesystem::path& path);

// MessageBoxA(no owner, text, caption, MB_ICONERROR) on Windows; the text on
// standard error on Linux.
void ShowErrorBox(const char* text, const char* caption);

// CoInitializeEx(null, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) and
// CoUninitialize on Windows; nothing on Linux.
void InitializeCom();
void UninitializeCom();

// Keeps the game-controller library that the window system loaded (XInput, on
// Windows) in memory until the process ends; nothing on Linux. The window system
// unloads it when it shuts down, and Wine's XInput can then still be running its
// device thread inside it: the program crashed on its way out.
void KeepControllerLibraryLoaded();

} // namespace Platform

// ---- Simulator process and benchmark result channel ----------------------------

#include <atomic>
#include <cstdint>

namespace Platform {

// Process-wide slots; 0 means none. On Windows they hold handles; on Linux the
// child's pid, the threads' pthread_t and the result window's number.
extern std::atomic<std::uintptr_t> childProcess;  // set while a simulator runs
extern std::atomic<std::uintptr_t> monitorThread; // the thread waiting for that child
extern std::atomic<std::uintptr_t> resultThread;  // the thread that owns the result window
extern std::atomic<std::uintptr_t> resultWindow;  // where a benchmark run sends its result

// The simulator beside the launcher, started from the current directory.
#ifdef _WIN32
inline constexpr const char* simulatorProgram = "Neuroblitz64.exe";
#else
inline constexpr const char* simulatorProgram = "./Neuroblitz64";
#endif

// Starts program with the argument text (which begins with a blank) in a console
// or session of its own, and a monitor thread that clears the slots when it ends.
// Success shows in childProcess; a failure leaves it 0 and says nothing.
void LaunchProcess(const char* program, const std::string& arguments);
// Ends the running child at once and clears both process slots.
void AbortProcess();

// The result message: wParam carries the real-time factor in thousandths and
// lParam the build time in milliseconds, each in its low 32 bits.
inline constexpr std::uint32_t resultMessage = 1035;
using ResultHandler = void (*)(std::uint64_t wParam, std::uint64_t lParam);

// Starts the result thread, which creates the result window and calls handler
// for each result message that reaches it.
void StartResultChannel(ResultHandler handler);
// Destroys the result window and waits at most about 100 ms for its thread.
void StopResultChannel();

// Delivers one message to the result window with that number, as a simulator
// does. True when it was delivered.
bool SendResultMessage(std::uint64_t window, std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam);

} // namespace Platform
