// The launch shapes the benchmark times and the GPU tests check: the shapes
// before this library's own choice, the shipped ones, and neighbours of them.
#pragma once

#include "KernelVariants.h"

namespace vidlane2::test {

struct KernelShape {
    const char* name;
    FrameVariant frame; // frame kernels; `words` only affects the 16- and 32-bit scalar kernels
    Dim3u colour;       // yuv_to_rgba
};

inline constexpr KernelShape kBeforeShape{"16x2 32x2 bytes", {{16, 2, 1}, false}, {32, 2, 1}};
inline constexpr KernelShape kShippedShape{"32x8 shipped", {kFrameBlock, true}, kColourBlock};

inline constexpr KernelShape kKernelShapes[] = {
    kBeforeShape,
    {"32x8 bytes", {{32, 8, 1}, false}, {32, 8, 1}},
    kShippedShape,
    {"64x4", {{64, 4, 1}, true}, {64, 4, 1}},
    {"32x16", {{32, 16, 1}, true}, {32, 16, 1}},
    {"128x1", {{128, 1, 1}, true}, {128, 1, 1}},
};

} // namespace vidlane2::test
