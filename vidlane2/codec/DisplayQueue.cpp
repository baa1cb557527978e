#include "codec/DisplayQueue.h"

#include "base/CheckCudaRuntime.h"

#include <cuda_runtime_api.h>

#include <utility>

namespace vidlane2 {

// Room for every picture and buffer the queue can hold, so that it never grows.
DisplayQueue::DisplayQueue()
{
    m_waiting.reserve(kCapacity);
    m_spare.reserve(kCapacity + 1);
}

void DisplayQueue::push(const std::uint8_t* frame, std::uint64_t bytes)
{
    if (m_waiting.size() == kCapacity) {
        recycle(m_waiting.front());
        m_waiting.erase(m_waiting.begin());
    }
    Picture picture;
    if (!m_spare.empty()) {
        picture.buffer = std::move(m_spare.back());
        m_spare.pop_back();
    } else {
        picture.buffer = std::make_unique<StagingBuffer>();
    }
    try {
        picture.buffer->ensure(bytes);
        CheckCudaRuntime(cudaMemcpy(picture.buffer->data(), frame, bytes, cudaMemcpyDeviceToDevice),
                         "Failed to keep a decoded picture for later");
    } catch (...) {
        recycle(picture);
        throw;
    }
    picture.bytes = bytes;
    m_waiting.push_back(std::move(picture));
}

const std::uint8_t* DisplayQueue::take(std::uint64_t& bytes)
{
    recycle(m_handedOut);
    if (m_waiting.empty()) {
        bytes = 0;
        return nullptr;
    }
    m_handedOut = std::move(m_waiting.front());
    m_waiting.erase(m_waiting.begin());
    bytes = m_handedOut.bytes;
    return m_handedOut.buffer->data();
}

void DisplayQueue::clear()
{
    recycle(m_handedOut);
    for (Picture& picture : m_waiting)
        recycle(picture);
    m_waiting.clear();
}

void DisplayQueue::recycle(Picture& picture)
{
    if (picture.buffer)
        m_spare.push_back(std::move(picture.buffer));
    picture.bytes = 0;
}

} // namespace vidlane2
