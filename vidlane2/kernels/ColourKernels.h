// NV12 (BT.709, video range) to RGBA on the GPU, for decoded frames.
#pragma once

#include "ColourRules.h"

#include <cuda_runtime_api.h>

namespace vidlane2 {

// Copies a matrix into the device's yuvToRgbMatrix, which every later
// ConvertNv12ToRgba uses. Returns the status of the copy.
cudaError_t UploadYuvToRgbMatrix(const YuvToRgbMatrix& matrix);
// Uploads the computed BT.709 matrix.
cudaError_t LoadYuvToRgbMatrix();

// Converts an NV12 frame (height luma rows, then (height + 1) / 2 chroma rows,
// at nv12Pitch) into RGBA pixels (bytes R, G, B, 0 at rgbaPitch), all in device
// memory, on the default stream without waiting, with the matrix last uploaded
// (all zero, so black, before any upload). Each thread converts a 2 x 2 block
// sharing one chroma pair, cut to the frame at an odd last column or row, so
// every pixel is written. When the pointers and pitches allow it (nv12 and
// nv12Pitch even, rgba and rgbaPitch multiples of 8) the two-byte loads and
// eight-byte stores are used, otherwise the same conversion with byte-wide
// accesses, so odd widths are safe.
// Returns cudaSuccess without a launch for an empty frame, cudaErrorInvalidValue
// without a launch for negative sizes, null pointers or pitches smaller than a
// row (width rounded up to even bytes of NV12, for the last column's chroma
// pair; 4 x width bytes of RGBA), and otherwise the status of the launch.
cudaError_t ConvertNv12ToRgba(const void* nv12, int nv12Pitch, void* rgba, int rgbaPitch, int width, int height);

} // namespace vidlane2
