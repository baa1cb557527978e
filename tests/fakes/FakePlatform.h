#pragma once

// What the fake drivers do differently on Windows and POSIX. Each fake library
// compiles its own copy (posix/, win32/).
#include <string>

namespace fake {

// An entry of the CUDA driver the process has loaded, whichever that is; null
// when none is loaded. Never loads one.
void* LoadedCudaDriverEntry(const char* entry);

// The file name (no folder) of the library that holds address, as the
// system's loader opened it.
std::string LibraryFileName(const void* address);

// Sets a Win32 event handed over by the library. Only Windows has them.
void SignalEvent(void* event);

} // namespace fake
