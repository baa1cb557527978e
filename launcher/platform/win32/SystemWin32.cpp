#include <windows.h>
#include <objbase.h>

#include "Platform.h"

namespace Platform {

void ShowErrorBox(const char* text, const char* caption)
{
    MessageBoxA(nullptr, text, caption, MB_ICONERROR);
}

void InitializeCom()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

void UninitializeCom() { CoUninitialize(); }

void KeepControllerLibraryLoaded()
{
    // Every XInput the window system may have taken; pinning one not loaded does nothing.
    for (const wchar_t* name : {L"xinput1_4.dll", L"xinput1_3.dll", L"xinput9_1_0.dll", L"xinput1_2.dll",
                                L"xinput1_1.dll"}) {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

} // namespace Platform
