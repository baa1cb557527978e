// The stream colour rules on the CPU, against values computed here from the
// standards' luma weights and quantisation levels.
#include "KernelReference.h"
#include "Yuv420Pattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace vidlane2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Weights {
    double kr, kb;
};

Weights weightsOf(YuvMatrix matrix)
{
    switch (matrix) {
    case YuvMatrix::Bt601: return {0.299, 0.114};
    case YuvMatrix::Bt709: return {0.2126, 0.0722};
    case YuvMatrix::Bt2020Ncl: return {0.2627, 0.0593};
    }
    return {0, 0};
}

std::string nameOf(ColourSpace space, int depth)
{
    const char* matrix = space.matrix == YuvMatrix::Bt601 ? "BT.601" : space.matrix == YuvMatrix::Bt709 ? "BT.709"
                                                                                                          : "BT.2020";
    return std::string(matrix) + (space.range == YuvRange::Full ? " full " : " limited ") + std::to_string(depth) +
           "-bit";
}

// R, G, B on 0..1 from n-bit codes: E'Y = Kr R + Kg G + Kb B, Cb = (B - Y) / (2 (1 - Kb)),
// Cr = (R - Y) / (2 (1 - Kr)). Limited range: Y in 16..235 and chroma in 16..240 scaled
// by 2^(n - 8); full range: Y / (2^n - 1), chroma (C - 2^(n - 1)) / (2^n - 1). The
// original BT.709 limited rule scales chroma by 219 steps like luma.
struct Rgb {
    double r, g, b;
};

Rgb standardRgb(ColourSpace space, int depth, int y, int u, int v)
{
    const Weights w = weightsOf(space.matrix);
    const double k = std::ldexp(1.0, depth - 8);
    double yn, cb, cr;
    if (space.range == YuvRange::Limited) {
        const double chromaSteps = space == kBt709Limited ? 219.0 : 224.0;
        yn = (y - 16 * k) / (219 * k);
        cb = (u - 128 * k) / (chromaSteps * k);
        cr = (v - 128 * k) / (chromaSteps * k);
    } else {
        const double top = std::ldexp(1.0, depth) - 1;
        yn = y / top;
        cb = (u - std::ldexp(1.0, depth - 1)) / top;
        cr = (v - std::ldexp(1.0, depth - 1)) / top;
    }
    const double r = yn + 2 * (1 - w.kr) * cr;
    const double b = yn + 2 * (1 - w.kb) * cb;
    const double g = (yn - w.kr * r - w.kb * b) / (1 - w.kr - w.kb);
    return {r, g, b};
}

double clampTo(double value, double top) { return value < 0 ? 0 : value > top ? top : value; }

// What a channel must be, and whether the exact value lies so close to a
// decision boundary that float arithmetic may fall on either side of it.
struct Expected {
    unsigned code;
    bool nearBoundary;
    unsigned tolerance; // there: one code of the scale the rule decides on
};

Expected expectedChannel(double unit, int depth, rule::Output output)
{
    const double top = output == rule::Output::Abgr10 ? 1023 : 255;
    if (depth == 8) {
        // 8-bit streams: truncate on the 8-bit scale, then rescale to 10 bits.
        const double value = clampTo(unit * 255, 255);
        const unsigned code8 = static_cast<unsigned>(value);
        const bool near = value - std::floor(value) < 1e-3 || std::ceil(value) - value < 1e-3;
        const unsigned code = output == rule::Output::Abgr10 ? static_cast<unsigned>(code8 * 1023.0 / 255 + 0.5)
                                                             : code8;
        return {code, near && value > 1e-3 && value < 255 - 1e-3, output == rule::Output::Abgr10 ? 5u : 1u};
    }
    const double value = clampTo(unit * top, top);
    const double fraction = value - std::floor(value);
    return {static_cast<unsigned>(std::floor(value + 0.5)), std::fabs(fraction - 0.5) < 1e-3, 1u};
}

unsigned channelOf(std::uint32_t word, int index, rule::Output output)
{
    return output == rule::Output::Rgba8 ? word >> (8 * index) & 0xFF : word >> (10 * index) & 0x3FF;
}

std::uint32_t alphaOf(std::uint32_t word, rule::Output output)
{
    return output == rule::Output::Rgba8 ? word >> 24 : word >> 30;
}

// One 2 x 2 frame of one colour through the CPU reference of the kernels.
std::uint32_t convertPixel(ColourSpace space, int depth, rule::Output output, int y, int u, int v)
{
    const int n = depth == 8 ? 1 : 2;
    Bytes frame(static_cast<std::size_t>(3 * 2 * n), 0);
    auto put = [&](int index, int value) {
        if (n == 1) {
            frame[index] = static_cast<std::uint8_t>(value);
        } else {
            // P016: the sample in the high bits; the low six bits are never read.
            const int word = value << 6 | 0x2A;
            frame[2 * index] = static_cast<std::uint8_t>(word & 0xFF);
            frame[2 * index + 1] = static_cast<std::uint8_t>(word >> 8);
        }
    };
    for (int i = 0; i < 4; ++i) put(i, y);
    put(4, u);
    put(5, v);
    Bytes out(16, 0xEE);
    const YuvToRgb conversion =
        yuvToRgb(space, depth, output == rule::Output::Abgr10 ? OutputScale::Ten : OutputScale::Eight);
    if (output == rule::Output::Rgba8)
        reference::stream_yuv_to_rgba8(frame.data(), 2 * n, depth, conversion, out.data(), 8, 2, 2);
    else
        reference::stream_yuv_to_abgr10(frame.data(), 2 * n, depth, conversion, out.data(), 8, 2, 2);
    std::uint32_t words[4];
    for (int i = 0; i < 4; ++i)
        words[i] = static_cast<std::uint32_t>(out[4 * i]) | static_cast<std::uint32_t>(out[4 * i + 1]) << 8 |
                   static_cast<std::uint32_t>(out[4 * i + 2]) << 16 | static_cast<std::uint32_t>(out[4 * i + 3]) << 24;
    for (int i = 1; i < 4; ++i) EXPECT_EQ(words[i], words[0]) << "one colour, one result";
    return words[0];
}

const ColourSpace kSpaces[] = {
    {YuvMatrix::Bt601, YuvRange::Limited},   {YuvMatrix::Bt601, YuvRange::Full},
    {YuvMatrix::Bt709, YuvRange::Limited},   {YuvMatrix::Bt709, YuvRange::Full},
    {YuvMatrix::Bt2020Ncl, YuvRange::Limited}, {YuvMatrix::Bt2020Ncl, YuvRange::Full},
};

// Black, white, the most saturated chroma of the nominal range in each corner,
// the code extremes (which clip), mid grey and a few colours between, on the
// 8-bit scale; 10-bit samples are these x 4 plus an offset that 8 bits cannot hold.
struct Sample {
    int y, u, v;
};

std::vector<Sample> samplesFor(ColourSpace space)
{
    const bool limited = space.range == YuvRange::Limited;
    const int black = limited ? 16 : 0, white = limited ? 235 : 255;
    const int low = limited ? 16 : 0, high = limited ? 240 : 255;
    return {{black, 128, 128}, {white, 128, 128}, {128, 128, 128}, {black, low, high}, {white, high, low},
            {81, 90, 240},     {145, 54, 34},     {41, 240, 110},  {0, 0, 0},          {255, 255, 255},
            {255, 0, 255},     {0, 255, 0},       {100, 200, 60},  {180, 30, 200}};
}

TEST(StreamColourRules, EveryMatrixAndRangeFollowsTheStandardCoefficients)
{
    int nearBoundary = 0, checked = 0;
    for (const ColourSpace space : kSpaces)
        for (const int depth : {8, 10})
            for (const rule::Output output : {rule::Output::Rgba8, rule::Output::Abgr10})
                for (const Sample s : samplesFor(space)) {
                    const int extra = depth == 10 ? 3 : 0;
                    const int scale = depth == 10 ? 4 : 1;
                    const int top = depth == 10 ? 1023 : 255;
                    auto code = [&](int c) { return std::min(c * scale + (c > 0 && c < 255 ? extra : 0), top); };
                    const int y = code(s.y), u = code(s.u), v = code(s.v);
                    const std::uint32_t word = convertPixel(space, depth, output, y, u, v);
                    const Rgb rgb = standardRgb(space, depth, y, u, v);
                    const double units[3] = {rgb.r, rgb.g, rgb.b};
                    EXPECT_EQ(alphaOf(word, output), 0u);
                    for (int c = 0; c < 3; ++c) {
                        const Expected e = expectedChannel(units[c], depth, output);
                        const unsigned got = channelOf(word, c, output);
                        ++checked;
                        if (e.nearBoundary) {
                            ++nearBoundary;
                            EXPECT_LE(got > e.code ? got - e.code : e.code - got, e.tolerance)
                                << nameOf(space, depth) << " Y " << y << " U " << u << " V " << v << " channel " << c
                                << " exact " << units[c] << " got " << got << " expected " << e.code;
                        } else {
                            EXPECT_EQ(got, e.code) << nameOf(space, depth) << (output == rule::Output::Rgba8
                                                                                   ? " RGBA8"
                                                                                   : " 10:10:10:2")
                                                   << " Y " << y << " U " << u << " V " << v << " channel " << c
                                                   << " exact " << units[c];
                        }
                    }
                }
    // The tolerance is for the rare sample on a boundary, not a way around the table.
    EXPECT_LT(nearBoundary * 20, checked);
}

TEST(StreamColourRules, BlackAndWhiteAreTheExtremesOfEveryOutput)
{
    for (const ColourSpace space : kSpaces) {
        const bool limited = space.range == YuvRange::Limited;
        struct Case {
            int depth, y, c;
            rule::Output output;
            std::uint32_t word;
        };
        const Case cases[] = {
            {8, limited ? 16 : 0, 128, rule::Output::Rgba8, 0},
            {8, limited ? 235 : 255, 128, rule::Output::Rgba8, 0x00FFFFFF},
            {8, limited ? 16 : 0, 128, rule::Output::Abgr10, 0},
            {8, limited ? 235 : 255, 128, rule::Output::Abgr10, 0x3FFFFFFF},
            {10, limited ? 64 : 0, 512, rule::Output::Rgba8, 0},
            {10, limited ? 940 : 1023, 512, rule::Output::Rgba8, 0x00FFFFFF},
            {10, limited ? 64 : 0, 512, rule::Output::Abgr10, 0},
            {10, limited ? 940 : 1023, 512, rule::Output::Abgr10, 0x3FFFFFFF},
        };
        for (const Case& c : cases)
            EXPECT_EQ(convertPixel(space, c.depth, c.output, c.y, c.c, c.c), c.word)
                << nameOf(space, c.depth) << " Y " << c.y;
    }
}

TEST(StreamColourRules, EightBitBt709LimitedIsTheOriginalRuleOnEveryLumaAndAChromaGrid)
{
    const YuvToRgbMatrix original = computeYuvToRgbMatrix();
    const YuvToRgb stream = yuvToRgb(kBt709Limited, 8, OutputScale::Eight);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(stream.m[i], original.m[i]);
    for (int y = 0; y < 256; ++y)
        for (int u = 0; u < 256; u += 3)
            for (int v = 0; v < 256; v += 3) {
                const std::uint32_t expected = rule::rgbaWord(original.m, y, u, v);
                const std::uint32_t got = rule::pixelWord<rule::Nv12Samples, rule::Output::Rgba8>(stream, y, u, v);
                if (got != expected) {
                    ADD_FAILURE() << "Y " << y << " U " << u << " V " << v;
                    return;
                }
            }
}

TEST(StreamColourRules, EightBitStreamsIntoTenBitsScaleTheEightBitResult)
{
    // Every 8-bit code maps to round(code x 1023 / 255), so 8-bit decoding into
    // 10:10:10:2 loses nothing and 0 and 255 reach 0 and 1023.
    for (unsigned code = 0; code < 256; ++code)
        EXPECT_EQ(rule::tenBitsOf(code), static_cast<unsigned>(std::floor(code * 1023.0 / 255.0 + 0.5)));
    for (const ColourSpace space : kSpaces)
        for (const Sample s : samplesFor(space)) {
            const std::uint32_t eight = convertPixel(space, 8, rule::Output::Rgba8, s.y, s.u, s.v);
            const std::uint32_t ten = convertPixel(space, 8, rule::Output::Abgr10, s.y, s.u, s.v);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(channelOf(ten, c, rule::Output::Abgr10),
                          rule::tenBitsOf(channelOf(eight, c, rule::Output::Rgba8)));
        }
}

TEST(StreamColourRules, TenBitLimitedBt709KeepsTheOriginalMatrixAtFullPrecision)
{
    // A 10-bit sample that is an 8-bit one x 4 gives the original rule's value,
    // rounded instead of truncated; the extra two bits move the result.
    const YuvToRgbMatrix original = computeYuvToRgbMatrix();
    for (const Sample s : std::vector<Sample>{{81, 90, 240}, {145, 54, 34}, {200, 100, 160}}) {
        const std::uint32_t word = convertPixel(kBt709Limited, 10, rule::Output::Rgba8, s.y * 4, s.u * 4, s.v * 4);
        for (int c = 0; c < 3; ++c) {
            const float* row = original.m + 3 * c;
            const double exact = row[0] * (s.y - 16.0) + row[1] * (s.u - 128.0) + row[2] * (s.v - 128.0);
            EXPECT_EQ(channelOf(word, c, rule::Output::Rgba8),
                      static_cast<unsigned>(std::floor(clampTo(exact, 255) + 0.5)));
        }
    }
    const std::uint32_t plain = convertPixel(kBt709Limited, 10, rule::Output::Abgr10, 400, 512, 512);
    const std::uint32_t raised = convertPixel(kBt709Limited, 10, rule::Output::Abgr10, 401, 512, 512);
    EXPECT_GT(channelOf(raised, 0, rule::Output::Abgr10), channelOf(plain, 0, rule::Output::Abgr10));
}

// Each pixel takes its own luma and its block's chroma pair, in every block an
// odd last column or row cuts too; the row padding keeps what it held.
TEST(StreamColourRules, FramesShareChromaByBlockToTheOddLastRowAndColumn)
{
    const ColourSpace space{YuvMatrix::Bt601, YuvRange::Full};
    for (const test::FrameSize k : test::kOddAndEvenSizes)
        for (const int depth : {8, 10})
            for (const rule::Output output : {rule::Output::Rgba8, rule::Output::Abgr10}) {
                const bool ten = output == rule::Output::Abgr10;
                SCOPED_TRACE(testing::Message() << k.w << "x" << k.h << " " << depth << "-bit into "
                                                << (ten ? "10:10:10:2" : "RGBA8"));
                const test::Yuv420Pattern frame(k.w, k.h, depth, 2); // padded rows
                const YuvToRgb conversion = yuvToRgb(space, depth, ten ? OutputScale::Ten : OutputScale::Eight);
                const int outPitch = 4 * k.w + 4;
                Bytes out(static_cast<std::size_t>(outPitch) * k.h, 0xEE);
                (ten ? reference::stream_yuv_to_abgr10 : reference::stream_yuv_to_rgba8)(
                    frame.bytes.data(), frame.pitch, depth, conversion, out.data(), outPitch, k.w, k.h);
                for (int r = 0; r < k.h; ++r) {
                    for (int c = 0; c < k.w; ++c) {
                        EXPECT_EQ(test::pixelAt(out, outPitch, r, c),
                                  test::streamPixelWord(conversion, depth, ten, frame.luma(r, c), frame.u(r, c),
                                                        frame.v(r, c)))
                            << "row " << r << " column " << c;
                    }
                    for (int b = 4 * k.w; b < outPitch; ++b) EXPECT_EQ(out[r * outPitch + b], 0xEE) << "row " << r;
                }
            }
}

TEST(StreamColourRules, LaunchChecksRefuseWhatWouldLeaveTheBuffers)
{
    alignas(8) static std::uint8_t yuv[256], rgb[256];
    EXPECT_EQ(checkStreamColourLaunch(yuv, 8, 10, rgb, 16, 4, 2), LaunchCheck::Launch);
    EXPECT_EQ(checkStreamColourLaunch(yuv, 4, 8, rgb, 16, 4, 2), LaunchCheck::Launch);
    EXPECT_EQ(checkStreamColourLaunch(yuv, 0, 10, rgb, 16, 0, 2), LaunchCheck::NothingToDo);
    EXPECT_EQ(checkStreamColourLaunch(yuv, 7, 10, rgb, 16, 4, 2), LaunchCheck::Invalid) << "P016 pitch short";
    EXPECT_EQ(checkStreamColourLaunch(yuv, 9, 10, rgb, 16, 4, 2), LaunchCheck::Invalid) << "P016 pitch odd";
    EXPECT_EQ(checkStreamColourLaunch(yuv + 1, 8, 10, rgb, 16, 4, 2), LaunchCheck::Invalid) << "P016 misaligned";
    EXPECT_EQ(checkStreamColourLaunch(yuv, 8, 12, rgb, 16, 4, 2), LaunchCheck::Invalid) << "12-bit";
    EXPECT_EQ(checkStreamColourLaunch(yuv, 8, 10, rgb, 15, 4, 2), LaunchCheck::Invalid) << "RGB pitch short";
    EXPECT_EQ(checkStreamColourLaunch(yuv, 8, 10, nullptr, 16, 4, 2), LaunchCheck::Invalid);
    EXPECT_EQ(checkStreamColourLaunch(yuv, 8, 10, rgb, 16, -4, 2), LaunchCheck::Invalid);
    EXPECT_EQ(checkStreamColourLaunch(yuv, 8, 10, rgb, 12, 3, 3), LaunchCheck::Launch) << "odd sides";
    EXPECT_EQ(checkStreamColourLaunch(yuv, 6, 10, rgb, 12, 3, 3), LaunchCheck::Invalid) << "no last chroma pair";
    EXPECT_EQ(checkStreamColourLaunch(yuv, 3, 8, rgb, 12, 3, 3), LaunchCheck::Invalid) << "no last chroma pair";
    EXPECT_TRUE(wordStoresAreAligned(rgb, 16));
    EXPECT_FALSE(wordStoresAreAligned(rgb + 2, 16));
    EXPECT_FALSE(wordStoresAreAligned(rgb, 14));
}

} // namespace
} // namespace vidlane2
