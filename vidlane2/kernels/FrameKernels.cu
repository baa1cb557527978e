// Device module of the frame-conversion kernels: scalar data to and from NV12,
// the texture kernels and the exchange flip. Each kernel is its per-thread rule
// from FrameRules.h at its thread's pixel position.
#include "FrameKernels.h"

#include "FrameRules.h"
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
VIDLANE_MEMORY_KERNEL(uint16_to_nv12, const u8*)
VIDLANE_MEMORY_KERNEL(uint32_to_nv12, const u8*)
VIDLANE_MEMORY_KERNEL(nv12_to_uint4, const u8*)
VIDLANE_MEMORY_KERNEL(nv12_to_uint8, const u8*)
VIDLANE_MEMORY_KERNEL(nv12_to_uint16, const u8*)
VIDLANE_MEMORY_KERNEL(nv12_to_uint32, const u8*)
VIDLANE_MEMORY_KERNEL(image_flip_v, u8*)
VIDLANE_MEMORY_KERNEL(image_copy_flip_v, const u8*)
#undef VIDLANE_MEMORY_KERNEL

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

cudaError_t launchMemory(void (*kernel)(const u8*, u32, u8*, u32, u32, u32), FrameKernel which,
                         const LaunchShape& shape, const void* src, u32 srcPitch, void* dst, u32 dstPitch,
                         u32 width, u32 height, cudaStream_t stream)
{
    const LaunchCheck check = checkFrameLaunch(which, src, srcPitch, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    return launch(kernel, shape, stream, static_cast<const u8*>(src), srcPitch, static_cast<u8*>(dst), dstPitch,
                  width, height);
}

cudaError_t launchTexture(void (*kernel)(cudaTextureObject_t, u8*, u32, u32, u32), const LaunchShape& shape,
                          cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width, u32 height,
                          cudaStream_t stream)
{
    const LaunchCheck check = checkFrameLaunch(FrameKernel::TextureToRgba, nullptr, 0, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    return launch(kernel, shape, stream, texture, static_cast<u8*>(dst), dstPitch, width, height);
}

} // namespace

cudaError_t launchUint4ToNv12(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                              cudaStream_t stream)
{
    return launchMemory(uint4_to_nv12, FrameKernel::Uint4ToNv12, pixelLaunch(width, height), src, srcPitch, dst,
                        dstPitch, width, height, stream);
}

cudaError_t launchUint8ToNv12(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                              cudaStream_t stream)
{
    return launchMemory(uint8_to_nv12, FrameKernel::Uint8ToNv12, pixelLaunch(width, height), src, srcPitch, dst,
                        dstPitch, width, height, stream);
}

cudaError_t launchUint16ToNv12(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                               cudaStream_t stream)
{
    return launchMemory(uint16_to_nv12, FrameKernel::Uint16ToNv12, pixelLaunch(width, height), src, srcPitch, dst,
                        dstPitch, width, height, stream);
}

cudaError_t launchUint32ToNv12(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                               cudaStream_t stream)
{
    return launchMemory(uint32_to_nv12, FrameKernel::Uint32ToNv12, pixelLaunch(width, height), src, srcPitch, dst,
                        dstPitch, width, height, stream);
}

cudaError_t launchNv12ToUint4(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                              cudaStream_t stream)
{
    return launchMemory(nv12_to_uint4, FrameKernel::Nv12ToUint4, nibblePairLaunch(width, height), src, srcPitch,
                        dst, dstPitch, width, height, stream);
}

cudaError_t launchNv12ToUint8(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                              cudaStream_t stream)
{
    return launchMemory(nv12_to_uint8, FrameKernel::Nv12ToUint8, pixelLaunch(width, height), src, srcPitch, dst,
                        dstPitch, width, height, stream);
}

cudaError_t launchNv12ToUint16(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                               cudaStream_t stream)
{
    return launchMemory(nv12_to_uint16, FrameKernel::Nv12ToUint16, pixelLaunch(width, height), src, srcPitch, dst,
                        dstPitch, width, height, stream);
}

cudaError_t launchNv12ToUint32(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                               cudaStream_t stream)
{
    return launchMemory(nv12_to_uint32, FrameKernel::Nv12ToUint32, pixelLaunch(width, height), src, srcPitch, dst,
                        dstPitch, width, height, stream);
}

cudaError_t launchImageFlipVTex(cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width, u32 height,
                                cudaStream_t stream)
{
    return launchTexture(image_flip_v_tex, pixelLaunch(width, height), texture, dst, dstPitch, width, height, stream);
}

cudaError_t launchImageFlipVTexHalf(cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width, u32 height,
                                    cudaStream_t stream)
{
    return launchTexture(image_flip_v_tex_half, pixelLaunch(width, height), texture, dst, dstPitch, width, height,
                         stream);
}

cudaError_t launchImageNoFlipVTexHalf(cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width, u32 height,
                                      cudaStream_t stream)
{
    return launchTexture(image_no_flip_v_tex_half, pixelLaunch(width, height), texture, dst, dstPitch, width, height,
                         stream);
}

cudaError_t launchImageFlipVTexHalfHdr10bit(cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width,
                                            u32 height, cudaStream_t stream)
{
    return launchTexture(image_flip_v_tex_half_hdr_10bit, pixelLaunch(width, height), texture, dst, dstPitch, width,
                         height, stream);
}

cudaError_t launchImageNoFlipVTexHalfHdr10bit(cudaTextureObject_t texture, void* dst, u32 dstPitch, u32 width,
                                              u32 height, cudaStream_t stream)
{
    return launchTexture(image_no_flip_v_tex_half_hdr_10bit, noFlipTextureLaunch(width, height), texture, dst,
                         dstPitch, width, height, stream);
}

cudaError_t launchImageFlipV(void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                             cudaStream_t stream)
{
    const LaunchCheck check = checkFrameLaunch(FrameKernel::ImageFlipV, src, srcPitch, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    return launch(image_flip_v, pixelLaunch(width, height), stream, static_cast<u8*>(src), srcPitch,
                  static_cast<u8*>(dst), dstPitch, width, height);
}

cudaError_t launchImageCopyFlipV(const void* src, u32 srcPitch, void* dst, u32 dstPitch, u32 width, u32 height,
                                 cudaStream_t stream)
{
    const LaunchCheck check = checkFrameLaunch(FrameKernel::ImageFlipV, src, srcPitch, dst, dstPitch, width, height);
    if (check != LaunchCheck::Launch) return statusOf(check);
    return launch(image_copy_flip_v, pixelLaunch(width, height), stream, static_cast<const u8*>(src), srcPitch,
                  static_cast<u8*>(dst), dstPitch, width, height);
}

} // namespace vidlane2
