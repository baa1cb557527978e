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

} // namespace Platform
