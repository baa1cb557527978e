#include "base/DynamicLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vidlane2 {

#ifdef _WIN32

void* OpenDynamicLibrary(const char* name)
{
    return reinterpret_cast<void*>(LoadLibraryA(name));
}

void* FindLibraryEntry(void* library, const char* name)
{
    if (!library)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

#else

void* OpenDynamicLibrary(const char* name)
{
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* FindLibraryEntry(void* library, const char* name)
{
    if (!library)
        return nullptr;
    return dlsym(library, name);
}

#endif

} // namespace vidlane2
