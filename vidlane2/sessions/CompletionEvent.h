#pragma once

#include <cstdint>

// Per-slot completion events of the encode session. They exist on Windows
// only: elsewhere NVENC has no asynchronous mode, creation yields null and the
// session never waits.
namespace vidlane2 {

// Auto-reset, initially non-signalled, unnamed; null where there are none.
void* CreateCompletionEvent();
void CloseCompletionEvent(void* event);

// False only when the wait itself failed; a time-out counts as done.
bool WaitForCompletionEvent(void* event, uint32_t milliseconds);

} // namespace vidlane2
