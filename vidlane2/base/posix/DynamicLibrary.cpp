#include "base/DynamicLibrary.h"

#include <dlfcn.h>

namespace vidlane2 {

const char* const kCudaDriverLibrary = "libcuda.so.1";
const char* const kNvdecLibrary = "libnvcuvid.so.1";
const char* const kNvencLibrary = "libnvidia-encode.so.1";

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

} // namespace vidlane2
