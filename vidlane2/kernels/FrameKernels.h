// Launch wrappers of the frame-conversion kernels.
//
// Each wrapper launches its kernel on `stream` with the kernel's own grid and a
// kFrameBlock block (LaunchGeometry.h), without waiting, and returns the CUDA
// status of the launch:
// - cudaSuccess without a launch when width or height is 0;
// - cudaErrorInvalidValue without a launch when a pointer is null, a pitch is
//   smaller than the row the kernel walks, a 32-bit access would be misaligned,
//   or a buffer would reach past 4 GiB (the kernels index in 32 bits);
// - otherwise the status of the launch itself.
// The 16- and 32-bit scalar kernels move each value as one word where the packed
// buffer's pointer and pitch (and the NV12 surface's, for the encode side) are
// aligned to it, and byte by byte otherwise, with the same result.
// All pointers are device memory; pitches are in bytes; width and height are the
// frame size in pixels (never the widened luma width of 16- and 32-bit data).
//
// Buffers the kernels walk (w = width, h = height):
//   uintN_to_nv12   src: h rows of (w + 1) / 2, w, 2w or 4w bytes;
//                   dst: NV12 surface, h luma rows plus h / 2 chroma rows of the same width.
//   nv12_to_uintN   src: the h luma rows only; dst: h rows of the packed widths above.
//   texture kernels dst: h rows of 4w bytes, 4-byte aligned.
//   image_flip_v, image_copy_flip_v
//                   src and dst: h rows of 4w bytes each, 4-byte aligned, not overlapping.
#pragma once

#include <cuda_runtime_api.h>

#include <cstdint>

namespace vidlane2 {

// Scalar values into the luma plane of an NV12 surface; the chroma rows are zeroed.
cudaError_t launchUint4ToNv12(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                              std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
cudaError_t launchUint8ToNv12(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                              std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
cudaError_t launchUint16ToNv12(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                               std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
cudaError_t launchUint32ToNv12(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                               std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);

// The luma plane of a decoded NV12 frame back into packed values.
cudaError_t launchNv12ToUint4(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                              std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
cudaError_t launchNv12ToUint8(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                              std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
cudaError_t launchNv12ToUint16(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                               std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
cudaError_t launchNv12ToUint32(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                               std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);

// Texture kernels, reading through a texture object made by ArrayTexture (point
// sampling, clamp addressing, unnormalised coordinates). The object must live
// until the kernel has run.
// 8-bit RGBA texture -> ABGR pixels, flipped vertically.
cudaError_t launchImageFlipVTex(cudaTextureObject_t texture, void* dst, std::uint32_t dstPitch,
                                std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
// Half-float RGBA texture -> sRGB-coded 8-bit ABGR pixels, flipped vertically or not.
cudaError_t launchImageFlipVTexHalf(cudaTextureObject_t texture, void* dst, std::uint32_t dstPitch,
                                    std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
cudaError_t launchImageNoFlipVTexHalf(cudaTextureObject_t texture, void* dst, std::uint32_t dstPitch,
                                      std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
// Half-float RGBA texture -> sRGB-coded ABGR10 words, flipped vertically or not.
cudaError_t launchImageFlipVTexHalfHdr10bit(cudaTextureObject_t texture, void* dst, std::uint32_t dstPitch,
                                            std::uint32_t width, std::uint32_t height,
                                            cudaStream_t stream = nullptr);
cudaError_t launchImageNoFlipVTexHalfHdr10bit(cudaTextureObject_t texture, void* dst, std::uint32_t dstPitch,
                                              std::uint32_t width, std::uint32_t height,
                                              cudaStream_t stream = nullptr);

// Exchanges 32-bit pixels between two buffers: dst gets src flipped vertically,
// src gets the old dst flipped.
cudaError_t launchImageFlipV(void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                             std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);
// One way: dst gets src flipped vertically, src is only read (same buffers as
// image_flip_v).
cudaError_t launchImageCopyFlipV(const void* src, std::uint32_t srcPitch, void* dst, std::uint32_t dstPitch,
                                 std::uint32_t width, std::uint32_t height, cudaStream_t stream = nullptr);

} // namespace vidlane2
