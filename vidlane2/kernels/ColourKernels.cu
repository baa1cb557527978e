// Device module of the colour-space conversion: the BT.709 matrix in constant
// memory and yuv_to_rgba.
#include "ColourKernels.h"

#include "ColourRules.h"
#include "KernelVariants.h"
#include "LaunchChecks.h"
#include "LaunchGeometry.h"

#include <cuda_runtime.h>

namespace vidlane2 {

__constant__ float yuvToRgbMatrix[9];

template <class YuvPair, class Pixel, class PixelPair>
__global__ void yuv_to_rgba(const std::uint8_t* src, int srcPitch, std::uint8_t* dst, int dstPitch, int width,
                            int height)
{
    rule::yuv_to_rgba<YuvPair, Pixel, PixelPair>(blockIdx.x * blockDim.x + threadIdx.x,
                                                 blockIdx.y * blockDim.y + threadIdx.y, yuvToRgbMatrix, src,
                                                 srcPitch, dst, dstPitch, width, height);
}

cudaError_t UploadYuvToRgbMatrix(const YuvToRgbMatrix& matrix)
{
    static_assert(sizeof matrix.m == 36, "3 x 3 floats");
    return cudaMemcpyToSymbol(yuvToRgbMatrix, matrix.m, sizeof matrix.m, 0, cudaMemcpyHostToDevice);
}

cudaError_t launchYuvToRgbaAs(Dim3u block, const void* nv12, int nv12Pitch, void* rgba, int rgbaPitch, int width,
                              int height)
{
    const LaunchCheck check = checkColourLaunch(nv12, nv12Pitch, rgba, rgbaPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    const LaunchShape shape =
        colourLaunch(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), block);
    const dim3 grid(shape.grid.x, shape.grid.y, shape.grid.z);
    const dim3 threads(shape.block.x, shape.block.y, shape.block.z);
    const auto* src = static_cast<const std::uint8_t*>(nv12);
    auto* dst = static_cast<std::uint8_t*>(rgba);
    void* args[] = {&src, &nv12Pitch, &dst, &rgbaPitch, &width, &height};
    const void* kernel = colourAccessIsAligned(nv12, nv12Pitch, rgba, rgbaPitch)
                             ? reinterpret_cast<const void*>(yuv_to_rgba<uchar2, std::uint32_t, uint2>)
                             : reinterpret_cast<const void*>(yuv_to_rgba<BytePair, PackedWord, PackedWordPair>);
    return cudaLaunchKernel(kernel, grid, threads, args, 0, nullptr);
}

cudaError_t LoadYuvToRgbMatrix()
{
    return UploadYuvToRgbMatrix(computeYuvToRgbMatrix());
}

cudaError_t ConvertNv12ToRgba(const void* nv12, int nv12Pitch, void* rgba, int rgbaPitch, int width, int height)
{
    return launchYuvToRgbaAs(kColourBlock, nv12, nv12Pitch, rgba, rgbaPitch, width, height);
}

} // namespace vidlane2
