#pragma once

// Loading of the NVIDIA driver libraries by name at run time, so the library
// itself loads on machines without them.
namespace vidlane2 {

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
