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

} // namespace Platform
