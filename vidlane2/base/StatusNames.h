#pragma once

#include <cstdint>
#include <string>

namespace vidlane2 {

// Name of an NVENCSTATUS value, "Unknown error code" outside 0..25.
std::string NvencStatusName(int32_t status);

// Name of a CUDA driver CUresult as the installed driver spells it, or
// "Unknown error code" when there is no driver or it knows no name.
std::string CudaDriverErrorName(int32_t code);

} // namespace vidlane2
