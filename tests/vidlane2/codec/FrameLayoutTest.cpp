#include "Vidlane2.h"
#include "base/Exception.h"
#include "codec/FrameLayout.h"

#include <gtest/gtest.h>

#include <string>

namespace vidlane2 {
namespace {

struct LayoutCase {
    uint32_t format;
    uint32_t width, height;
    uint32_t frameBytes;
    uint32_t sessionWidth;
};

TEST(FrameLayout, SizeAndSessionWidthOfEveryFormat)
{
    const LayoutCase cases[] = {
        {VIDLANE_RGBA32, 640, 480, 1228800, 640},
        {VIDLANE_UINT4, 640, 480, 153600, 640},
        {VIDLANE_UINT4, 3, 3, 4, 3}, // (w x h) / 2, rounded down
        {VIDLANE_UINT8, 640, 480, 307200, 640},
        {VIDLANE_UINT16, 640, 480, 614400, 1280},
        {VIDLANE_UINT32, 320, 240, 307200, 1280},
        {VIDLANE_R16G16B16A16, 640, 480, 1228800, 640},
        {VIDLANE_R16G16B16A16_HDR10, 640, 480, 2457600, 640},
        {7, 640, 480, 0, 640},
        {0xFFFFFFFF, 640, 480, 0, 640},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format));
        EXPECT_EQ(frameSize(c.format, c.width, c.height), c.frameBytes);
        EXPECT_EQ(effectiveWidth(c.format, c.width), c.sessionWidth);
    }
}

TEST(FrameLayout, FrameSizeWrapsIn32Bits)
{
    // The 32-bit result is what sizes buffers, which is why such frames are refused.
    EXPECT_EQ(frameSize(VIDLANE_RGBA32, 65536, 16384), 0u);
    EXPECT_EQ(frameSize(VIDLANE_UINT4, 65536, 65536), 0u);
}

struct DimensionCase {
    uint32_t format;
    uint32_t width, height;
    const char* error; // null when accepted
};

TEST(FrameLayout, DimensionChecks)
{
    const DimensionCase cases[] = {
        {VIDLANE_RGBA32, 1920, 1080, nullptr},
        {VIDLANE_RGBA32, 0, 0, "Invalid frame size 0 x 0: width and height must not be 0"},
        {VIDLANE_UINT8, 640, 0, "Invalid frame size 640 x 0: width and height must not be 0"},
        {VIDLANE_UINT4, 641, 480, "Invalid frame size 641 x 480: the UINT4 format needs an even width"},
        {VIDLANE_UINT8, 641, 481, nullptr},
        {VIDLANE_RGBA32, 32768, 32767, nullptr},           // 4 GiB - 128 KiB
        {VIDLANE_RGBA32, 32768, 32768, "Invalid frame size 32768 x 32768: a frame must be smaller than 4 GiB"},
        {VIDLANE_R16G16B16A16_HDR10, 32768, 16384,
         "Invalid frame size 32768 x 16384: a frame must be smaller than 4 GiB"},
        {VIDLANE_UINT4, 65536, 65535, nullptr}, // w x h still fits before the halving
        {VIDLANE_UINT4, 65536, 65536, "Invalid frame size 65536 x 65536: a frame must be smaller than 4 GiB"},
        {VIDLANE_UINT32, 0x40000000, 1, "Invalid frame size 1073741824 x 1: a frame must be smaller than 4 GiB"},
        {9, 0xFFFFFFFF, 0xFFFFFFFF, nullptr}, // unknown formats have no frame in memory
    };
    for (const DimensionCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.format) + ": " + std::to_string(c.width) + " x " + std::to_string(c.height));
        if (!c.error) {
            EXPECT_NO_THROW(checkFrameDimensions(c.format, c.width, c.height));
            continue;
        }
        try {
            checkFrameDimensions(c.format, c.width, c.height);
            ADD_FAILURE() << "accepted";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

} // namespace
} // namespace vidlane2
