// BT.709 video-range NV12 to RGBA: the matrix and what one thread of
// yuv_to_rgba does, shared by ColourKernels.cu and the CPU reference.
#pragma once

#include "DeviceCompat.h"

#include <cmath>
#include <cstdint>

namespace vidlane2 {

// Row-major; rows give R, G, B, columns weigh Y - 16, U - 128, V - 128.
struct YuvToRgbMatrix {
    float m[9];
};

// Float terms in a fixed order (doubling as a sum, the division last), then the
// video-range scale in double, so every build gets the same bits.
inline YuvToRgbMatrix computeYuvToRgbMatrix()
{
    const float wr = 0.2126f;
    const float wb = 0.0722f;
    const float oneMinusWr = 1.0f - wr;
    const float oneMinusWb = 1.0f - wb;
    const float rV = oneMinusWr + oneMinusWr;
    const float bU = oneMinusWb + oneMinusWb;
    const float gDenominator = oneMinusWb - wr;
    const float gUProduct = wb * oneMinusWb;
    const float gVProduct = wr * oneMinusWr;
    const float gU = -(gUProduct + gUProduct) / gDenominator;
    const float gV = -(gVProduct + gVProduct) / gDenominator;
    const double scale = 255.0 / (235.0 - 16.0);
    const float terms[9] = {1.0f, 0.0f, rV, 1.0f, gU, gV, 1.0f, bU, 0.0f};
    YuvToRgbMatrix result{};
    for (int i = 0; i < 9; ++i) result.m[i] = static_cast<float>(terms[i] * scale);
    return result;
}

// One RGBA32 pixel, bytes R, G, B, A in memory.
struct RGBA32 {
    std::uint8_t r, g, b, a;
};

// Byte-aligned stand-ins for uchar2, uint32_t and uint2, for frames whose pitch
// breaks the vector alignment (odd widths).
#pragma pack(push, 1)
struct BytePair {
    std::uint8_t x, y;
};
struct PackedWord {
    std::uint32_t value;
};
struct PackedWordPair {
    std::uint32_t x, y;
};
#pragma pack(pop)

namespace rule {

VIDLANE_HD inline std::uint8_t colourChannel(const float* row, float yp, float up, float vp)
{
    float t = row[1] * up;
    t = fmaf(row[0], yp, t);
    float c = fmaf(row[2], vp, t);
    if (c > 255.0f) c = 255.0f;
    if (c < 0.0f) c = 0.0f;
    return static_cast<std::uint8_t>(static_cast<int>(c));
}

// Alpha is always 0.
VIDLANE_HD inline std::uint32_t rgbaWord(const float* m, int y, int u, int v)
{
    const float yp = static_cast<float>(y - 16);
    const float up = static_cast<float>(u - 128);
    const float vp = static_cast<float>(v - 128);
    const RGBA32 p{colourChannel(m, yp, up, vp), colourChannel(m + 3, yp, up, vp), colourChannel(m + 6, yp, up, vp),
                   0};
    return static_cast<std::uint32_t>(p.r) | static_cast<std::uint32_t>(p.g) << 8 |
           static_cast<std::uint32_t>(p.b) << 16 | static_cast<std::uint32_t>(p.a) << 24;
}

// Thread (tx, ty) converts the 2 x 2 block at (2 tx, 2 ty) with three pair loads and
// two two-pixel stores. At an odd last column or row the block is cut to the
// frame: its one-pixel stores keep the destination's next pixel or row intact,
// and the luma row below, which is the chroma plane there, is not read.
template <class YuvPair, class Pixel, class PixelPair>
VIDLANE_HD inline void yuv_to_rgba(std::uint32_t tx, std::uint32_t ty, const float* m, const std::uint8_t* src,
                                   int srcPitch, std::uint8_t* dst, int dstPitch, int width, int height)
{
    static_assert(sizeof(Pixel) == 4 && sizeof(PixelPair) == 8 && sizeof(YuvPair) == 2, "pixel layout");
    const long long x = 2LL * tx;
    const long long y = 2LL * ty;
    if (x >= width || y >= height) return;
    const bool bothColumns = x + 1 < width;
    const std::uint8_t* luma = src + y * srcPitch + x;
    const YuvPair uv = loadAs<YuvPair>(src + (height + y / 2) * srcPitch + x);
    const int u = uv.x;
    const int v = uv.y;
    auto convertRow = [&](const std::uint8_t* in, std::uint8_t* out) {
        // Rows reach the last column's chroma pair, so this load stays inside the frame.
        const YuvPair samples = loadAs<YuvPair>(in);
        if (bothColumns)
            storeAs<PixelPair>(out, PixelPair{rgbaWord(m, samples.x, u, v), rgbaWord(m, samples.y, u, v)});
        else
            storeAs<Pixel>(out, Pixel{rgbaWord(m, samples.x, u, v)});
    };
    std::uint8_t* out = dst + y * dstPitch + 4 * x;
    convertRow(luma, out);
    if (y + 1 < height) convertRow(luma + srcPitch, out + dstPitch);
}

} // namespace rule
} // namespace vidlane2
