#include "codec/GraphicsMapping.h"

#include "base/CheckCudaRuntime.h"

namespace vidlane2 {

GraphicsMapping::GraphicsMapping(cudaGraphicsResource_t resource, const char* mapMessage, const char* unmapMessage)
    : m_resource(resource), m_unmapMessage(unmapMessage)
{
    CheckCudaRuntime(cudaGraphicsMapResources(1, &m_resource, nullptr), mapMessage);
    m_mapped = true;
}

GraphicsMapping::~GraphicsMapping()
{
    if (m_mapped)
        cudaGraphicsUnmapResources(1, &m_resource, nullptr);
}

void* GraphicsMapping::pointer(std::size_t& size, const char* message) const
{
    void* p = nullptr;
    size = 0;
    CheckCudaRuntime(cudaGraphicsResourceGetMappedPointer(&p, &size, m_resource), message);
    return p;
}

cudaArray_t GraphicsMapping::array(const char* message) const
{
    cudaArray_t a = nullptr;
    CheckCudaRuntime(cudaGraphicsSubResourceGetMappedArray(&a, m_resource, 0, 0), message);
    return a;
}

void GraphicsMapping::unmap()
{
    m_mapped = false;
    CheckCudaRuntime(cudaGraphicsUnmapResources(1, &m_resource, nullptr), m_unmapMessage);
}

} // namespace vidlane2
