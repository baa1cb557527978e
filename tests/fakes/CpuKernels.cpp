// The launcher functions of FrameKernels.h, ColourKernels.h and
// StreamColourKernels.h on the CPU. Each
// makes its launch's checks, requires every buffer it walks to be device memory
// of the fake runtime, and then runs the reference of its kernel through the
// fake runtime, which may hold it until a synchronisation.
#include "CpuKernels.h"

#include "ColourKernels.h"
#include "FakeCudaRuntime.h"
#include "FrameKernels.h"
#include "KernelReference.h"
#include "LaunchChecks.h"
#include "LaunchGeometry.h"
#include "StreamColourKernels.h"

#include <cmath>
#include <cstring>

namespace {

using namespace vidlane2;
using u8 = std::uint8_t;
using u32 = std::uint32_t;

struct State {
    std::vector<std::string> launches;
    std::vector<YuvToRgbMatrix> uploads;
    YuvToRgbMatrix constantMemory{}; // zero until uploaded, as on the device
};

State& state()
{
    static State s;
    return s;
}

std::size_t Extent(std::uint64_t pitch, std::uint64_t rowBytes, std::uint64_t rows)
{
    return rows == 0 ? 0 : static_cast<std::size_t>((rows - 1) * pitch + rowBytes);
}

bool Walks(const char* kernel, const char* side, const void* p, std::uint64_t pitch, std::uint64_t rowBytes,
           std::uint64_t rows)
{
    return fake_cuda_runtime::CheckDeviceRange(p, Extent(pitch, rowBytes, rows),
                                               std::string(kernel) + ": " + side);
}

// The colour kernels' 4:2:0 source and 4-byte pixels.
bool ColourWalks(const char* kernel, const void* yuv, int yuvPitch, std::uint64_t sampleBytes, const void* rgb,
                 int rgbPitch, int width, int height)
{
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    const BufferWalk in = yuv420Walk(yuv, static_cast<u32>(yuvPitch), sampleBytes, w, h);
    return Walks(kernel, "4:2:0 source", yuv, in.pitch, in.rowBytes, in.rows) &&
           Walks(kernel, "destination", rgb, static_cast<u32>(rgbPitch), 4 * w, h);
}

template <class Run>
cudaError_t Scalar(const char* name, FrameKernel kernel, bool toNv12, const void* src, u32 srcPitch, void* dst,
                   u32 dstPitch, u32 width, u32 height, Run run)
{
    const LaunchCheck check = checkFrameLaunch(kernel, src, srcPitch, dst, dstPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    const auto [packed, luma] = frameRowBytes(kernel, width);
    const std::uint64_t h = height;
    const bool sound = toNv12 ? Walks(name, "source", src, srcPitch, packed, h) &&
                                    Walks(name, "NV12 destination", dst, dstPitch, luma, h + h / 2)
                              : Walks(name, "luma source", src, srcPitch, luma, h) &&
                                    Walks(name, "destination", dst, dstPitch, packed, h);
    if (!sound) return cudaErrorIllegalAddress;
    state().launches.emplace_back(name);
    fake_cuda_runtime::RunKernel([=] { run(static_cast<const u8*>(src), static_cast<u8*>(dst)); });
    return cudaSuccess;
}

float HalfToFloat(std::uint16_t h)
{
    const int exponent = (h >> 10) & 0x1F;
    const int mantissa = h & 0x3FF;
    const float sign = (h & 0x8000) ? -1.0f : 1.0f;
    if (exponent == 0) return sign * std::ldexp(static_cast<float>(mantissa), -24);
    if (exponent == 31) return mantissa ? NAN : sign * INFINITY;
    return sign * std::ldexp(static_cast<float>(mantissa | 0x400), exponent - 25);
}

// The texels behind a texture object as the texture unit reads them.
template <class Texel>
bool Texels(cudaTextureObject_t texture, std::vector<Texel>& texels, u32& width, u32& height)
{
    const fake_cuda_runtime::Array* array = fake_cuda_runtime::SampledArray(texture);
    constexpr bool half = std::is_same<Texel, TexelF>::value;
    if (!array || (array->kind == fake_cuda_runtime::TexelKind::RgbaHalf) != half) return false;
    width = array->width;
    height = array->height;
    texels.resize(std::size_t{width} * height);
    for (std::size_t i = 0; i < texels.size(); ++i) {
        if constexpr (half) {
            std::uint16_t c[4];
            std::memcpy(c, array->bytes.data() + i * 8, 8);
            texels[i] = {HalfToFloat(c[0]), HalfToFloat(c[1]), HalfToFloat(c[2]), HalfToFloat(c[3])};
        } else {
            std::memcpy(&texels[i], array->bytes.data() + i * 4, 4);
        }
    }
    return true;
}

template <class Texel, class Run>
cudaError_t FromTexture(const char* name, cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width,
                        u32 height, Run run)
{
    const LaunchCheck check =
        checkFrameLaunch(FrameKernel::TextureToRgba, nullptr, 0, dst, dstPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    std::vector<Texel> texels;
    u32 textureWidth = 0;
    u32 textureHeight = 0;
    if (!Texels(texture, texels, textureWidth, textureHeight)) return cudaErrorInvalidValue;
    if (!Walks(name, "destination", dst, dstPitch, std::uint64_t{width} * 4, height)) return cudaErrorIllegalAddress;
    state().launches.emplace_back(name);
    // The texels as they are at the launch: a texture changed after it is not read.
    fake_cuda_runtime::RunKernel([=, texels = std::move(texels)] {
        run(reference::HostTexture<Texel>{texels.data(), textureWidth, textureHeight}, static_cast<u8*>(dst));
    });
    return cudaSuccess;
}

} // namespace

namespace cpu_kernels {

void Reset()
{
    state().launches.clear();
    state().launches.reserve(1 << 12); // recording allocates nothing a test might count
    state().uploads.clear();
    state().uploads.reserve(64);
}
const std::vector<std::string>& Launches() { return state().launches; }
const std::vector<YuvToRgbMatrix>& MatrixUploads() { return state().uploads; }

} // namespace cpu_kernels

namespace vidlane2 {

#define VIDLANE_CPU_SCALAR(launcher, name, kernel, toNv12)                                                        \
    cudaError_t launcher(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,            \
                         cudaStream_t)                                                                             \
    {                                                                                                              \
        return Scalar(#name, FrameKernel::kernel, toNv12, src, srcPitch, dst, dstPitch, width, height,             \
                      [=](const u8* s, u8* d) { reference::name(s, srcPitch, d, dstPitch, width, height); });      \
    }

VIDLANE_CPU_SCALAR(launchUint4ToNv12, uint4_to_nv12, Uint4ToNv12, true)
VIDLANE_CPU_SCALAR(launchUint8ToNv12, uint8_to_nv12, Uint8ToNv12, true)
VIDLANE_CPU_SCALAR(launchUint16ToNv12, uint16_to_nv12, Uint16ToNv12, true)
VIDLANE_CPU_SCALAR(launchUint32ToNv12, uint32_to_nv12, Uint32ToNv12, true)
VIDLANE_CPU_SCALAR(launchNv12ToUint4, nv12_to_uint4, Nv12ToUint4, false)
VIDLANE_CPU_SCALAR(launchNv12ToUint8, nv12_to_uint8, Nv12ToUint8, false)
VIDLANE_CPU_SCALAR(launchNv12ToUint16, nv12_to_uint16, Nv12ToUint16, false)
VIDLANE_CPU_SCALAR(launchNv12ToUint32, nv12_to_uint32, Nv12ToUint32, false)
#undef VIDLANE_CPU_SCALAR

#define VIDLANE_CPU_TEXTURE(launcher, name, Texel)                                                                \
    cudaError_t launcher(cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width, u32 height, cudaStream_t) \
    {                                                                                                              \
        return FromTexture<Texel>(#name, texture, dst, dstPitch, width, height,                                    \
                                  [=](const reference::HostTexture<Texel>& t, u8* d) {                             \
                                      reference::name(t, d, dstPitch, width, height);                              \
                                  });                                                                              \
    }

VIDLANE_CPU_TEXTURE(launchImageFlipVTex, image_flip_v_tex, Texel8)
VIDLANE_CPU_TEXTURE(launchImageFlipVTexHalf, image_flip_v_tex_half, TexelF)
VIDLANE_CPU_TEXTURE(launchImageNoFlipVTexHalf, image_no_flip_v_tex_half, TexelF)
VIDLANE_CPU_TEXTURE(launchImageFlipVTexHalfHdr10bit, image_flip_v_tex_half_hdr_10bit, TexelF)
VIDLANE_CPU_TEXTURE(launchImageNoFlipVTexHalfHdr10bit, image_no_flip_v_tex_half_hdr_10bit, TexelF)
#undef VIDLANE_CPU_TEXTURE

cudaError_t launchImageFlipV(void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height, cudaStream_t)
{
    const LaunchCheck check = checkFrameLaunch(FrameKernel::ImageFlipV, src, srcPitch, dst, dstPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    const std::uint64_t row = std::uint64_t{width} * 4;
    if (!Walks("image_flip_v", "source", src, srcPitch, row, height) ||
        !Walks("image_flip_v", "destination", dst, dstPitch, row, height))
        return cudaErrorIllegalAddress;
    state().launches.emplace_back("image_flip_v");
    fake_cuda_runtime::RunKernel([=] {
        reference::image_flip_v(static_cast<u8*>(src), srcPitch, static_cast<u8*>(dst), dstPitch, width, height);
    });
    return cudaSuccess;
}

cudaError_t launchImageCopyFlipV(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                                 cudaStream_t)
{
    const LaunchCheck check = checkFrameLaunch(FrameKernel::ImageFlipV, src, srcPitch, dst, dstPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    const std::uint64_t row = std::uint64_t{width} * 4;
    if (!Walks("image_copy_flip_v", "source", src, srcPitch, row, height) ||
        !Walks("image_copy_flip_v", "destination", dst, dstPitch, row, height))
        return cudaErrorIllegalAddress;
    state().launches.emplace_back("image_copy_flip_v");
    fake_cuda_runtime::RunKernel([=] {
        reference::image_copy_flip_v(static_cast<const u8*>(src), srcPitch, static_cast<u8*>(dst), dstPitch, width,
                                     height);
    });
    return cudaSuccess;
}

cudaError_t UploadYuvToRgbMatrix(const YuvToRgbMatrix& matrix)
{
    state().uploads.push_back(matrix);
    state().constantMemory = matrix;
    return cudaSuccess;
}

cudaError_t LoadYuvToRgbMatrix()
{
    return UploadYuvToRgbMatrix(computeYuvToRgbMatrix());
}

cudaError_t ConvertNv12ToRgba(const void* nv12, int nv12Pitch, void* rgba, int rgbaPitch, int width, int height)
{
    const LaunchCheck check = checkColourLaunch(nv12, nv12Pitch, rgba, rgbaPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    if (!ColourWalks("yuv_to_rgba", nv12, nv12Pitch, 1, rgba, rgbaPitch, width, height))
        return cudaErrorIllegalAddress;
    state().launches.emplace_back("yuv_to_rgba");
    const LaunchShape shape = colourLaunch(static_cast<u32>(width), static_cast<u32>(height));
    const auto* src = static_cast<const u8*>(nv12);
    auto* dst = static_cast<u8*>(rgba);
    const YuvToRgbMatrix matrix = state().constantMemory;
    fake_cuda_runtime::RunKernel([=] {
        for (u32 y = 0; y < shape.grid.y * shape.block.y; ++y)
            for (u32 x = 0; x < shape.grid.x * shape.block.x; ++x)
                rule::yuv_to_rgba<BytePair, PackedWord, PackedWordPair>(x, y, matrix.m, src, nv12Pitch, dst,
                                                                        rgbaPitch, width, height);
    });
    return cudaSuccess;
}

namespace {

using StreamReference = void (*)(const u8*, int, int, const YuvToRgb&, u8*, int, int, int);

cudaError_t convertStreamColour(const char* kernel, StreamReference reference, const void* yuv, int yuvPitch,
                                int bitDepth, const YuvToRgb& conversion, void* rgb, int rgbPitch, int width,
                                int height)
{
    const LaunchCheck check = checkStreamColourLaunch(yuv, yuvPitch, bitDepth, rgb, rgbPitch, width, height);
    if (check == LaunchCheck::Invalid) return cudaErrorInvalidValue;
    if (check == LaunchCheck::NothingToDo) return cudaSuccess;
    if (!ColourWalks(kernel, yuv, yuvPitch, bitDepth == 8 ? 1 : 2, rgb, rgbPitch, width, height))
        return cudaErrorIllegalAddress;
    state().launches.emplace_back(kernel);
    fake_cuda_runtime::RunKernel([=] {
        reference(static_cast<const u8*>(yuv), yuvPitch, bitDepth, conversion, static_cast<u8*>(rgb), rgbPitch, width,
                  height);
    });
    return cudaSuccess;
}

} // namespace

cudaError_t ConvertYuvToRgba8(const void* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, void* rgba,
                              int rgbaPitch, int width, int height)
{
    return convertStreamColour("stream_yuv_to_rgba8", reference::stream_yuv_to_rgba8, yuv, yuvPitch, bitDepth,
                               conversion, rgba, rgbaPitch, width, height);
}

cudaError_t ConvertYuvToAbgr10(const void* yuv, int yuvPitch, int bitDepth, const YuvToRgb& conversion, void* abgr,
                               int abgrPitch, int width, int height)
{
    return convertStreamColour("stream_yuv_to_abgr10", reference::stream_yuv_to_abgr10, yuv, yuvPitch, bitDepth,
                               conversion, abgr, abgrPitch, width, height);
}

} // namespace vidlane2
