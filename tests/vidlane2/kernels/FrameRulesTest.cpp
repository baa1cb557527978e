// The frame-conversion kernels' rules, run over the kernels' own grids on the CPU.
#include "KernelReference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace vidlane2 {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kUntouched = 0xA5;

Bytes randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

struct Format {
    const char* name;
    std::uint32_t bytesPer2Pixels; // packed bytes of two pixels: 1, 2, 4, 8
    void (*encode)(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t);
    void (*decode)(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t);
};

const Format kFormats[] = {
    {"uint4", 1, reference::uint4_to_nv12, reference::nv12_to_uint4},
    {"uint8", 2, reference::uint8_to_nv12, reference::nv12_to_uint8},
    {"uint16", 4, reference::uint16_to_nv12, reference::nv12_to_uint16},
    {"uint32", 8, reference::uint32_to_nv12, reference::nv12_to_uint32},
};

// Encode then decode gives the values back; the chroma plane is zero where the
// frame lies and untouched beyond it, including the last chroma row of an odd height.
TEST(FrameRules, ScalarRoundTripsAreExactAndZeroTheChroma)
{
    const std::uint32_t sizes[][2] = {{1, 1}, {2, 1}, {1, 2}, {3, 3}, {7, 5}, {16, 2}, {33, 17}, {64, 9}, {257, 31}};
    unsigned seed = 1;
    for (const Format& f : kFormats) {
        for (const auto& size : sizes) {
            const std::uint32_t w = size[0], h = size[1];
            SCOPED_TRACE(testing::Message() << f.name << " " << w << "x" << h);
            const std::uint32_t packedRow = (w * f.bytesPer2Pixels + 1) / 2;
            const std::uint32_t lumaRow = f.bytesPer2Pixels == 1 ? w : packedRow;
            const std::uint32_t srcPitch = packedRow + 3, nv12Pitch = lumaRow + 5, outPitch = packedRow + 1;
            const std::uint32_t chromaRows = (h + 1) / 2; // as an encoder allocates it
            Bytes src = randomBytes(std::size_t{srcPitch} * h, seed++);
            Bytes nv12((h + chromaRows) * std::size_t{nv12Pitch}, kUntouched);
            Bytes out(std::size_t{outPitch} * h, kUntouched);

            f.encode(src.data(), srcPitch, nv12.data(), nv12Pitch, w, h);
            f.decode(nv12.data(), nv12Pitch, out.data(), outPitch, w, h);

            for (std::uint32_t y = 0; y < h; ++y) {
                for (std::uint32_t c = 0; c < outPitch; ++c) {
                    std::uint8_t expected = c < packedRow ? src[y * srcPitch + c] : kUntouched;
                    if (f.bytesPer2Pixels == 1 && w % 2 == 1 && c == packedRow - 1) expected &= 0xF0;
                    ASSERT_EQ(out[y * outPitch + c], expected) << "row " << y << " byte " << c;
                }
            }
            for (std::uint32_t r = 0; r < chromaRows; ++r) {
                for (std::uint32_t c = 0; c < nv12Pitch; ++c) {
                    const bool written = r < h / 2 && c < lumaRow;
                    ASSERT_EQ(nv12[(h + r) * nv12Pitch + c], written ? 0 : kUntouched) << "chroma row " << r << " col " << c;
                }
            }
        }
    }
}

// How values land in the luma plane: nibbles high first, 16-bit low bytes on the
// left, 32-bit values in four byte tiles.
TEST(FrameRules, LumaLayoutOfEachFormat)
{
    const std::uint32_t w = 3, h = 2, pitch = 16;
    Bytes nv12(pitch * 3, 0xEE);

    const Bytes nibbles = {0xAB, 0xC7, 0x12, 0x34};
    reference::uint4_to_nv12(nibbles.data(), 2, nv12.data(), pitch, w, h);
    EXPECT_EQ((Bytes{nv12.begin(), nv12.begin() + 4}), (Bytes{0x0A, 0x0B, 0x0C, 0xEE}));
    EXPECT_EQ((Bytes{nv12.begin() + pitch, nv12.begin() + pitch + 3}), (Bytes{0x01, 0x02, 0x03}));

    const Bytes words = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A};
    reference::uint16_to_nv12(words.data(), 6, nv12.data(), pitch, w, 1);
    EXPECT_EQ((Bytes{nv12.begin(), nv12.begin() + 6}), (Bytes{0x34, 0x78, 0xBC, 0x12, 0x56, 0x9A}));

    const Bytes dwords = {0x01, 0x02, 0x03, 0x04, 0x11, 0x12, 0x13, 0x14};
    reference::uint32_to_nv12(dwords.data(), 8, nv12.data(), pitch, 2, 1);
    EXPECT_EQ((Bytes{nv12.begin(), nv12.begin() + 8}), (Bytes{0x01, 0x11, 0x02, 0x12, 0x03, 0x13, 0x04, 0x14}));
}

// A decoded sample keeps only its low nibble: it becomes the byte's high nibble.
TEST(FrameRules, Nv12ToUint4TakesTheLowNibbleOfEachSample)
{
    const Bytes luma = {0x1F, 0x2E, 0x3D};
    Bytes out(2, kUntouched);
    reference::nv12_to_uint4(luma.data(), 3, out.data(), 2, 3, 1);
    EXPECT_EQ(out, (Bytes{0xFE, 0xD0}));
}

// ---- texture kernels ----------------------------------------------------------------

std::uint32_t tenBitWord(float r, float g, float b, float a)
{
    const TexelF texel{r, g, b, a};
    std::uint32_t word = 0;
    reference::image_flip_v_tex_half_hdr_10bit({&texel, 1, 1}, reinterpret_cast<std::uint8_t*>(&word), 4, 1, 1);
    return word;
}

std::uint32_t eightBitWord(float r, float g, float b, float a)
{
    const TexelF texel{r, g, b, a};
    std::uint32_t word = 0;
    reference::image_flip_v_tex_half({&texel, 1, 1}, reinterpret_cast<std::uint8_t*>(&word), 4, 1, 1);
    return word;
}

TEST(FrameRules, SrgbCurvePoints)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float c;
        std::uint32_t code10, code8;
    };
    const Case cases[] = {
        {1.0f, 1023, 255}, {0.2f, 496, 124},   {2.0f, 1023, 255}, {0.0f, 0, 0},       {-0.5f, 0, 0},
        {nan, 0, 0},       {0.001f, 13, 3},    {0.5f, 753, 188},  {inf, 1023, 255},   {-inf, 0, 0},
        {65504.0f, 1023, 255}, {-65504.0f, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "c = " << k.c);
        EXPECT_EQ(tenBitWord(k.c, 0, 0, 0) & 1023, k.code10);
        EXPECT_EQ(tenBitWord(0, k.c, 0, 0) >> 10 & 1023, k.code10);
        EXPECT_EQ(tenBitWord(0, 0, k.c, 0) >> 20 & 1023, k.code10);
        EXPECT_EQ(eightBitWord(k.c, k.c, k.c, k.c), k.code8 * 0x01010101u);
    }
    EXPECT_NEAR(rule::srgbEncode(0.2f), 0.4845f, 1e-4f);
    EXPECT_NEAR(rule::srgbEncode(2.0f), 1.353f, 1e-3f);
    EXPECT_NEAR(rule::srgbEncode(1.0f), 1.0f, 1e-6f);
}

// Only the low two bits of the alpha code reach bits 30-31.
TEST(FrameRules, TenBitAlphaBits)
{
    EXPECT_EQ(tenBitWord(0, 0, 0, 1.0f) >> 30, 3u);
    EXPECT_EQ(tenBitWord(0, 0, 0, 0.2f) >> 30, 0u);            // code 496
    EXPECT_EQ(tenBitWord(0, 0, 0, 0.0f) >> 30, 0u);
    EXPECT_EQ(tenBitWord(1.0f, 1.0f, 1.0f, 1.0f), 0xFFFFFFFFu);
}

// The 8-bit code is the 10-bit code without its two low bits.
TEST(FrameRules, EightBitCodesAreTheTopOfTheTenBitCodes)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> channel(-0.1f, 1.2f);
    for (int i = 0; i < 20000; ++i) {
        const float c = channel(rng);
        ASSERT_EQ(eightBitWord(c, 0, 0, 0) & 255, (tenBitWord(c, 0, 0, 0) & 1023) >> 2) << "c = " << c;
    }
}

// Texel (x, y) of a texture as one distinct value per pixel.
std::vector<Texel8> numberedTexels(std::uint32_t w, std::uint32_t h)
{
    std::vector<Texel8> t(std::size_t{w} * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            t[y * w + x] = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0x5A, 0xFF};
    return t;
}

// Guard rows above and below the frame must keep their bytes.
struct GuardedFrame {
    static constexpr std::uint32_t kGuardRows = 2;
    std::uint32_t pitch, height;
    Bytes bytes;
    GuardedFrame(std::uint32_t p, std::uint32_t h) : pitch(p), height(h), bytes((h + 2 * kGuardRows) * p, kUntouched) {}
    std::uint8_t* frame() { return bytes.data() + kGuardRows * pitch; }
    std::uint32_t word(std::uint32_t row, std::uint32_t x) const
    {
        std::uint32_t v;
        std::memcpy(&v, bytes.data() + (kGuardRows + row) * pitch + 4 * x, 4);
        return v;
    }
    bool guardsUntouched() const
    {
        for (std::uint32_t r = 0; r < kGuardRows * pitch; ++r)
            if (bytes[r] != kUntouched || bytes[bytes.size() - 1 - r] != kUntouched) return false;
        return true;
    }
};

TEST(FrameRules, TextureFlipsMapRowsAndStayInsideTheFrame)
{
    const std::uint32_t w = 5, h = 3, pitch = 4 * w + 8;
    const auto texels = numberedTexels(w, h);
    GuardedFrame out(pitch, h);
    reference::image_flip_v_tex({texels.data(), w, h}, out.frame(), pitch, w, h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            ASSERT_EQ(out.word(h - 1 - y, x), x | y << 8 | 0x5Au << 16 | 0xFFu << 24) << x << "," << y;
    EXPECT_EQ(out.word(0, w), 0xA5A5A5A5u); // the pitch padding
    EXPECT_TRUE(out.guardsUntouched());

    // Float texels carry the source row in red, so the rows of the output tell where they came from.
    std::vector<TexelF> rows(std::size_t{w} * h);
    for (std::uint32_t i = 0; i < rows.size(); ++i) rows[i] = {1.0f, 0, 0, static_cast<float>(i / w) / 4};
    for (bool flipped : {true, false}) {
        GuardedFrame hdr(pitch, h);
        if (flipped)
            reference::image_flip_v_tex_half_hdr_10bit({rows.data(), w, h}, hdr.frame(), pitch, w, h);
        else
            reference::image_no_flip_v_tex_half_hdr_10bit({rows.data(), w, h}, hdr.frame(), pitch, w, h);
        for (std::uint32_t y = 0; y < h; ++y)
            EXPECT_EQ(hdr.word(flipped ? h - 1 - y : y, 0), tenBitWord(1.0f, 0, 0, static_cast<float>(y) / 4));
        EXPECT_TRUE(hdr.guardsUntouched());
    }
}

// A frame larger than the texture reads the clamped edge texels.
TEST(FrameRules, TextureReadsClampAtTheEdges)
{
    const auto texels = numberedTexels(2, 2);
    GuardedFrame out(16, 3);
    reference::image_flip_v_tex({texels.data(), 2, 2}, out.frame(), 16, 4, 3);
    EXPECT_EQ(out.word(0, 3) & 0xFFFF, 0x0101u); // texel (3, 2) clamps to (1, 1)
    EXPECT_EQ(out.word(2, 0) & 0xFFFF, 0x0000u);
}

TEST(FrameRules, ExchangeFlipSwapsBothBuffers)
{
    const std::uint32_t w = 3, h = 5, pitch = 4 * w + 4;
    GuardedFrame a(pitch, h), b(pitch, h);
    std::uint32_t value = 1;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::memcpy(a.frame() + y * pitch + 4 * x, &value, 4);
            const std::uint32_t other = value | 0x80000000u;
            std::memcpy(b.frame() + y * pitch + 4 * x, &other, 4);
            ++value;
        }
    reference::image_flip_v(a.frame(), pitch, b.frame(), pitch, w, h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t original = (h - 1 - y) * w + x + 1;
            EXPECT_EQ(b.word(y, x), original);
            EXPECT_EQ(a.word(y, x), original | 0x80000000u);
        }
    EXPECT_TRUE(a.guardsUntouched());
    EXPECT_TRUE(b.guardsUntouched());
}

} // namespace
} // namespace vidlane2
