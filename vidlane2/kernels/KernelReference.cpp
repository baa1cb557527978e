#include "KernelReference.h"

#include "LaunchGeometry.h"

namespace vidlane2::reference {
namespace {

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

} // namespace

#define VIDLANE_REFERENCE_MEMORY(name, SrcPtr, shapeOf)                                                      \
    void name(SrcPtr src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height)                       \
    {                                                                                                        \
        forEachThread(shapeOf(width, height), [&](u32 x, u32 y) {                                            \
            rule::name(x, y, src, srcPitch, dst, dstPitch, width, height);                                   \
        });                                                                                                  \
    }

VIDLANE_REFERENCE_MEMORY(uint4_to_nv12, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(uint8_to_nv12, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(uint16_to_nv12, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(uint32_to_nv12, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(nv12_to_uint4, const u8*, nibblePairLaunch)
VIDLANE_REFERENCE_MEMORY(nv12_to_uint8, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(nv12_to_uint16, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(nv12_to_uint32, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(image_flip_v, u8*, pixelLaunch)
#undef VIDLANE_REFERENCE_MEMORY

#define VIDLANE_REFERENCE_TEXTURE(name, Texel, shapeOf)                                                      \
    void name(const HostTexture<Texel>& texture, u8* dst, u32 dstPitch, u32 width, u32 height)               \
    {                                                                                                        \
        forEachThread(shapeOf(width, height),                                                                \
                      [&](u32 x, u32 y) { rule::name(x, y, texture, dst, dstPitch, width, height); });       \
    }

VIDLANE_REFERENCE_TEXTURE(image_flip_v_tex, Texel8, pixelLaunch)
VIDLANE_REFERENCE_TEXTURE(image_flip_v_tex_half, TexelF, pixelLaunch)
VIDLANE_REFERENCE_TEXTURE(image_flip_v_tex_half_hdr_10bit, TexelF, pixelLaunch)
VIDLANE_REFERENCE_TEXTURE(image_no_flip_v_tex_half_hdr_10bit, TexelF, noFlipTextureLaunch)
#undef VIDLANE_REFERENCE_TEXTURE

void yuv_to_rgba(const u8* nv12, int nv12Pitch, u8* rgba, int rgbaPitch, int width, int height)
{
    if (width <= 0 || height <= 0) return;
    const YuvToRgbMatrix matrix = computeYuvToRgbMatrix();
    forEachThread(colourLaunch(static_cast<u32>(width), static_cast<u32>(height)), [&](u32 x, u32 y) {
        rule::yuv_to_rgba<BytePair, RGBA32, PackedWordPair>(x, y, matrix.m, nv12, nv12Pitch, rgba, rgbaPitch, width,
                                                            height);
    });
}

namespace {

template <rule::Output output>
void streamYuvToRgb(const u8* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, u8* rgb, int rgbPitch,
                    int width, int height)
{
    if (width <= 0 || height <= 0) return;
    forEachThread(colourLaunch(static_cast<u32>(width), static_cast<u32>(height)), [&](u32 x, u32 y) {
        if (bitDepth == 8)
            rule::stream_yuv_to_rgb<rule::Nv12Samples, output, PackedWord>(x, y, conversion, yuv, yuvPitch, rgb,
                                                                           rgbPitch, width, height);
        else
            rule::stream_yuv_to_rgb<rule::P016Samples, output, PackedWord>(x, y, conversion, yuv, yuvPitch, rgb,
                                                                           rgbPitch, width, height);
    });
}

} // namespace

void stream_yuv_to_rgba8(const u8* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, u8* rgba,
                         int rgbaPitch, int width, int height)
{
    streamYuvToRgb<rule::Output::Rgba8>(yuv, yuvPitch, bitDepth, conversion, rgba, rgbaPitch, width, height);
}

void stream_yuv_to_abgr10(const u8* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, u8* abgr,
                          int abgrPitch, int width, int height)
{
    streamYuvToRgb<rule::Output::Abgr10>(yuv, yuvPitch, bitDepth, conversion, abgr, abgrPitch, width, height);
}

} // namespace vidlane2::reference
