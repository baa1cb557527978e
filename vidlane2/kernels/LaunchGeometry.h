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

inline constexpr Dim3u kFrameBlock{16, 2, 1};
inline constexpr Dim3u kColourBlock{32, 2, 1};

// One thread a pixel: the memory kernels (except nv12_to_uint4), the flipping
// texture kernels and image_flip_v.
inline constexpr LaunchShape pixelLaunch(std::uint32_t width, std::uint32_t height)
{
    return {{width / 16 + 1, height / 2 + 1, 1}, kFrameBlock};
}

// nv12_to_uint4: one thread per output byte, which packs two pixels.
inline constexpr LaunchShape nibblePairLaunch(std::uint32_t width, std::uint32_t height)
{
    return {{width / 32 + 1, height / 2 + 1, 1}, kFrameBlock};
}

// image_no_flip_v_tex_half_hdr_10bit: twice the rows it needs; the spare threads return.
inline constexpr LaunchShape noFlipTextureLaunch(std::uint32_t width, std::uint32_t height)
{
    return {{width / 16 + 1, height + 1, 1}, kFrameBlock};
}

// yuv_to_rgba: one thread per 2 x 2 pixel block, 64 x 4 pixels a block.
inline constexpr LaunchShape colourLaunch(std::uint32_t width, std::uint32_t height)
{
    return {{(width + 63) / 64, (height + 3) / 4, 1}, kColourBlock};
}

} // namespace vidlane2
