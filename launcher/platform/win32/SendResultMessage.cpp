#include <windows.h>

#include "Platform.h"

namespace Platform {

bool SendResultMessage(std::uint64_t window, std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam)
{
    const HWND target = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
    if (!target || !IsWindow(target))
        return false;
    SendMessageW(target, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    return true;
}

} // namespace Platform
