#pragma once

#include "codec/DeviceMemory.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vidlane2 {

// Pictures a decode session has shown and the decoder object has not handed
// out yet, oldest first. Each is copied into a device buffer of the queue's
// own, since the session's frames are overwritten by its next feeding. The
// buffers are kept for reuse, so that steady state allocates nothing.
class DisplayQueue {
public:
    // More than any decoded picture buffer holds: a stream that makes the queue
    // grow beyond it loses its oldest pictures rather than all memory.
    static constexpr std::size_t kCapacity = 32;

    DisplayQueue();

    // Copies one of the session's frames (device memory) to the end of the queue.
    void push(const std::uint8_t* frame, std::uint64_t bytes);
    bool empty() const { return m_waiting.empty(); }
    // Takes the oldest picture: its bytes, which stay valid until the next take
    // or clear, and their count. Null when none waits.
    const std::uint8_t* take(std::uint64_t& bytes);
    // Drops every waiting picture.
    void clear();

private:
    struct Picture {
        std::unique_ptr<StagingBuffer> buffer;
        std::uint64_t bytes = 0;
    };
    void recycle(Picture& picture);

    std::vector<Picture> m_waiting; // oldest first
    std::vector<std::unique_ptr<StagingBuffer>> m_spare;
    Picture m_handedOut;
};

} // namespace vidlane2
