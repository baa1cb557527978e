#pragma once

#include "kernels/ColourRules.h"

namespace vidlane2 {

// Converts a decoded NV12 frame into RGBA pixels with the colour matrix its
// stream needs (ConvertNv12ToRgba's arguments and result). The device holds
// one matrix for the whole process, so it is uploaded only when a conversion
// needs another one than the matrix last uploaded.
int convertNv12ToRgba(const YuvToRgbMatrix& matrix, const void* nv12, int nv12Pitch, void* rgba, int rgbaPitch,
                      int width, int height);

} // namespace vidlane2
