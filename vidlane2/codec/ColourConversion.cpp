#include "codec/ColourConversion.h"

#include "kernels/ColourKernels.h"

#include <cstring>
#include <mutex>

namespace vidlane2 {

int convertNv12ToRgba(const YuvToRgbMatrix& matrix, const void* nv12, int nv12Pitch, void* rgba, int rgbaPitch,
                      int width, int height)
{
    // Held until the launch is queued, so that no other thread's upload lands
    // between this upload and this launch on the default stream.
    static std::mutex mutex;
    static bool uploaded = false;
    static YuvToRgbMatrix current{};
    std::lock_guard<std::mutex> lock(mutex);
    if (!uploaded || std::memcmp(current.m, matrix.m, sizeof matrix.m) != 0) {
        uploaded = false;
        const cudaError_t status = UploadYuvToRgbMatrix(matrix);
        if (status != cudaSuccess)
            return status;
        current = matrix;
        uploaded = true;
    }
    return ConvertNv12ToRgba(nv12, nv12Pitch, rgba, rgbaPitch, width, height);
}

} // namespace vidlane2
