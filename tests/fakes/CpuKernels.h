#pragma once

// Control side of the CPU kernel launchers: the library's launcher functions
// linked in place of the device modules, each running its kernel's per-pixel
// rules over the kernel's own grid on the fake runtime's device memory.
#include "ColourRules.h"

#include <string>
#include <vector>

namespace cpu_kernels {

void Reset();
// The name of every kernel launched, in order.
const std::vector<std::string>& Launches();
// Every colour matrix uploaded into the (single, process-wide) constant memory.
const std::vector<vidlane2::YuvToRgbMatrix>& MatrixUploads();

} // namespace cpu_kernels
