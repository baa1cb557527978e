#include "sessions/CompletionEvent.h"

#include <windows.h>

namespace vidlane2 {

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

} // namespace vidlane2
