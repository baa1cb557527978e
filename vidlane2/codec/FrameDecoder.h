#pragma once

#include "codec/DeviceMemory.h"
#include "codec/DisplayQueue.h"
#include "codec/GraphicsResourceRegistry.h"

#include <cuda_runtime_api.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace vidlane2 {

class DecodeSession;

// The object behind a decoder handle: one NVDEC session fed one complete
// picture a call, whose newest frame is converted into the handle's format.
// A stream whose pictures are shown in another order than decoded (B-frames)
// is fed each packet once instead; the pictures it shows wait in display order
// and each call hands out the oldest. A null packet of size 0 ends the stream
// and hands out what still waits.
class FrameDecoder {
public:
    FrameDecoder(std::uint32_t format, std::uint32_t codec);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Opens a session for width x height (the session width), unless that is
    // the current size or both are 0.
    void recreate(std::uint32_t width, std::uint32_t height);

    // The picture this call hands out, NV12 (or P016) in device memory: for a
    // stream in display order the newest frame of one packet, owned by the
    // session; else the oldest waiting picture. Null src with size 0 flushes.
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
    void openSession(std::uint32_t width, std::uint32_t height);
    int feed(const void* src, std::uint64_t srcSize, std::uint8_t**& frames);
    const std::uint8_t* newestOfFeedings(const void* src, std::uint64_t srcSize);
    void feedOnce(const void* src, std::uint64_t srcSize);
    void noteSequence(const void* src, std::uint64_t srcSize);
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
    // Whether the stream reorders, from its sequence parameter set; unknown
    // (treated as in display order) until one is read.
    std::optional<bool> m_reorders;
    bool m_ended = false; // the session was told that the stream ended
    DisplayQueue m_waiting;
    // Declared in reverse order of release: staging first, then the registry, then the session.
    std::unique_ptr<DecodeSession> m_session;
    GraphicsResourceRegistry m_registry;
    StagingBuffer m_staging;
};

} // namespace vidlane2
