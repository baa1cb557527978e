#pragma once

// 4:2:0 frames as the decoder hands them to the colour kernels, and the
// destinations those fill, for tests that check every pixel of a conversion.
#include "StreamColourRules.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vidlane2::test {

// Every pixel has its own luma and every 2 x 2 block its own chroma pair. Rows
// are at an even pitch that holds an odd last column's pair, plus padBytes;
// (height + 1) / 2 chroma rows follow the luma rows. The buffer is exactly that
// long, so ASan sees a read past the frame. P016 samples (depth 10) keep noise
// in their low six bits, which no rule may read.
struct Yuv420Pattern {
    int width, height, depth, pitch;
    std::vector<std::uint8_t> bytes;

    Yuv420Pattern(int w, int h, int sampleDepth, int padBytes = 0)
        : width(w), height(h), depth(sampleDepth), pitch((w + w % 2) * sampleBytes() + padBytes),
          bytes(static_cast<std::size_t>(pitch) * (h + (h + 1) / 2))
    {
        const int top = depth == 8 ? 255 : 1023;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) put(r, c, (r * 37 + c * 11 + 40) % top);
        for (int r = 0; r < (h + 1) / 2; ++r)
            for (int c = 0; c < w; c += 2) {
                put(h + r, c, (r * 53 + c * 7 + 90) % top);
                put(h + r, c + 1, (r * 29 + c * 13 + 200) % top);
            }
    }

    int sampleBytes() const { return depth == 8 ? 1 : 2; }
    int luma(int row, int column) const { return at(row, column); }
    // The chroma pair of the block holding pixel (row, column).
    int u(int row, int column) const { return at(height + row / 2, column / 2 * 2); }
    int v(int row, int column) const { return at(height + row / 2, column / 2 * 2 + 1); }

private:
    void put(int row, int column, int value)
    {
        std::uint8_t* p = bytes.data() + static_cast<std::size_t>(row) * pitch + column * sampleBytes();
        if (depth == 8) {
            p[0] = static_cast<std::uint8_t>(value);
        } else {
            const int word = value << 6 | ((row * 5 + column) & 0x3F);
            p[0] = static_cast<std::uint8_t>(word & 0xFF);
            p[1] = static_cast<std::uint8_t>(word >> 8);
        }
    }

    int at(int row, int column) const
    {
        const std::uint8_t* p = bytes.data() + static_cast<std::size_t>(row) * pitch + column * sampleBytes();
        return depth == 8 ? p[0] : (p[0] | p[1] << 8) >> 6;
    }
};

// The 32-bit pixel at (row, column) of a destination, as the bytes hold it.
inline std::uint32_t pixelAt(const std::vector<std::uint8_t>& out, int pitch, int row, int column)
{
    const std::uint8_t* p = out.data() + static_cast<std::size_t>(row) * pitch + 4 * column;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// What the stream rules make of one pixel of a depth-bit frame.
inline std::uint32_t streamPixelWord(const YuvToRgb& c, int depth, bool tenBitOutput, int y, int u, int v)
{
    using rule::Output;
    if (depth == 8)
        return tenBitOutput ? rule::pixelWord<rule::Nv12Samples, Output::Abgr10>(c, y, u, v)
                            : rule::pixelWord<rule::Nv12Samples, Output::Rgba8>(c, y, u, v);
    return tenBitOutput ? rule::pixelWord<rule::P016Samples, Output::Abgr10>(c, y, u, v)
                        : rule::pixelWord<rule::P016Samples, Output::Rgba8>(c, y, u, v);
}

// Sizes whose last column, last row, both or neither are odd.
struct FrameSize {
    int w, h;
};
inline constexpr FrameSize kOddAndEvenSizes[] = {{3, 3}, {5, 2}, {4, 3}, {2, 2}, {1, 1}, {1, 4}, {4, 1}, {7, 5}};

} // namespace vidlane2::test
