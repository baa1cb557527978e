// Device module of the stream colour conversions. The matrix travels as a kernel
// argument, so streams of different colour spaces never share device state.
#include "StreamColourKernels.h"

#include "LaunchGeometry.h"
#include "StreamColourRules.h"

#include <cuda_runtime.h>

namespace vidlane2 {

namespace {

template <class Samples, rule::Output output, class Word>
__global__ void stream_yuv_to_rgb(YuvToRgb conversion, const std::uint8_t* src, int srcPitch, std::uint8_t* dst,
                                  int dstPitch, int width, int height)
{
    rule::stream_yuv_to_rgb<Samples, output, Word>(blockIdx.x * blockDim.x + threadIdx.x,
                                                   blockIdx.y * blockDim.y + threadIdx.y, conversion, src, srcPitch,
                                                   dst, dstPitch, width, height);
}

template <rule::Output output>
const void* kernelFor(int bitDepth, bool aligned)
{
    if (bitDepth == 8)
        return aligned ? reinterpret_cast<const void*>(stream_yuv_to_rgb<rule::Nv12Samples, output, std::uint32_t>)
                       : reinterpret_cast<const void*>(stream_yuv_to_rgb<rule::Nv12Samples, output, PackedWord>);
    return aligned ? reinterpret_cast<const void*>(stream_yuv_to_rgb<rule::P016Samples, output, std::uint32_t>)
                   : reinterpret_cast<const void*>(stream_yuv_to_rgb<rule::P016Samples, output, PackedWord>);
}

template <rule::Output output>
cudaError_t launch(const void* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, void* rgb, int rgbPitch,
                   int width, int height)
{
    const LaunchCheck check = checkStreamColourLaunch(yuv, yuvPitch, bitDepth, rgb, rgbPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    const LaunchShape shape = colourLaunch(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    const dim3 grid(shape.grid.x, shape.grid.y, shape.grid.z);
    const dim3 block(shape.block.x, shape.block.y, shape.block.z);
    YuvToRgb matrix = conversion;
    const auto* src = static_cast<const std::uint8_t*>(yuv);
    auto* dst = static_cast<std::uint8_t*>(rgb);
    void* args[] = {&matrix, &src, &yuvPitch, &dst, &rgbPitch, &width, &height};
    return cudaLaunchKernel(kernelFor<output>(bitDepth, wordStoresAreAligned(rgb, rgbPitch)), grid, block, args, 0,
                            nullptr);
}

} // namespace

cudaError_t ConvertYuvToRgba8(const void* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, void* rgba,
                              int rgbaPitch, int width, int height)
{
    return launch<rule::Output::Rgba8>(yuv, yuvPitch, bitDepth, conversion, rgba, rgbaPitch, width, height);
}

cudaError_t ConvertYuvToAbgr10(const void* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, void* abgr,
                               int abgrPitch, int width, int height)
{
    return launch<rule::Output::Abgr10>(yuv, yuvPitch, bitDepth, conversion, abgr, abgrPitch, width, height);
}

} // namespace vidlane2
