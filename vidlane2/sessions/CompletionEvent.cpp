#include "sessions/CompletionEvent.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vidlane2 {

#ifdef _WIN32

void* CreateCompletionEvent()
{
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void CloseCompletionEvent(void* event)
{
    if (event)
        CloseHandle(static_cast<HANDLE>(event));
}

bool WaitForCompletionEvent(void* event, uint32_t milliseconds)
{
    return WaitForSingleObject(static_cast<HANDLE>(event), milliseconds) != WAIT_FAILED;
}

#else

void* CreateCompletionEvent()
{
    return nullptr;
}

void CloseCompletionEvent(void*) {}

bool WaitForCompletionEvent(void*, uint32_t)
{
    return true;
}

#endif

} // namespace vidlane2
