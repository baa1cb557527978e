#pragma once

#include "codec/DeviceMemory.h"
#include "codec/GraphicsResourceRegistry.h"

#include <cuda_runtime_api.h>

#include <cstdint>
#include <memory>

namespace vidlane2 {

class DecodeSession;

// The object behind a decoder handle: one NVDEC session fed one complete
// picture a call, whose newest frame is converted into the handle's format.
class FrameDecoder {
public:
    FrameDecoder(std::uint32_t format, std::uint32_t codec);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Opens a session for width x height (the session width), unless that is
    // the current size or both are 0.
    void recreate(std::uint32_t width, std::uint32_t height);

    // The newest NV12 (or P016) frame of one packet, in device memory owned by the session.
    const std::uint8_t* decodeFrame(const void* src, std::uint64_t srcSize);
    std::uint64_t decode(const void* src, std::uint64_t srcSize, void* dst, std::uint32_t width,
                         std::uint32_t height);
    void ensureStagingBuffer(std::uint32_t width, std::uint32_t height);

    std::uint64_t decodePBO(const void* src, std::uint64_t srcSize, std::uint32_t pbo, std::uint32_t width,
                            std::uint32_t height);
    std::uint64_t decodeTexture(const void* src, std::uint64_t srcSize, std::uint32_t texture, std::uint32_t target,
                                std::uint32_t width, std::uint32_t height);

    std::uint64_t pictureCounter() const { return m_pictureCounter; }

private:
    void checkPacket(const void* src, std::uint64_t srcSize, std::uint32_t width, std::uint32_t height) const;
    void checkDecodedLayout(std::uint32_t width, std::uint32_t height) const;
    void convert(const std::uint8_t* frame, std::uint8_t* target, std::uint32_t width, std::uint32_t height);
    cudaError_t convertToRgb(const std::uint8_t* frame, std::uint8_t* target, std::uint32_t width,
                             std::uint32_t height);

    const std::uint32_t m_format;
    const std::uint32_t m_codec;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::uint64_t m_pictureCounter = 0;
    // Declared in reverse order of release: staging first, then the registry, then the session.
    std::unique_ptr<DecodeSession> m_session;
    GraphicsResourceRegistry m_registry;
    StagingBuffer m_staging;
};

} // namespace vidlane2
