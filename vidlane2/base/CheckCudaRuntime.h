#pragma once

#include <string>

namespace vidlane2 {

// Throws Exception "<message> (Error <code>: <runtime's text>)" for any code
// but cudaSuccess. Takes the cudaError_t as int so that callers need not see
// the runtime's headers here.
void CheckCudaRuntime(int code, const std::string& message);

} // namespace vidlane2
