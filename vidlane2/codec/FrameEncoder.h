#pragma once

#include "codec/DeviceMemory.h"
#include "codec/GraphicsResourceRegistry.h"

#include <cstdint>
#include <memory>

namespace vidlane2 {

class CudaEncodeSession;

// The object behind an encoder handle: one NVENC session configured for
// low-delay streaming, re-created whenever the frame size changes.
class FrameEncoder {
public:
    FrameEncoder(std::uint32_t format, std::uint32_t codec, std::uint32_t compression, std::uint64_t bitrate,
                 std::uint32_t targetFrameRate);
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    // Opens a session of width x height (the session width), unless that is
    // the current size or both are 0.
    void recreate(std::uint32_t width, std::uint32_t height);

    std::uint64_t encode(const void* src, std::uint64_t srcPitch, void* dst, std::uint64_t dstSize,
                         std::uint32_t width, std::uint32_t height, bool forceIFrame, bool fromPBO);
    // Encodes what the next input slot holds and copies the packets to dst.
    std::uint64_t encodeFrame(void* dst, std::uint64_t dstSize, bool forceIFrame, std::uint8_t* pictureType);
    void setBitrate(std::uint64_t bitrate, std::uint32_t targetFrameRate);
    void ensureStagingBuffer(std::uint32_t width, std::uint32_t height);

    std::uint64_t encodePBO(std::uint32_t pbo, void* dst, std::uint64_t dstSize, std::uint32_t width,
                            std::uint32_t height, bool forceIFrame);
    std::uint64_t encodeTexture(std::uint32_t texture, std::uint32_t target, void* dst, std::uint64_t dstSize,
                                std::uint32_t width, std::uint32_t height, std::uint32_t textureWidth,
                                std::uint32_t textureHeight, bool forceIFrame, std::uint8_t* pictureType,
                                bool flipVertical);

private:
    void checkFrame(void* dst, std::uint32_t width, std::uint32_t height) const;
    void copyToInputSlot(const void* src, std::uint64_t srcPitch, std::uint32_t width, std::uint32_t height,
                         bool fromPBO);
    void closeSession();

    const std::uint32_t m_format;
    const std::uint32_t m_codec;
    const std::uint32_t m_compression;
    std::uint64_t m_bitrate;
    std::uint32_t m_targetFrameRate;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    // Declared in reverse order of release: the session goes first, the registry last.
    GraphicsResourceRegistry m_registry;
    StagingBuffer m_staging;
    std::unique_ptr<CudaEncodeSession> m_session;
};

} // namespace vidlane2
