#pragma once

#include <cstdint>

namespace vidlane2 {

enum class MemoryKind { Host, Device, Managed };

// Device or managed only when the CUDA runtime reports so for p; host memory,
// registered or not, and unknown pointers are host memory.
MemoryKind memoryKindOf(const void* p);

// True for device and managed memory.
bool isDevicePointer(const void* p);

// A device buffer that grows to the largest frame asked for and is reused.
class StagingBuffer {
public:
    StagingBuffer() = default;
    StagingBuffer(const StagingBuffer&) = delete;
    StagingBuffer& operator=(const StagingBuffer&) = delete;
    ~StagingBuffer();

    // Makes room for bytes. After a failed allocation the buffer is empty,
    // so nothing goes on writing into the released memory.
    void ensure(std::uint64_t bytes);

    std::uint8_t* data() const { return m_data; }
    std::uint64_t size() const { return m_size; }

private:
    void release();

    std::uint8_t* m_data = nullptr;
    std::uint64_t m_size = 0;
};

} // namespace vidlane2
