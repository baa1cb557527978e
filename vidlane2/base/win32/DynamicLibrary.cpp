#include "base/DynamicLibrary.h"

#include <windows.h>

namespace vidlane2 {

const char* const kCudaDriverLibrary = "nvcuda.dll";
const char* const kNvdecLibrary = "nvcuvid.dll";
const char* const kNvencLibrary = "nvEncodeAPI64.dll";

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

} // namespace vidlane2
