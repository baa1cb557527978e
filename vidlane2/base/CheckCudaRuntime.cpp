#include "base/CheckCudaRuntime.h"

#include "base/Exception.h"

#include <cuda_runtime_api.h>

namespace vidlane2 {

void CheckCudaRuntime(int code, const char* message)
{
    if (code == 0)
        return;
    const char* description = cudaGetErrorString(static_cast<cudaError_t>(code));
    throw Exception(std::string(message) + " (Error " + std::to_string(code) + ": " + (description ? description : "") +
                    ")");
}

} // namespace vidlane2
