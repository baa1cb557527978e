#include "KernelReference.h"

#include "LaunchChecks.h"

namespace vidlane2::reference {

#define VIDLANE_REFERENCE_MEMORY(name, SrcPtr, shapeOf)                                                      \
    void name(SrcPtr src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height)                       \
    {                                                                                                        \
        forEachThread(shapeOf(width, height), [&](u32 x, u32 y) {                                            \
            rule::name(x, y, src, srcPitch, dst, dstPitch, width, height);                                   \
        });                                                                                                  \
    }

VIDLANE_REFERENCE_MEMORY(uint4_to_nv12, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(uint8_to_nv12, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(nv12_to_uint4, const u8*, nibblePairLaunch)
VIDLANE_REFERENCE_MEMORY(nv12_to_uint8, const u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(image_flip_v, u8*, pixelLaunch)
VIDLANE_REFERENCE_MEMORY(image_copy_flip_v, const u8*, pixelLaunch)
#undef VIDLANE_REFERENCE_MEMORY

// The word or byte path, chosen as the launch wrappers choose it.
#define VIDLANE_REFERENCE_WORDS(name, kernel)                                                                \
    void name(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height)                    \
    {                                                                                                        \
        const bool words = frameAccess(kernel, src, srcPitch, dst, dstPitch) == Access::Words;               \
        forEachThread(pixelLaunch(width, height), [&](u32 x, u32 y) {                                        \
            if (words)                                                                                       \
                rule::name<Access::Words>(x, y, src, srcPitch, dst, dstPitch, width, height);                \
            else                                                                                             \
                rule::name<Access::Bytes>(x, y, src, srcPitch, dst, dstPitch, width, height);                \
        });                                                                                                  \
    }

VIDLANE_REFERENCE_WORDS(uint16_to_nv12, FrameKernel::Uint16ToNv12)
VIDLANE_REFERENCE_WORDS(uint32_to_nv12, FrameKernel::Uint32ToNv12)
VIDLANE_REFERENCE_WORDS(nv12_to_uint16, FrameKernel::Nv12ToUint16)
VIDLANE_REFERENCE_WORDS(nv12_to_uint32, FrameKernel::Nv12ToUint32)
#undef VIDLANE_REFERENCE_WORDS

#define VIDLANE_REFERENCE_TEXTURE(name, Texel, shapeOf)                                                      \
    void name(const HostTexture<Texel>& texture, u8* dst, u32 dstPitch, u32 width, u32 height)               \
    {                                                                                                        \
        forEachThread(shapeOf(width, height),                                                                \
                      [&](u32 x, u32 y) { rule::name(x, y, texture, dst, dstPitch, width, height); });       \
    }

VIDLANE_REFERENCE_TEXTURE(image_flip_v_tex, Texel8, pixelLaunch)
VIDLANE_REFERENCE_TEXTURE(image_flip_v_tex_half, TexelF, pixelLaunch)
VIDLANE_REFERENCE_TEXTURE(image_no_flip_v_tex_half, TexelF, pixelLaunch)
VIDLANE_REFERENCE_TEXTURE(image_flip_v_tex_half_hdr_10bit, TexelF, pixelLaunch)
VIDLANE_REFERENCE_TEXTURE(image_no_flip_v_tex_half_hdr_10bit, TexelF, pixelLaunch)
#undef VIDLANE_REFERENCE_TEXTURE

void yuv_to_rgba(const u8* nv12, int nv12Pitch, u8* rgba, int rgbaPitch, int width, int height)
{
    if (width <= 0 || height <= 0) return;
    const YuvToRgbMatrix matrix = computeYuvToRgbMatrix();
    forEachThread(colourLaunch(static_cast<u32>(width), static_cast<u32>(height)), [&](u32 x, u32 y) {
        rule::yuv_to_rgba<BytePair, PackedWord, PackedWordPair>(x, y, matrix.m, nv12, nv12Pitch, rgba, rgbaPitch,
                                                                width, height);
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
