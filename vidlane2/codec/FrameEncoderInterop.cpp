// The OpenGL entry points of the encoder: pixel-buffer objects and textures,
// read in place through their CUDA registrations.
#include "codec/FrameEncoder.h"

#include "Vidlane2.h"
#include "base/CheckCudaRuntime.h"
#include "base/Exception.h"
#include "codec/GraphicsMapping.h"
#include "kernels/ArrayTexture.h"
#include "kernels/FrameKernels.h"
#include "sessions/CudaEncodeSession.h"

#include <cuda_gl_interop.h>

#include <optional>
#include <string>

namespace vidlane2 {

namespace {

bool isColourFormat(std::uint32_t format)
{
    return format == VIDLANE_RGBA32 || format == VIDLANE_R16G16B16A16 || format == VIDLANE_R16G16B16A16_HDR10;
}

void checkBufferHolds(std::size_t mapped, std::uint64_t needed)
{
    if (mapped < needed)
        throw Exception("Pixel-buffer object too small: it holds " + std::to_string(mapped) +
                        " bytes, the frame needs " + std::to_string(needed));
}

} // namespace

std::uint64_t FrameEncoder::encodePBO(std::uint32_t pbo, void* dst, std::uint64_t dstSize, std::uint32_t width,
                                      std::uint32_t height, bool forceIFrame)
{
    if (!isColourFormat(m_format))
        throw Exception("The OpenGL interface only supports the RGBA32 format");
    checkFrame(dst, width, height);

    cudaGraphicsResource_t resource = m_registry.registerPBO(pbo, width, height, cudaGraphicsRegisterFlagsReadOnly);
    GraphicsMapping mapping(resource, "Failed to map PBO graphics resource", "Failed to unmap PBO graphics resource");
    std::size_t mappedSize = 0;
    void* src = mapping.pointer(mappedSize, "Failed to get mapped PBO pointer");
    const std::uint64_t rowBytes = std::uint64_t{width} * 4;
    checkBufferHolds(mappedSize, rowBytes * height);

    const std::uint64_t result = encode(src, rowBytes, dst, dstSize, width, height, forceIFrame, true);
    mapping.unmap();
    return result;
}

std::uint64_t FrameEncoder::encodeTexture(std::uint32_t texture, std::uint32_t target, void* dst,
                                          std::uint64_t dstSize, std::uint32_t width, std::uint32_t height,
                                          std::uint32_t textureWidth, std::uint32_t textureHeight, bool forceIFrame,
                                          std::uint8_t* pictureType, bool flipVertical)
{
    if (!isColourFormat(m_format))
        throw Exception("The OpenGL interface only supports the RGBA32 or R16G16B16A16 formats");
    checkFrame(dst, width, height);
    recreate(width, height);

    cudaGraphicsResource_t resource =
        m_registry.registerTexture(texture, target, textureWidth, textureHeight, cudaGraphicsRegisterFlagsReadOnly);
    GraphicsMapping mapping(resource, "Failed to map texture graphics resource",
                            "Failed to unmap texture graphics resource");
    cudaArray_t array = mapping.array("Failed get texture graphics resource array");
    const InputSlot& slot = m_session->NextInputSlot();

    // A sampled texture lives until the frame is encoded.
    std::optional<ArrayTexture> source;
    if (m_format == VIDLANE_RGBA32 && !flipVertical) {
        CheckCudaRuntime(cudaMemcpy2DFromArray(slot.devicePtr, slot.pitch, array, 0, 0, std::size_t{width} * 4,
                                               height, cudaMemcpyDeviceToDevice),
                         "Failed to copy from texture array");
    } else {
        source.emplace(array);
        CheckCudaRuntime(source->status(), "Failed to bind texture graphics resource array");
        const cudaTextureObject_t tex = source->object();
        cudaError_t status = cudaSuccess;
        if (m_format == VIDLANE_RGBA32) {
            status = launchImageFlipVTex(tex, slot.devicePtr, slot.pitch, width, height);
        } else if (m_format == VIDLANE_R16G16B16A16_HDR10) {
            status = flipVertical ? launchImageFlipVTexHalfHdr10bit(tex, slot.devicePtr, slot.pitch, width, height)
                                  : launchImageNoFlipVTexHalfHdr10bit(tex, slot.devicePtr, slot.pitch, width, height);
        } else {
            status = flipVertical ? launchImageFlipVTexHalf(tex, slot.devicePtr, slot.pitch, width, height)
                                  : launchImageNoFlipVTexHalf(tex, slot.devicePtr, slot.pitch, width, height);
        }
        CheckCudaRuntime(status, "Failed to convert texture");
    }

    const std::uint64_t result = encodeFrame(dst, dstSize, forceIFrame, pictureType);
    mapping.unmap();
    return result;
}

} // namespace vidlane2
