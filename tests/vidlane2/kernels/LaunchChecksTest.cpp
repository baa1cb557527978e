// Which launches the wrappers refuse before anything reaches the GPU.
#include "LaunchChecks.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vidlane2 {
namespace {

// Stand-in device addresses: the checks look at numbers only.
const void* const kSrc = reinterpret_cast<const void*>(std::uintptr_t{0x10000000});
const void* const kDst = reinterpret_cast<const void*>(std::uintptr_t{0x90000000});

TEST(LaunchChecks, FrameKernels)
{
    using K = FrameKernel;
    using C = LaunchCheck;
    const auto* odd = static_cast<const std::uint8_t*>(kDst) + 2;
    struct Case {
        const char* what;
        K kernel;
        const void* src;
        std::uint32_t srcPitch;
        const void* dst;
        std::uint32_t dstPitch, w, h;
        C expected;
    };
    const Case cases[] = {
        {"empty width", K::Uint8ToNv12, nullptr, 0, nullptr, 0, 0, 10, C::NothingToDo},
        {"empty height", K::ImageFlipV, kSrc, 4, kDst, 4, 1, 0, C::NothingToDo},
        {"1x1 uint4", K::Uint4ToNv12, kSrc, 1, kDst, 1, 1, 1, C::Launch},
        {"tight packed rows", K::Uint32ToNv12, kSrc, 4 * 7, kDst, 4 * 7, 7, 3, C::Launch},
        {"null source", K::Uint8ToNv12, nullptr, 8, kDst, 8, 8, 2, C::Invalid},
        {"null destination", K::Nv12ToUint8, kSrc, 8, nullptr, 8, 8, 2, C::Invalid},
        {"source pitch short of a row", K::Uint16ToNv12, kSrc, 2 * 8 - 1, kDst, 16, 8, 2, C::Invalid},
        {"NV12 pitch short of the widened luma row", K::Uint32ToNv12, kSrc, 32, kDst, 31, 8, 2, C::Invalid},
        {"odd uint4 width needs the padding nibble's byte", K::Uint4ToNv12, kSrc, 2, kDst, 5, 5, 2, C::Invalid},
        {"odd uint4 width with room", K::Uint4ToNv12, kSrc, 3, kDst, 5, 5, 2, C::Launch},
        {"uint4 decode into rows of width / 2", K::Nv12ToUint4, kSrc, 5, kDst, 2, 5, 2, C::Invalid},
        {"uint4 decode, even width", K::Nv12ToUint4, kSrc, 4, kDst, 2, 4, 2, C::Launch},
        {"decode reads the luma plane only", K::Nv12ToUint16, kSrc, 8, kDst, 8, 4, 3, C::Launch},
        {"texture destination short", K::TextureToRgba, nullptr, 0, kDst, 4 * 9 - 4, 9, 2, C::Invalid},
        {"texture destination misaligned", K::TextureToRgba, nullptr, 0, odd, 40, 9, 2, C::Invalid},
        {"texture pitch misaligned", K::TextureToRgba, nullptr, 0, kDst, 38, 9, 2, C::Invalid},
        {"texture source is not a buffer", K::TextureToRgba, nullptr, 0, kDst, 36, 9, 2, C::Launch},
        {"flip of two buffers", K::ImageFlipV, kSrc, 16, kDst, 16, 4, 4, C::Launch},
        {"flip in place", K::ImageFlipV, kSrc, 16, kSrc, 16, 4, 4, C::Invalid},
        {"flip of overlapping buffers", K::ImageFlipV, kSrc, 16, static_cast<const std::uint8_t*>(kSrc) + 60, 16, 4,
         4, C::Invalid},
        {"flip source pitch short", K::ImageFlipV, kSrc, 12, kDst, 16, 4, 4, C::Invalid},
        // 32-bit offsets: the NV12 surface of 65536 x 65536 luma needs 6 GiB.
        {"surface past 4 GiB", K::Uint8ToNv12, kSrc, 65536, kDst, 65536, 65536, 65536, C::Invalid},
        {"surface just inside 4 GiB", K::Uint8ToNv12, kSrc, 65536, kDst, 65536, 65536, 43690, C::Launch},
        {"row width past 4 GiB", K::Uint32ToNv12, kSrc, 0xFFFFFFFF, kDst, 0xFFFFFFFF, 0x40000000, 1, C::Invalid},
    };
    for (const Case& k : cases)
        EXPECT_EQ(checkFrameLaunch(k.kernel, k.src, k.srcPitch, k.dst, k.dstPitch, k.w, k.h), k.expected) << k.what;
}

TEST(LaunchChecks, ColourConversion)
{
    using C = LaunchCheck;
    struct Case {
        const char* what;
        const void* nv12;
        int nv12Pitch;
        const void* rgba;
        int rgbaPitch, w, h;
        C expected;
    };
    const Case cases[] = {
        {"full HD", kSrc, 1920, kDst, 7680, 1920, 1080, C::Launch},
        {"odd width, even pitch", kSrc, 6, kDst, 20, 5, 3, C::Launch},
        {"odd width, no room for the last chroma pair", kSrc, 5, kDst, 20, 5, 3, C::Invalid},
        {"odd width, odd pitch with room", kSrc, 7, kDst, 20, 5, 3, C::Launch},
        {"empty", kSrc, 0, kDst, 0, 0, 0, C::NothingToDo},
        {"negative width", kSrc, 8, kDst, 32, -8, 2, C::Invalid},
        {"negative pitch", kSrc, -8, kDst, 32, 8, 2, C::Invalid},
        {"NV12 pitch short", kSrc, 7, kDst, 32, 8, 2, C::Invalid},
        {"RGBA pitch short", kSrc, 8, kDst, 31, 8, 2, C::Invalid},
        {"null frame", nullptr, 8, kDst, 32, 8, 2, C::Invalid},
    };
    for (const Case& k : cases)
        EXPECT_EQ(checkColourLaunch(k.nv12, k.nv12Pitch, k.rgba, k.rgbaPitch, k.w, k.h), k.expected) << k.what;

    EXPECT_TRUE(colourAccessIsAligned(kSrc, 1920, kDst, 7680));
    EXPECT_FALSE(colourAccessIsAligned(kSrc, 5, kDst, 20)); // odd width: byte-wide accesses
    EXPECT_TRUE(colourAccessIsAligned(kSrc, 6, kDst, 24)); // any even width, packed
    EXPECT_FALSE(colourAccessIsAligned(kSrc, 6, static_cast<const std::uint8_t*>(kDst) + 4, 24));
    EXPECT_FALSE(colourAccessIsAligned(static_cast<const std::uint8_t*>(kSrc) + 1, 6, kDst, 32));
}

// The colour kernels read a chroma row for an odd last luma row and the chroma
// pair of an odd last column.
TEST(LaunchChecks, TheColourSourceWalkReachesTheLastChromaRowAndPair)
{
    struct Case {
        std::uint64_t w, h, sampleBytes, rowBytes, rows;
    };
    const Case cases[] = {
        {4, 2, 1, 4, 3}, {5, 3, 1, 6, 5}, {3, 3, 2, 8, 5},
        {1, 1, 1, 2, 2}, {4, 1, 2, 8, 2}, {1920, 1080, 2, 3840, 1620},
    };
    for (const Case& k : cases) {
        const BufferWalk walk = yuv420Walk(kSrc, 4096, k.sampleBytes, k.w, k.h);
        EXPECT_EQ(walk.rowBytes, k.rowBytes) << k.w << "x" << k.h;
        EXPECT_EQ(walk.rows, k.rows) << k.w << "x" << k.h;
        EXPECT_EQ(walk.align, k.sampleBytes);
    }
}

} // namespace
} // namespace vidlane2
