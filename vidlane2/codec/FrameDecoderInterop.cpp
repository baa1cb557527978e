// The OpenGL entry points of the decoder: decoded frames written straight into
// pixel-buffer objects and textures through their CUDA registrations.
#include "codec/FrameDecoder.h"

#include "Vidlane2.h"
#include "base/CheckCudaRuntime.h"
#include "base/Exception.h"
#include "codec/FrameLayout.h"
#include "codec/GraphicsMapping.h"

#include <cuda_gl_interop.h>

#include <string>

namespace vidlane2 {

std::uint64_t FrameDecoder::decodePBO(const void* src, std::uint64_t srcSize, std::uint32_t pbo,
                                      std::uint32_t width, std::uint32_t height)
{
    if (m_format != VIDLANE_RGBA32)
        throw Exception("The OpenGL interface only supports the RGBA32 format");
    checkPacket(src, srcSize, width, height);

    cudaGraphicsResource_t resource = m_registry.registerPBO(pbo, width, height, cudaGraphicsRegisterFlagsWriteDiscard);
    GraphicsMapping mapping(resource, "Failed to map PBO graphics resource", "Failed to unmap PBO graphics resource");
    std::size_t mappedSize = 0;
    void* dst = mapping.pointer(mappedSize, "Failed to get mapped PBO pointer");
    const std::uint64_t needed = frameSize(m_format, width, height);
    if (mappedSize < needed)
        throw Exception("Pixel-buffer object too small: it holds " + std::to_string(mappedSize) +
                        " bytes, the frame needs " + std::to_string(needed));

    const std::uint64_t result = decode(src, srcSize, dst, width, height);
    mapping.unmap();
    return result;
}

std::uint64_t FrameDecoder::decodeTexture(const void* src, std::uint64_t srcSize, std::uint32_t texture,
                                          std::uint32_t target, std::uint32_t width, std::uint32_t height)
{
    if (m_format != VIDLANE_RGBA32)
        throw Exception("The OpenGL interface only supports the RGBA32 format");
    checkPacket(src, srcSize, width, height);

    recreate(width, height);
    const std::uint8_t* frame = decodeFrame(src, srcSize);
    checkDecodedLayout(width, height);
    ensureStagingBuffer(width, height);
    convert(frame, m_staging.data(), width, height);

    cudaGraphicsResource_t resource =
        m_registry.registerTexture(texture, target, width, height, cudaGraphicsRegisterFlagsWriteDiscard);
    GraphicsMapping mapping(resource, "Failed to map texture graphics resource",
                            "Failed to unmap texture graphics resource");
    cudaArray_t array = mapping.array("Failed get texture graphics resource array");
    const std::uint32_t rowBytes = width * 4;
    CheckCudaRuntime(cudaMemcpy2DToArray(array, 0, 0, m_staging.data(), rowBytes, rowBytes, height,
                                         cudaMemcpyDeviceToDevice),
                     "Failed to copy to texture array");
    mapping.unmap();
    return rowBytes * height;
}

} // namespace vidlane2
