// YUV 4:2:0 frames of 8 bits (NV12) or 10 bits (P016, samples in the high bits)
// to 8-bit RGBA or packed 10:10:10:2 words, with the stream's own matrix: what
// one thread of the stream colour kernels does, shared with the CPU reference.
#pragma once

#include "ColourMatrices.h"
#include "DeviceCompat.h"
#include "LaunchChecks.h"

#include <cmath>
#include <cstdint>

namespace vidlane2 {

namespace rule {

VIDLANE_HD inline float channelValue(const float* row, float yp, float up, float vp)
{
    float t = row[1] * up;
    t = fmaf(row[0], yp, t);
    return fmaf(row[2], vp, t);
}

// The original 8-bit rule: clamp, then truncate.
VIDLANE_HD inline std::uint32_t truncatedChannel(float c)
{
    if (c > 255.0f) c = 255.0f;
    if (c < 0.0f) c = 0.0f;
    return static_cast<std::uint32_t>(c);
}

// 10-bit samples: clamp to the output's range, then round to nearest.
VIDLANE_HD inline std::uint32_t roundedChannel(float c, float maximum)
{
    if (c > maximum) c = maximum;
    if (c < 0.0f) c = 0.0f;
    return static_cast<std::uint32_t>(c + 0.5f);
}

// An 8-bit code on the 10-bit scale: x 1023 / 255, rounded.
VIDLANE_HD inline std::uint32_t tenBitsOf(std::uint32_t code8) { return (code8 * 1023u + 127u) / 255u; }

// Alpha is 0 in both outputs, as in the original 8-bit rule.
VIDLANE_HD inline std::uint32_t rgba8Word(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return r | g << 8 | b << 16;
}

VIDLANE_HD inline std::uint32_t abgr10Word(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return r | g << 10 | b << 20;
}

enum class Output { Rgba8, Abgr10 };

struct Nv12Samples {
    using Sample = std::uint8_t;
    static constexpr int kBytes = 1;
    VIDLANE_HD static int at(const std::uint8_t* p) { return *p; }
};

struct P016Samples {
    using Sample = std::uint16_t;
    static constexpr int kBytes = 2;
    VIDLANE_HD static int at(const std::uint8_t* p) { return loadAs<std::uint16_t>(p) >> 6; }
};

template <class Samples, Output output>
VIDLANE_HD inline std::uint32_t pixelWord(const YuvToRgb& c, int y, int u, int v)
{
    const float yp = static_cast<float>(y - c.lumaOffset);
    const float up = static_cast<float>(u - c.chromaOffset);
    const float vp = static_cast<float>(v - c.chromaOffset);
    const float r = channelValue(c.m, yp, up, vp);
    const float g = channelValue(c.m + 3, yp, up, vp);
    const float b = channelValue(c.m + 6, yp, up, vp);
    if (Samples::kBytes == 1) {
        const std::uint32_t r8 = truncatedChannel(r), g8 = truncatedChannel(g), b8 = truncatedChannel(b);
        return output == Output::Rgba8 ? rgba8Word(r8, g8, b8) : abgr10Word(tenBitsOf(r8), tenBitsOf(g8), tenBitsOf(b8));
    }
    if (output == Output::Rgba8)
        return rgba8Word(roundedChannel(r, 255.0f), roundedChannel(g, 255.0f), roundedChannel(b, 255.0f));
    return abgr10Word(roundedChannel(r, 1023.0f), roundedChannel(g, 1023.0f), roundedChannel(b, 1023.0f));
}

// Thread (tx, ty) converts the 2 x 2 block at (2 tx, 2 ty), which shares one
// chroma pair; at an odd last column or row only its pixels inside the frame,
// as in yuv_to_rgba.
template <class Samples, Output output, class Word>
VIDLANE_HD inline void stream_yuv_to_rgb(std::uint32_t tx, std::uint32_t ty, const YuvToRgb& c,
                                         const std::uint8_t* src, int srcPitch, std::uint8_t* dst, int dstPitch,
                                         int width, int height)
{
    const long long x = 2LL * tx;
    const long long y = 2LL * ty;
    if (x >= width || y >= height) return;
    constexpr int n = Samples::kBytes;
    const std::uint8_t* luma = src + y * srcPitch + x * n;
    const std::uint8_t* chroma = src + (height + y / 2) * srcPitch + x * n;
    const int u = Samples::at(chroma);
    const int v = Samples::at(chroma + n);
    const int rows = y + 1 < height ? 2 : 1;
    const int columns = x + 1 < width ? 2 : 1;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const std::uint8_t* in = luma + row * srcPitch + column * n;
            std::uint8_t* out = dst + (y + row) * dstPitch + 4 * (x + column);
            storeAs<Word>(out, Word{pixelWord<Samples, output>(c, Samples::at(in), u, v)});
        }
}

} // namespace rule

// Refuses what would leave the buffers: negative sizes or pitches, null
// pointers, short pitches, P016 samples off their 2-byte alignment.
inline LaunchCheck checkStreamColourLaunch(const void* yuv, int yuvPitch, int bitDepth, const void* rgb, int rgbPitch,
                                           int width, int height)
{
    if (bitDepth != 8 && bitDepth != 10) return LaunchCheck::Invalid;
    return checkYuv420Launch(yuv, yuvPitch, bitDepth == 8 ? 1 : 2, rgb, rgbPitch, width, height);
}

// Whether the destination takes aligned 32-bit stores.
inline bool wordStoresAreAligned(const void* rgb, int rgbPitch)
{
    return reinterpret_cast<std::uintptr_t>(rgb) % 4 == 0 && rgbPitch % 4 == 0;
}

} // namespace vidlane2
