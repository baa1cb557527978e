#include "sessions/CompletionEvent.h"

// NVENC has no asynchronous mode outside Windows: no events, no waits.
namespace vidlane2 {

void* CreateCompletionEvent()
{
    return nullptr;
}

void CloseCompletionEvent(void*) {}

bool WaitForCompletionEvent(void*, uint32_t)
{
    return true;
}

} // namespace vidlane2
