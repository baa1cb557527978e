#pragma once

#include "kernels/ColourMatrices.h"

#include <ffnvcodec/dynlink_cuda.h>
#include <ffnvcodec/dynlink_nvcuvid.h>

namespace vidlane2 {

// The colour space to decode a stream with: the matrix coefficients and range
// of its signal description; for VP9 without a known matrix, the colour space
// field of its pictures (vp9ColourSpace, -1 for none). A matrix other than
// BT.601, BT.709 and BT.2020 non-constant luminance, or none, is BT.709.
ColourSpace streamColourSpace(const CUVIDEOFORMAT& format, int vp9ColourSpace);

} // namespace vidlane2
