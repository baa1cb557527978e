// What one thread of each frame-conversion kernel does. The kernels in
// FrameKernels.cu call these per thread; KernelReference.cpp calls them over the
// same grid on the CPU. Offsets are 32-bit unsigned, like the kernels'; the
// launch checks keep every buffer inside 4 GiB so they cannot wrap.
#pragma once

#include "DeviceCompat.h"

#include <cmath>
#include <cstdint>

namespace vidlane2 {

// One texel as the texture unit returns it.
struct Texel8 {
    std::uint8_t r, g, b, a;
};
struct TexelF {
    float r, g, b, a;
};

// Scale of the 8-bit sRGB path. 256 with the clamp at 255 gives every code an
// equal share of 0..1 under truncation, and makes each 8-bit code the 10-bit
// code shifted right by two (docs/vidlane2-kernels.md).
inline constexpr float kSrgb8Scale = 256.0f;
inline constexpr float kSrgb10Scale = 1024.0f;

namespace rule {

using u32 = std::uint32_t;
using u8 = std::uint8_t;

VIDLANE_HD inline float fastLog2(float c)
{
#if defined(__CUDA_ARCH__)
    return __log2f(c);
#else
    return std::log2(c);
#endif
}

VIDLANE_HD inline float fastExp2(float c)
{
#if defined(__CUDA_ARCH__)
    float result;
    asm("ex2.approx.ftz.f32 %0, %1;" : "=f"(result) : "f"(c));
    return result;
#else
    return std::exp2(c);
#endif
}

// The sRGB transfer curve. The device's approximate log2/exp2 may differ from
// the host's in the last bits; everything else is bit-exact on both.
VIDLANE_HD inline float srgbEncode(float c)
{
    if (c > 0.0031308f || c != c) {
        const float power = fastExp2(fastLog2(c) * 0.41666666f);
        return fmaf(1.055f, power, -0.055f);
    }
    return 12.92f * c;
}

// Truncation toward zero as the device's cvt.rzi.s32 does it: NaN gives 0,
// out-of-range values saturate.
VIDLANE_HD inline std::int32_t truncToInt32(float v)
{
#if defined(__CUDA_ARCH__)
    return __float2int_rz(v);
#else
    if (v != v) return 0;
    if (v >= 2147483648.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<std::int32_t>(v);
#endif
}

VIDLANE_HD inline u32 quantise(float c, float scale, std::int32_t maxCode)
{
    std::int32_t q = truncToInt32(srgbEncode(c) * scale);
    if (q < 0) q = 0;
    if (q > maxCode) q = maxCode;
    return static_cast<u32>(q);
}

VIDLANE_HD inline u32 packRgba8(u32 r, u32 g, u32 b, u32 a)
{
    return r | g << 8 | b << 16 | a << 24;
}

VIDLANE_HD inline u32 srgb8Word(const TexelF& t)
{
    return packRgba8(quantise(t.r, kSrgb8Scale, 255), quantise(t.g, kSrgb8Scale, 255),
                     quantise(t.b, kSrgb8Scale, 255), quantise(t.a, kSrgb8Scale, 255));
}

// Only the two low bits of the alpha code reach bits 30-31.
VIDLANE_HD inline u32 srgb10Word(const TexelF& t)
{
    return quantise(t.r, kSrgb10Scale, 1023) | quantise(t.g, kSrgb10Scale, 1023) << 10 |
           quantise(t.b, kSrgb10Scale, 1023) << 20 | quantise(t.a, kSrgb10Scale, 1023) << 30;
}

// Zeroes chroma row y of an NV12 surface at one column; chroma has height / 2 rows.
VIDLANE_HD inline void zeroChroma(u8* nv12, u32 pitch, u32 height, u32 y, u32 column)
{
    if (y < height / 2) nv12[(height + y) * pitch + column] = 0;
}

// ---- encode side: packed values into the luma plane, chroma zeroed ---------------

VIDLANE_HD inline void uint4_to_nv12(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                     u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    const u8 b = src[y * srcPitch + x / 2];
    dst[y * dstPitch + x] = (x & 1) ? (b & 15) : (b >> 4);
    zeroChroma(dst, dstPitch, height, y, x);
}

VIDLANE_HD inline void uint8_to_nv12(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                     u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    dst[y * dstPitch + x] = src[y * srcPitch + x];
    zeroChroma(dst, dstPitch, height, y, x);
}

// Zeroes chroma row y at columns first .. first + sizeof(Word) - 1 with one store;
// the caller has checked that pointer and pitch are aligned to Word.
template <class Word>
VIDLANE_HD inline void zeroChromaWord(u8* nv12, u32 pitch, u32 height, u32 y, u32 first)
{
    if (y < height / 2) storeAs<Word>(nv12 + (height + y) * pitch + first, Word{0});
}

// Low bytes fill the left half of the luma row, high bytes the right half.
template <Access access = Access::Bytes>
VIDLANE_HD inline void uint16_to_nv12(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                      u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    const u8* in = src + y * srcPitch + 2 * x;
    u8* luma = dst + y * dstPitch;
    if constexpr (access == Access::Words) {
        const std::uint16_t value = loadAs<std::uint16_t>(in);
        luma[x] = static_cast<u8>(value);
        luma[width + x] = static_cast<u8>(value >> 8);
        zeroChromaWord<std::uint16_t>(dst, dstPitch, height, y, 2 * x);
    } else {
        luma[x] = in[0];
        luma[width + x] = in[1];
        zeroChroma(dst, dstPitch, height, y, 2 * x);
        zeroChroma(dst, dstPitch, height, y, 2 * x + 1);
    }
}

// Four tiles of width bytes; tile k holds byte k of every value.
template <Access access = Access::Bytes>
VIDLANE_HD inline void uint32_to_nv12(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                      u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    const u8* in = src + y * srcPitch + 4 * x;
    u8* luma = dst + y * dstPitch;
    if constexpr (access == Access::Words) {
        const u32 value = loadAs<u32>(in);
        for (u32 k = 0; k < 4; ++k) luma[k * width + x] = static_cast<u8>(value >> (8 * k));
        zeroChromaWord<u32>(dst, dstPitch, height, y, 4 * x);
    } else {
        for (u32 k = 0; k < 4; ++k) {
            luma[k * width + x] = in[k];
            zeroChroma(dst, dstPitch, height, y, 4 * x + k);
        }
    }
}

// ---- decode side: the luma plane back into packed values -------------------------

// Packs pixels 2x and 2x + 1; the low nibble of each sample is kept.
VIDLANE_HD inline void nv12_to_uint4(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                     u32 width, u32 height)
{
    if (2 * x >= width || y >= height) return;
    const u8* luma = src + y * srcPitch;
    u8 b = static_cast<u8>(luma[2 * x] << 4);
    if (2 * x + 1 < width) b |= luma[2 * x + 1] & 15;
    dst[y * dstPitch + x] = b;
}

VIDLANE_HD inline void nv12_to_uint8(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                     u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    dst[y * dstPitch + x] = src[y * srcPitch + x];
}

template <Access access = Access::Bytes>
VIDLANE_HD inline void nv12_to_uint16(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                      u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    const u8* luma = src + y * srcPitch;
    u8* out = dst + y * dstPitch + 2 * x;
    if constexpr (access == Access::Words) {
        storeAs<std::uint16_t>(out, static_cast<std::uint16_t>(luma[x] | luma[x + width] << 8));
    } else {
        out[0] = luma[x];
        out[1] = luma[x + width];
    }
}

template <Access access = Access::Bytes>
VIDLANE_HD inline void nv12_to_uint32(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                      u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    const u8* luma = src + y * srcPitch;
    u8* out = dst + y * dstPitch + 4 * x;
    if constexpr (access == Access::Words) {
        u32 value = 0;
        for (u32 k = 0; k < 4; ++k) value |= u32{luma[x + k * width]} << (8 * k);
        storeAs<u32>(out, value);
    } else {
        for (u32 k = 0; k < 4; ++k) out[k] = luma[x + k * width];
    }
}

// ---- texture kernels: Fetch is the texture unit on the device, a sampler on the host --

#if defined(__CUDACC__)
#pragma nv_exec_check_disable
#endif
template <class Fetch>
VIDLANE_HD inline void image_flip_v_tex(u32 x, u32 y, const Fetch& fetch, u8* dst, u32 dstPitch, u32 width,
                                        u32 height)
{
    if (x >= width || y >= height) return;
    const Texel8 t = fetch.texel8(static_cast<float>(x), static_cast<float>(y));
    storeAs<u32>(dst + (height - 1 - y) * dstPitch + 4 * x, packRgba8(t.r, t.g, t.b, t.a));
}

#if defined(__CUDACC__)
#pragma nv_exec_check_disable
#endif
template <class Fetch>
VIDLANE_HD inline void image_flip_v_tex_half(u32 x, u32 y, const Fetch& fetch, u8* dst, u32 dstPitch, u32 width,
                                             u32 height)
{
    if (x >= width || y >= height) return;
    const TexelF t = fetch.texelF(static_cast<float>(x), static_cast<float>(y));
    storeAs<u32>(dst + (height - 1 - y) * dstPitch + 4 * x, srgb8Word(t));
}

#if defined(__CUDACC__)
#pragma nv_exec_check_disable
#endif
template <class Fetch>
VIDLANE_HD inline void image_no_flip_v_tex_half(u32 x, u32 y, const Fetch& fetch, u8* dst, u32 dstPitch, u32 width,
                                                u32 height)
{
    if (x >= width || y >= height) return;
    const TexelF t = fetch.texelF(static_cast<float>(x), static_cast<float>(y));
    storeAs<u32>(dst + y * dstPitch + 4 * x, srgb8Word(t));
}

#if defined(__CUDACC__)
#pragma nv_exec_check_disable
#endif
template <class Fetch>
VIDLANE_HD inline void image_flip_v_tex_half_hdr_10bit(u32 x, u32 y, const Fetch& fetch, u8* dst, u32 dstPitch,
                                                       u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    const TexelF t = fetch.texelF(static_cast<float>(x), static_cast<float>(y));
    storeAs<u32>(dst + (height - 1 - y) * dstPitch + 4 * x, srgb10Word(t));
}

#if defined(__CUDACC__)
#pragma nv_exec_check_disable
#endif
template <class Fetch>
VIDLANE_HD inline void image_no_flip_v_tex_half_hdr_10bit(u32 x, u32 y, const Fetch& fetch, u8* dst,
                                                          u32 dstPitch, u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    const TexelF t = fetch.texelF(static_cast<float>(x), static_cast<float>(y));
    storeAs<u32>(dst + y * dstPitch + 4 * x, srgb10Word(t));
}

// ---- exchange flip: dst gets src flipped, src gets the old dst flipped -------------

VIDLANE_HD inline void image_flip_v(u32 x, u32 y, u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width,
                                    u32 height)
{
    if (x >= width || y >= height) return;
    u8* a = src + y * srcPitch + 4 * x;
    u8* b = dst + (height - 1 - y) * dstPitch + 4 * x;
    const u32 va = loadAs<u32>(a);
    const u32 vb = loadAs<u32>(b);
    storeAs<u32>(b, va);
    storeAs<u32>(a, vb);
}

// One way: dst gets src flipped vertically; src is only read.
VIDLANE_HD inline void image_copy_flip_v(u32 x, u32 y, const u8* src, u32 srcPitch, u8* dst, u32 dstPitch,
                                         u32 width, u32 height)
{
    if (x >= width || y >= height) return;
    storeAs<u32>(dst + (height - 1 - y) * dstPitch + 4 * x, loadAs<u32>(src + y * srcPitch + 4 * x));
}

} // namespace rule
} // namespace vidlane2
