// Decoded 4:2:0 frames to RGBA with the stream's colour space and bit depth.
#pragma once

#include "ColourMatrices.h"

#include <cuda_runtime_api.h>

namespace vidlane2 {

// Converts an NV12 (bitDepth 8) or P016 (bitDepth 10, samples in the high bits)
// frame of height luma rows, then (height + 1) / 2 chroma rows, at yuvPitch,
// into 8-bit RGBA (bytes R, G, B, 0) or 10:10:10:2 words (R in the low bits,
// alpha 0) at rgbPitch, all in device memory, on the default stream without
// waiting. conversion must come from yuvToRgb for the same bit depth and
// output. Every pixel is written; an odd last column takes the chroma pair
// after it, so rows must hold the width rounded up to even.
// Returns cudaSuccess without a launch for an empty frame, cudaErrorInvalidValue
// without a launch for what checkStreamColourLaunch refuses, and otherwise the
// status of the launch.
cudaError_t ConvertYuvToRgba8(const void* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, void* rgba,
                              int rgbaPitch, int width, int height);
cudaError_t ConvertYuvToAbgr10(const void* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, void* abgr,
                               int abgrPitch, int width, int height);

} // namespace vidlane2
