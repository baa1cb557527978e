#pragma once

#include <string>

namespace vidlane2 {

// Throws Exception "<message> (Error <code>: <runtime's text>)" for any code
// but cudaSuccess. Takes the cudaError_t as int so that callers need not see
// the runtime's headers here, and the message as a C string so that a check
// that passes costs no allocation.
void CheckCudaRuntime(int code, const char* message);

} // namespace vidlane2
