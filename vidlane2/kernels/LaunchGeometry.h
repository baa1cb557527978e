// Grid and block of every kernel launch, shared by the launch wrappers and the
// CPU reference so that both walk exactly the same threads.
#pragma once

#include <cstdint>

namespace vidlane2 {

struct Dim3u {
    std::uint32_t x, y, z;
};

struct LaunchShape {
    Dim3u grid;
    Dim3u block;
};

// 256 threads a block: blocks of 32 or 64 cap occupancy at the per-SM block limit,
// and a 32-wide warp row reads whole 32-byte sectors of 8-bit rows
// (docs/vidlane2-kernels.md).
inline constexpr Dim3u kFrameBlock{32, 8, 1};
inline constexpr Dim3u kColourBlock{32, 8, 1};

namespace geometry {

// Blocks needed for n threads; 64-bit so that n near 2^32 cannot wrap.
inline constexpr std::uint32_t blocksFor(std::uint64_t n, std::uint32_t perBlock)
{
    return static_cast<std::uint32_t>((n + perBlock - 1) / perBlock);
}

} // namespace geometry

// One thread a pixel: the memory kernels (except nv12_to_uint4), the texture
// kernels and image_flip_v.
inline constexpr LaunchShape pixelLaunch(std::uint32_t width, std::uint32_t height, Dim3u block = kFrameBlock)
{
    return {{geometry::blocksFor(width, block.x), geometry::blocksFor(height, block.y), 1}, block};
}

// nv12_to_uint4: one thread per output byte, which packs two pixels.
inline constexpr LaunchShape nibblePairLaunch(std::uint32_t width, std::uint32_t height, Dim3u block = kFrameBlock)
{
    return {{geometry::blocksFor((std::uint64_t{width} + 1) / 2, block.x), geometry::blocksFor(height, block.y), 1},
            block};
}

// yuv_to_rgba: one thread per 2 x 2 pixel block.
inline constexpr LaunchShape colourLaunch(std::uint32_t width, std::uint32_t height, Dim3u block = kColourBlock)
{
    return {{geometry::blocksFor(width, 2 * block.x), geometry::blocksFor(height, 2 * block.y), 1}, block};
}

} // namespace vidlane2
