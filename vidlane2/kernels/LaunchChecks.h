// Which launches are safe. The kernels trust their sizes and pitches, so the
// launch wrappers refuse any call whose buffers the grid would leave, before
// anything reaches the GPU.
#pragma once

#include "DeviceCompat.h"

#include <cstdint>

namespace vidlane2 {

enum class LaunchCheck {
    Launch,      // the arguments are sound
    NothingToDo, // an empty frame: success without a launch
    Invalid,     // a kernel would touch memory outside its buffers
};

enum class FrameKernel {
    Uint4ToNv12,
    Uint8ToNv12,
    Uint16ToNv12,
    Uint32ToNv12,
    Nv12ToUint4,
    Nv12ToUint8,
    Nv12ToUint16,
    Nv12ToUint32,
    TextureToRgba, // the four texture kernels: only a destination
    ImageFlipV,
};

// One buffer as a kernel walks it: rows of rowBytes at pitch. align is the width
// of its widest access.
struct BufferWalk {
    const void* data;
    std::uint64_t pitch;
    std::uint64_t rowBytes;
    std::uint64_t rows;
    std::uint64_t align;
};

namespace detail {

inline std::uint64_t extentOf(const BufferWalk& b)
{
    return (b.rows - 1) * b.pitch + b.rowBytes;
}

// Frame-conversion kernels index in 32 bits, so a buffer must also end inside 4 GiB.
inline bool walkIsSound(const BufferWalk& b, std::uint64_t maxExtent)
{
    if (b.data == nullptr || b.pitch < b.rowBytes) return false;
    if (reinterpret_cast<std::uintptr_t>(b.data) % b.align != 0 || b.pitch % b.align != 0) return false;
    return extentOf(b) <= maxExtent;
}

inline bool overlap(const BufferWalk& a, const BufferWalk& b)
{
    const auto pa = reinterpret_cast<std::uintptr_t>(a.data);
    const auto pb = reinterpret_cast<std::uintptr_t>(b.data);
    return pa < pb + extentOf(b) && pb < pa + extentOf(a);
}

} // namespace detail

// Bytes of one row of packed values, and of the luma row it fills or comes from
// (none for the kernels of RGBA pixels).
struct FrameRowBytes {
    std::uint64_t packed;
    std::uint64_t luma;
};

inline FrameRowBytes frameRowBytes(FrameKernel kernel, std::uint32_t width)
{
    const std::uint64_t w = width;
    switch (kernel) {
    case FrameKernel::Uint4ToNv12:
    case FrameKernel::Nv12ToUint4: return {(w + 1) / 2, w};
    case FrameKernel::Uint8ToNv12:
    case FrameKernel::Nv12ToUint8: return {w, w};
    case FrameKernel::Uint16ToNv12:
    case FrameKernel::Nv12ToUint16: return {2 * w, 2 * w};
    case FrameKernel::Uint32ToNv12:
    case FrameKernel::Nv12ToUint32: return {4 * w, 4 * w};
    case FrameKernel::TextureToRgba:
    case FrameKernel::ImageFlipV: break;
    }
    return {4 * w, 0};
}

inline LaunchCheck checkFrameLaunch(FrameKernel kernel, const void* src, std::uint32_t srcPitch, const void* dst,
                                    std::uint32_t dstPitch, std::uint32_t width, std::uint32_t height)
{
    if (width == 0 || height == 0) return LaunchCheck::NothingToDo;
    const std::uint64_t h = height;
    const std::uint64_t nv12Rows = h + h / 2;
    const std::uint64_t maxExtent = std::uint64_t{1} << 32;
    const auto [packed, luma] = frameRowBytes(kernel, width);
    BufferWalk in{src, srcPitch, 0, h, 1};
    BufferWalk out{dst, dstPitch, 0, h, 1};
    switch (kernel) {
    case FrameKernel::Uint4ToNv12:
    case FrameKernel::Uint8ToNv12:
    case FrameKernel::Uint16ToNv12:
    case FrameKernel::Uint32ToNv12:
        in.rowBytes = packed;
        out = {dst, dstPitch, luma, nv12Rows, 1};
        break;
    case FrameKernel::Nv12ToUint4:
    case FrameKernel::Nv12ToUint8:
    case FrameKernel::Nv12ToUint16:
    case FrameKernel::Nv12ToUint32:
        in.rowBytes = luma; // the luma plane only
        out.rowBytes = packed;
        break;
    case FrameKernel::TextureToRgba:
        out = {dst, dstPitch, packed, h, 4};
        return detail::walkIsSound(out, maxExtent) ? LaunchCheck::Launch : LaunchCheck::Invalid;
    case FrameKernel::ImageFlipV:
        in = {src, srcPitch, packed, h, 4};
        out = {dst, dstPitch, packed, h, 4};
        if (!detail::walkIsSound(in, maxExtent) || !detail::walkIsSound(out, maxExtent)) return LaunchCheck::Invalid;
        // Threads y and height - 1 - y would race on one buffer.
        return detail::overlap(in, out) ? LaunchCheck::Invalid : LaunchCheck::Launch;
    }
    return detail::walkIsSound(in, maxExtent) && detail::walkIsSound(out, maxExtent) ? LaunchCheck::Launch
                                                                                      : LaunchCheck::Invalid;
}

namespace detail {

inline bool alignedTo(const void* data, std::uint32_t pitch, std::uintptr_t word)
{
    return reinterpret_cast<std::uintptr_t>(data) % word == 0 && pitch % word == 0;
}

} // namespace detail

// Whether a scalar kernel may move each 16- or 32-bit value as one word: on the
// packed side (both sides' chroma zeroing, for the encode kernels) every word must
// be aligned, so pointer and pitch must be. Every other kernel walks bytes.
inline Access frameAccess(FrameKernel kernel, const void* src, std::uint32_t srcPitch, const void* dst,
                          std::uint32_t dstPitch)
{
    std::uintptr_t word = 0;
    bool srcToo = false;
    switch (kernel) {
    case FrameKernel::Uint16ToNv12: word = 2; srcToo = true; break;
    case FrameKernel::Uint32ToNv12: word = 4; srcToo = true; break;
    case FrameKernel::Nv12ToUint16: word = 2; break;
    case FrameKernel::Nv12ToUint32: word = 4; break;
    default: return Access::Bytes;
    }
    const bool aligned = detail::alignedTo(dst, dstPitch, word) && (!srcToo || detail::alignedTo(src, srcPitch, word));
    return aligned ? Access::Words : Access::Bytes;
}

// Whether yuv_to_rgba may use its two-byte loads and eight-byte stores.
inline bool colourAccessIsAligned(const void* nv12, int nv12Pitch, const void* rgba, int rgbaPitch)
{
    return reinterpret_cast<std::uintptr_t>(nv12) % 2 == 0 && nv12Pitch % 2 == 0 &&
           reinterpret_cast<std::uintptr_t>(rgba) % 8 == 0 && rgbaPitch % 8 == 0;
}

// A 4:2:0 frame as the colour kernels read it: height luma rows, then a chroma
// row for each pair of them, an odd last one included; every row as wide as the
// chroma pair of an odd last column.
inline BufferWalk yuv420Walk(const void* yuv, std::uint64_t pitch, std::uint64_t sampleBytes, std::uint64_t width,
                             std::uint64_t height)
{
    return {yuv, pitch, (width + width % 2) * sampleBytes, height + (height + 1) / 2, sampleBytes};
}

// The colour kernels' buffers: the 4:2:0 frame and 4-byte pixels.
inline LaunchCheck checkYuv420Launch(const void* yuv, int yuvPitch, std::uint64_t sampleBytes, const void* rgb,
                                     int rgbPitch, int width, int height)
{
    if (width < 0 || height < 0 || yuvPitch < 0 || rgbPitch < 0) return LaunchCheck::Invalid;
    if (width == 0 || height == 0) return LaunchCheck::NothingToDo;
    const std::uint64_t w = static_cast<std::uint64_t>(width);
    const std::uint64_t h = static_cast<std::uint64_t>(height);
    const std::uint64_t anyExtent = ~std::uint64_t{0};
    const BufferWalk in = yuv420Walk(yuv, static_cast<std::uint64_t>(yuvPitch), sampleBytes, w, h);
    const BufferWalk out{rgb, static_cast<std::uint64_t>(rgbPitch), 4 * w, h, 1};
    return detail::walkIsSound(in, anyExtent) && detail::walkIsSound(out, anyExtent) ? LaunchCheck::Launch
                                                                                      : LaunchCheck::Invalid;
}

inline LaunchCheck checkColourLaunch(const void* nv12, int nv12Pitch, const void* rgba, int rgbaPitch, int width,
                                     int height)
{
    return checkYuv420Launch(nv12, nv12Pitch, 1, rgba, rgbaPitch, width, height);
}

} // namespace vidlane2
