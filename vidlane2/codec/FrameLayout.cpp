#include "codec/FrameLayout.h"

#include "Vidlane2.h"
#include "base/Exception.h"

#include <limits>
#include <string>

namespace vidlane2 {

namespace {

// Bytes a pixel times two, so that the 4-bit format stays integral.
std::uint32_t halfBytesPerPixel(std::uint32_t format)
{
    switch (format) {
    case VIDLANE_RGBA32:
    case VIDLANE_UINT32:
    case VIDLANE_R16G16B16A16:
        return 8;
    case VIDLANE_UINT4:
        return 1;
    case VIDLANE_UINT8:
        return 2;
    case VIDLANE_UINT16:
        return 4;
    case VIDLANE_R16G16B16A16_HDR10:
        return 16;
    default:
        return 0;
    }
}

std::uint32_t widthFactor(std::uint32_t format)
{
    switch (format) {
    case VIDLANE_UINT16:
        return 2;
    case VIDLANE_UINT32:
        return 4;
    default:
        return 1;
    }
}

} // namespace

std::uint32_t frameSize(std::uint32_t format, std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t pixels = width * height;
    switch (format) {
    case VIDLANE_RGBA32:
    case VIDLANE_UINT32:
    case VIDLANE_R16G16B16A16:
        return pixels * 4;
    case VIDLANE_UINT4:
        return pixels / 2;
    case VIDLANE_UINT8:
        return pixels;
    case VIDLANE_UINT16:
        return pixels * 2;
    case VIDLANE_R16G16B16A16_HDR10:
        return pixels * 8;
    default:
        return 0;
    }
}

std::uint32_t effectiveWidth(std::uint32_t format, std::uint32_t width)
{
    return width * widthFactor(format);
}

bool isKnownFormat(std::uint32_t format)
{
    return format <= VIDLANE_R16G16B16A16_HDR10;
}

void checkFrameDimensions(std::uint32_t format, std::uint32_t width, std::uint32_t height)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0)
        throw Exception("Invalid frame size " + size + ": width and height must not be 0");
    if (format == VIDLANE_UINT4 && width % 2 != 0)
        throw Exception("Invalid frame size " + size + ": the UINT4 format needs an even width");
    constexpr std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
    const std::uint64_t pixels = std::uint64_t{width} * height;
    // The 4-bit format halves the pixel count only after it is formed in 32 bits.
    const std::uint64_t bytes = format == VIDLANE_UINT4 ? pixels : pixels * halfBytesPerPixel(format) / 2;
    if (bytes > limit || std::uint64_t{width} * widthFactor(format) > limit)
        throw Exception("Invalid frame size " + size + ": a frame must be smaller than 4 GiB");
}

} // namespace vidlane2
