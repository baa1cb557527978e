#include "codec/DeviceMemory.h"

#include "base/CheckCudaRuntime.h"

#include <cuda_runtime_api.h>

namespace vidlane2 {

MemoryKind memoryKindOf(const void* p)
{
    cudaPointerAttributes attributes{};
    if (cudaPointerGetAttributes(&attributes, p) != cudaSuccess) {
        cudaGetLastError(); // the query's failure must not surface in a later call
        return MemoryKind::Host;
    }
    switch (attributes.type) {
    case cudaMemoryTypeDevice: return MemoryKind::Device;
    case cudaMemoryTypeManaged: return MemoryKind::Managed;
    default: return MemoryKind::Host;
    }
}

bool isDevicePointer(const void* p)
{
    return memoryKindOf(p) != MemoryKind::Host;
}

StagingBuffer::~StagingBuffer()
{
    release();
}

void StagingBuffer::ensure(std::uint64_t bytes)
{
    if (m_size >= bytes)
        return;
    release();
    void* p = nullptr;
    CheckCudaRuntime(cudaMalloc(&p, bytes), "Failed to allocate temporary device memory");
    m_data = static_cast<std::uint8_t*>(p);
    m_size = bytes;
}

void StagingBuffer::release()
{
    if (m_data)
        cudaFree(m_data);
    m_data = nullptr;
    m_size = 0;
}

} // namespace vidlane2
