// Device module of the frame-conversion kernels: scalar data to and from NV12,
// the texture kernels and the exchange flip. Each kernel is its per-thread rule
// from FrameRules.h at its thread's pixel position.
#include "FrameKernels.h"

#include "FrameRules.h"
#include "KernelVariants.h"
#include "LaunchChecks.h"
#include "LaunchGeometry.h"

#include <cuda_runtime.h>

namespace vidlane2 {
namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;

__device__ inline u32 threadX() { return blockIdx.x * blockDim.x + threadIdx.x; }
__device__ inline u32 threadY() { return blockIdx.y * blockDim.y + threadIdx.y; }

struct TextureFetch {
    cudaTextureObject_t texture;
    __device__ Texel8 texel8(float u, float v) const
    {
        const uchar4 t = tex2D<uchar4>(texture, u, v);
        return {t.x, t.y, t.z, t.w};
    }
    __device__ TexelF texelF(float u, float v) const
    {
        const float4 t = tex2D<float4>(texture, u, v);
        return {t.x, t.y, t.z, t.w};
    }
};

} // namespace

#define VIDLANE_MEMORY_KERNEL(name, SrcPtr)                                                                  \
    __global__ void name(SrcPtr src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height)            \
    {                                                                                                        \
        rule::name(threadX(), threadY(), src, srcPitch, dst, dstPitch, width, height);                       \
    }

VIDLANE_MEMORY_KERNEL(uint4_to_nv12, const u8*)
VIDLANE_MEMORY_KERNEL(uint8_to_nv12, const u8*)
VIDLANE_MEMORY_KERNEL(nv12_to_uint4, const u8*)
VIDLANE_MEMORY_KERNEL(nv12_to_uint8, const u8*)
VIDLANE_MEMORY_KERNEL(image_flip_v, u8*)
VIDLANE_MEMORY_KERNEL(image_copy_flip_v, const u8*)
#undef VIDLANE_MEMORY_KERNEL

#define VIDLANE_WORD_KERNEL(name)                                                                            \
    template <Access access>                                                                                 \
    __global__ void name(const u8* src, u32 srcPitch, u8* dst, u32 dstPitch, u32 width, u32 height)          \
    {                                                                                                        \
        rule::name<access>(threadX(), threadY(), src, srcPitch, dst, dstPitch, width, height);               \
    }

VIDLANE_WORD_KERNEL(uint16_to_nv12)
VIDLANE_WORD_KERNEL(uint32_to_nv12)
VIDLANE_WORD_KERNEL(nv12_to_uint16)
VIDLANE_WORD_KERNEL(nv12_to_uint32)
#undef VIDLANE_WORD_KERNEL

#define VIDLANE_TEXTURE_KERNEL(name)                                                                         \
    __global__ void name(cudaTextureObject_t texture, u8* dst, u32 dstPitch, u32 width, u32 height)          \
    {                                                                                                        \
        rule::name(threadX(), threadY(), TextureFetch{texture}, dst, dstPitch, width, height);               \
    }

VIDLANE_TEXTURE_KERNEL(image_flip_v_tex)
VIDLANE_TEXTURE_KERNEL(image_flip_v_tex_half)
VIDLANE_TEXTURE_KERNEL(image_no_flip_v_tex_half)
VIDLANE_TEXTURE_KERNEL(image_flip_v_tex_half_hdr_10bit)
VIDLANE_TEXTURE_KERNEL(image_no_flip_v_tex_half_hdr_10bit)
#undef VIDLANE_TEXTURE_KERNEL

namespace {

using ScalarKernel = void (*)(const u8*, u32, u8*, u32, u32, u32);
using TextureKernelFn = void (*)(cudaTextureObject_t, u8*, u32, u32, u32);

constexpr FrameVariant kShipped{kFrameBlock, true};

cudaError_t statusOf(LaunchCheck check)
{
    return check == LaunchCheck::Invalid ? cudaErrorInvalidValue : cudaSuccess;
}

dim3 toDim3(const Dim3u& d) { return dim3(d.x, d.y, d.z); }

template <class... Args>
cudaError_t launch(void (*kernel)(Args...), const LaunchShape& shape, cudaStream_t stream, Args... args)
{
    void* argv[] = {&args...};
    return cudaLaunchKernel(reinterpret_cast<const void*>(kernel), toDim3(shape.grid), toDim3(shape.block), argv,
                            0, stream);
}

ScalarKernel scalarKernel(FrameKernel kernel, Access access)
{
    const bool words = access == Access::Words;
    switch (kernel) {
    case FrameKernel::Uint4ToNv12: return uint4_to_nv12;
    case FrameKernel::Uint8ToNv12: return uint8_to_nv12;
    case FrameKernel::Uint16ToNv12: return words ? uint16_to_nv12<Access::Words> : uint16_to_nv12<Access::Bytes>;
    case FrameKernel::Uint32ToNv12: return words ? uint32_to_nv12<Access::Words> : uint32_to_nv12<Access::Bytes>;
    case FrameKernel::Nv12ToUint4: return nv12_to_uint4;
    case FrameKernel::Nv12ToUint8: return nv12_to_uint8;
    case FrameKernel::Nv12ToUint16: return words ? nv12_to_uint16<Access::Words> : nv12_to_uint16<Access::Bytes>;
    case FrameKernel::Nv12ToUint32: return words ? nv12_to_uint32<Access::Words> : nv12_to_uint32<Access::Bytes>;
    case FrameKernel::TextureToRgba:
    case FrameKernel::ImageFlipV: break;
    }
    return nullptr;
}

TextureKernelFn textureKernel(TextureKernel kernel)
{
    switch (kernel) {
    case TextureKernel::FlipV8: return image_flip_v_tex;
    case TextureKernel::FlipVHalf: return image_flip_v_tex_half;
    case TextureKernel::NoFlipHalf: return image_no_flip_v_tex_half;
    case TextureKernel::FlipVHalfHdr10: return image_flip_v_tex_half_hdr_10bit;
    case TextureKernel::NoFlipHalfHdr10: return image_no_flip_v_tex_half_hdr_10bit;
    }
    return nullptr;
}

} // namespace

cudaError_t launchScalarKernelAs(FrameKernel kernel, FrameVariant variant, const void* src, u32 srcPitch, void* dst,
                                 u32 dstPitch, u32 width, u32 height, cudaStream_t stream)
{
    const LaunchCheck check = checkFrameLaunch(kernel, src, srcPitch, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    const Access access = variant.words ? frameAccess(kernel, src, srcPitch, dst, dstPitch) : Access::Bytes;
    const ScalarKernel body = scalarKernel(kernel, access);
    if (body == nullptr) return cudaErrorInvalidValue;
    const LaunchShape shape = kernel == FrameKernel::Nv12ToUint4 ? nibblePairLaunch(width, height, variant.block)
                                                                 : pixelLaunch(width, height, variant.block);
    return launch(body, shape, stream, static_cast<const u8*>(src), srcPitch, static_cast<u8*>(dst), dstPitch, width,
                  height);
}

cudaError_t launchTextureKernelAs(TextureKernel kernel, Dim3u block, cudaTextureObject_t texture, void* dst,
                                  u32 dstPitch, u32 width, u32 height, cudaStream_t stream)
{
    const TextureKernelFn body = textureKernel(kernel);
    if (body == nullptr) return cudaErrorInvalidValue;
    const LaunchCheck check = checkFrameLaunch(FrameKernel::TextureToRgba, nullptr, 0, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    return launch(body, pixelLaunch(width, height, block), stream, texture, static_cast<u8*>(dst), dstPitch, width,
                  height);
}

cudaError_t launchImageFlipVAs(Dim3u block, void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                               cudaStream_t stream)
{
    const LaunchCheck check = checkFrameLaunch(FrameKernel::ImageFlipV, src, srcPitch, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    return launch(image_flip_v, pixelLaunch(width, height, block), stream, static_cast<u8*>(src), srcPitch,
                  static_cast<u8*>(dst), dstPitch, width, height);
}

#define VIDLANE_SCALAR_LAUNCHER(function, kernel)                                                            \
    cudaError_t function(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,     \
                         cudaStream_t stream)                                                                \
    {                                                                                                        \
        return launchScalarKernelAs(kernel, kShipped, src, srcPitch, dst, dstPitch, width, height, stream);   \
    }

VIDLANE_SCALAR_LAUNCHER(launchUint4ToNv12, FrameKernel::Uint4ToNv12)
VIDLANE_SCALAR_LAUNCHER(launchUint8ToNv12, FrameKernel::Uint8ToNv12)
VIDLANE_SCALAR_LAUNCHER(launchUint16ToNv12, FrameKernel::Uint16ToNv12)
VIDLANE_SCALAR_LAUNCHER(launchUint32ToNv12, FrameKernel::Uint32ToNv12)
VIDLANE_SCALAR_LAUNCHER(launchNv12ToUint4, FrameKernel::Nv12ToUint4)
VIDLANE_SCALAR_LAUNCHER(launchNv12ToUint8, FrameKernel::Nv12ToUint8)
VIDLANE_SCALAR_LAUNCHER(launchNv12ToUint16, FrameKernel::Nv12ToUint16)
VIDLANE_SCALAR_LAUNCHER(launchNv12ToUint32, FrameKernel::Nv12ToUint32)
#undef VIDLANE_SCALAR_LAUNCHER

#define VIDLANE_TEXTURE_LAUNCHER(function, kernel)                                                           \
    cudaError_t function(cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width, u32 height,        \
                         cudaStream_t stream)                                                                \
    {                                                                                                        \
        return launchTextureKernelAs(kernel, kFrameBlock, texture, dst, dstPitch, width, height, stream);     \
    }

VIDLANE_TEXTURE_LAUNCHER(launchImageFlipVTex, TextureKernel::FlipV8)
VIDLANE_TEXTURE_LAUNCHER(launchImageFlipVTexHalf, TextureKernel::FlipVHalf)
VIDLANE_TEXTURE_LAUNCHER(launchImageNoFlipVTexHalf, TextureKernel::NoFlipHalf)
VIDLANE_TEXTURE_LAUNCHER(launchImageFlipVTexHalfHdr10bit, TextureKernel::FlipVHalfHdr10)
VIDLANE_TEXTURE_LAUNCHER(launchImageNoFlipVTexHalfHdr10bit, TextureKernel::NoFlipHalfHdr10)
#undef VIDLANE_TEXTURE_LAUNCHER

cudaError_t launchImageFlipV(void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                             cudaStream_t stream)
{
    return launchImageFlipVAs(kFrameBlock, src, srcPitch, dst, dstPitch, width, height, stream);
}

cudaError_t launchImageCopyFlipV(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                                 cudaStream_t stream)
{
    const LaunchCheck check = checkFrameLaunch(FrameKernel::ImageFlipV, src, srcPitch, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    return launch(image_copy_flip_v, pixelLaunch(width, height, kFrameBlock), stream, static_cast<const u8*>(src), srcPitch,
                  static_cast<u8*>(dst), dstPitch, width, height);
}

} // namespace vidlane2
