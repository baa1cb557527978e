#include "FakePlatform.h"

#include <windows.h>

namespace fake {

void* LoadedCudaDriverEntry(const char* entry)
{
    HMODULE driver = GetModuleHandleA("nvcuda.dll");
    return driver ? reinterpret_cast<void*>(GetProcAddress(driver, entry)) : nullptr;
}

std::string LibraryFileName(const void* address)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return {};
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    const std::string name(path, length);
    return name.substr(name.find_last_of("\\/") + 1);
}

void SignalEvent(void* event)
{
    SetEvent(static_cast<HANDLE>(event));
}

} // namespace fake
