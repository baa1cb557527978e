#pragma once

// Loading of the NVIDIA driver libraries by name at run time, so the library
// itself loads on machines without them. One implementation per platform
// (posix/, win32/); nothing else in the library knows which one it runs on.
namespace vidlane2 {

// The driver libraries' file names on this platform.
extern const char* const kCudaDriverLibrary;
extern const char* const kNvdecLibrary;
extern const char* const kNvencLibrary;

// Null when the library cannot be loaded. Loaded libraries are never unloaded.
void* OpenDynamicLibrary(const char* name);

// Null when the library or the entry is missing.
void* FindLibraryEntry(void* library, const char* name);

// Resolves an entry straight into a typed function pointer.
template <typename Fn>
void FindLibraryEntry(void* library, const char* name, Fn*& entry)
{
    entry = reinterpret_cast<Fn*>(FindLibraryEntry(library, name));
}

} // namespace vidlane2
