// The kernels run on the CPU: every thread of the kernel's own grid executes the
// kernel's per-thread rule, in host memory. Tests compare the GPU against these.
// Arguments are those of the kernels; the caller provides sound buffers.
#pragma once

#include "ColourRules.h"
#include "FrameRules.h"
#include "LaunchGeometry.h"
#include "StreamColourRules.h"

#include <cstdint>

namespace vidlane2::reference {

using u8 = std::uint8_t;
using u32 = std::uint32_t;

// Every thread of the grid, in block order, as (global x, global y).
template <class Body>
void forEachThread(const LaunchShape& shape, Body body)
{
    for (u32 by = 0; by < shape.grid.y; ++by)
        for (u32 bx = 0; bx < shape.grid.x; ++bx)
            for (u32 ty = 0; ty < shape.block.y; ++ty)
                for (u32 tx = 0; tx < shape.block.x; ++tx)
                    body(bx * shape.block.x + tx, by * shape.block.y + ty);
}

// A texture as the texture unit samples it for the kernels: point filtering,
// clamp addressing, unnormalised coordinates. texels holds width x height, row by row.
template <class Texel>
struct HostTexture {
    const Texel* texels;
    u32 width;
    u32 height;

    Texel at(float u, float v) const
    {
        const auto clampIndex = [](float c, u32 size) -> u32 {
            if (!(c >= 0.0f)) return 0;
            const float last = static_cast<float>(size - 1);
            return c >= last ? size - 1 : static_cast<u32>(c);
        };
        return texels[static_cast<std::size_t>(clampIndex(v, height)) * width + clampIndex(u, width)];
    }
    Texel8 texel8(float u, float v) const { return at(u, v); }
    TexelF texelF(float u, float v) const { return at(u, v); }
};

void uint4_to_nv12(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void uint8_to_nv12(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void uint16_to_nv12(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void uint32_to_nv12(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void nv12_to_uint4(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void nv12_to_uint8(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void nv12_to_uint16(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void nv12_to_uint32(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);

void image_flip_v_tex(const HostTexture<Texel8>& texture, u8* dst, u32 dstPitch, u32 width, u32 height);
void image_flip_v_tex_half(const HostTexture<TexelF>& texture, u8* dst, u32 dstPitch, u32 width, u32 height);
void image_no_flip_v_tex_half(const HostTexture<TexelF>& texture, u8* dst, u32 dstPitch, u32 width, u32 height);
void image_flip_v_tex_half_hdr_10bit(const HostTexture<TexelF>& texture, u8* dst, u32 dstPitch, u32 width,
                                     u32 height);
void image_no_flip_v_tex_half_hdr_10bit(const HostTexture<TexelF>& texture, u8* dst, u32 dstPitch, u32 width,
                                        u32 height);

void image_flip_v(u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);
void image_copy_flip_v(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height);

// ConvertNv12ToRgba's conversion with the computed matrix.
void yuv_to_rgba(const u8* nv12, int nv12Pitch, u8* rgba, int rgbaPitch, int width, int height);

// ConvertYuvToRgba8 / ConvertYuvToAbgr10 (bitDepth 8: NV12, 10: P016).
void stream_yuv_to_rgba8(const u8* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, u8* rgba,
                         int rgbaPitch, int width, int height);
void stream_yuv_to_abgr10(const u8* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, u8* abgr,
                          int abgrPitch, int width, int height);

} // namespace vidlane2::reference
