// The BT.709 matrix and yuv_to_rgba's rule over its own grid on the CPU.
#include "KernelReference.h"
#include "Yuv420Pattern.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace vidlane2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ColourRules, MatrixToSevenDecimals)
{
    const float expected[9] = {1.1643835f, 0.0f,       1.8336712f,  //
                               1.1643835f, -0.2181173f, -0.5450762f, //
                               1.1643835f, 2.1606302f,  0.0f};
    const YuvToRgbMatrix matrix = computeYuvToRgbMatrix();
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(matrix.m[i], expected[i], 0.5e-7) << "element " << i;
}

// An NV12 frame of one colour, width x height, at a pitch.
Bytes flatNv12(int w, int h, int pitch, std::uint8_t y, std::uint8_t u, std::uint8_t v)
{
    Bytes f(static_cast<std::size_t>(pitch) * (h + h / 2), 0);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) f[r * pitch + c] = y;
    for (int r = 0; r < h / 2; ++r)
        for (int c = 0; c + 1 < w; c += 2) {
            f[(h + r) * pitch + c] = u;
            f[(h + r) * pitch + c + 1] = v;
        }
    return f;
}

TEST(ColourRules, ColourEdgeCases)
{
    struct Case {
        std::uint8_t y, u, v;
        std::array<std::uint8_t, 4> rgba;
    };
    const Case cases[] = {
        {235, 128, 128, {255, 255, 255, 0}}, {16, 128, 128, {0, 0, 0, 0}}, {128, 128, 128, {130, 130, 130, 0}},
        {255, 255, 255, {255, 181, 255, 0}}, {0, 0, 0, {0, 79, 0, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "YUV " << int(k.y) << " " << int(k.u) << " " << int(k.v));
        const Bytes nv12 = flatNv12(2, 2, 2, k.y, k.u, k.v);
        Bytes rgba(16, 0xA5);
        reference::yuv_to_rgba(nv12.data(), 2, rgba.data(), 8, 2, 2);
        for (int p = 0; p < 4; ++p)
            EXPECT_EQ((std::array<std::uint8_t, 4>{rgba[4 * p], rgba[4 * p + 1], rgba[4 * p + 2], rgba[4 * p + 3]}),
                      k.rgba)
                << "pixel " << p;
    }
}

// Each pixel takes its own luma and the chroma of its 2 x 2 block.
TEST(ColourRules, ChromaIsSharedByEachTwoByTwoBlock)
{
    const int w = 4, h = 2;
    Bytes nv12 = flatNv12(w, h, w, 235, 128, 128);
    nv12[1] = 16;            // pixel (1, 0) black
    nv12[h * w + 2] = 255;   // U of the right block: blue up, green down
    Bytes rgba(4 * w * h, 0xA5);
    reference::yuv_to_rgba(nv12.data(), w, rgba.data(), 4 * w, w, h);
    EXPECT_EQ(rgba[4 * 1], 0);
    EXPECT_EQ(rgba[4 * 0], 255);
    for (int p : {2, 3, 6, 7}) EXPECT_EQ(rgba[4 * p + 2], 255) << p;
    for (int p : {2, 3, 6, 7}) EXPECT_LT(rgba[4 * p + 1], 255) << p;
    EXPECT_EQ(rgba[4 * 4 + 1], 255);
}

// Every pixel takes its own luma and its block's chroma, also in a block cut by
// an odd last column or row; the row padding keeps what it held.
TEST(ColourRules, EveryPixelOfOddAndEvenSizesIsConverted)
{
    const YuvToRgbMatrix matrix = computeYuvToRgbMatrix();
    for (const test::FrameSize k : test::kOddAndEvenSizes) {
        SCOPED_TRACE(testing::Message() << k.w << "x" << k.h);
        const test::Yuv420Pattern frame(k.w, k.h, 8);
        const int pitch = 4 * k.w + 8;
        Bytes rgba(static_cast<std::size_t>(pitch) * k.h, 0xA5);
        reference::yuv_to_rgba(frame.bytes.data(), frame.pitch, rgba.data(), pitch, k.w, k.h);
        for (int y = 0; y < k.h; ++y) {
            for (int x = 0; x < k.w; ++x)
                EXPECT_EQ(test::pixelAt(rgba, pitch, y, x),
                          rule::rgbaWord(matrix.m, frame.luma(y, x), frame.u(y, x), frame.v(y, x)))
                    << x << "," << y;
            for (int b = 4 * k.w; b < pitch; ++b) EXPECT_EQ(rgba[y * pitch + b], 0xA5) << "row " << y;
        }
    }
}

} // namespace
} // namespace vidlane2
