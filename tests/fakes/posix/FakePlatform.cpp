#include "FakePlatform.h"

#include <dlfcn.h>

namespace fake {

void* LoadedCudaDriverEntry(const char* entry)
{
    // The process's own reference, never an unload: the driver stays as long as it does.
    void* driver = dlopen("libcuda.so.1", RTLD_NOW | RTLD_NOLOAD);
    return driver ? dlsym(driver, entry) : nullptr;
}

std::string LibraryFileName(const void* address)
{
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return {};
    const std::string path = info.dli_fname;
    return path.substr(path.find_last_of('/') + 1);
}

void SignalEvent(void*) {}

} // namespace fake
