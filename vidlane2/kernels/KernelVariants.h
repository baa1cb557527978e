// Every kernel at a chosen block shape, and the scalar kernels with byte access
// forced, for the benchmark and the GPU tests that compare the shapes. The
// launchers of FrameKernels.h and ColourKernels.h are these at kFrameBlock /
// kColourBlock with word access where alignment allows. Same checks and status
// as those launchers; a block the device cannot run fails at the launch.
#pragma once

#include "LaunchChecks.h"
#include "LaunchGeometry.h"

#include <cuda_runtime_api.h>

#include <cstdint>

namespace vidlane2 {

enum class TextureKernel { FlipV8, FlipVHalf, NoFlipHalf, FlipVHalfHdr10, NoFlipHalfHdr10 };

struct FrameVariant {
    Dim3u block;
    bool words; // word access where alignment allows; false: bytes always
};

// One of the eight scalar kernels (FrameKernel::Uint4ToNv12 .. Nv12ToUint32).
cudaError_t launchScalarKernelAs(FrameKernel kernel, FrameVariant variant, const void* src, std::uint32_t srcPitch,
                                 void* dst, std::uint32_t dstPitch, std::uint32_t width, std::uint32_t height,
                                 cudaStream_t stream = nullptr);
cudaError_t launchTextureKernelAs(TextureKernel kernel, Dim3u block, cudaTextureObject_t texture, void* dst,
                                  std::uint32_t dstPitch, std::uint32_t width, std::uint32_t height,
                                  cudaStream_t stream = nullptr);
cudaError_t launchImageFlipVAs(Dim3u block, void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                               std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
// The conversion alone: the matrix must already be loaded.
cudaError_t launchYuvToRgbaAs(Dim3u block, const void* nv12, int nv12Pitch, void* rgba, int rgbaPitch, int width,
                              int height);

} // namespace vidlane2
