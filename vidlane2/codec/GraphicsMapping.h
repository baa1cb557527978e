#pragma once

#include <cuda_runtime_api.h>

#include <cstddef>

namespace vidlane2 {

// One registered OpenGL object mapped for CUDA for the length of one call.
// Whatever happens in between, it is unmapped again before the call returns.
class GraphicsMapping {
public:
    // unmapMessage names the failure of a checked unmap().
    GraphicsMapping(cudaGraphicsResource_t resource, const char* mapMessage, const char* unmapMessage);
    ~GraphicsMapping();
    GraphicsMapping(const GraphicsMapping&) = delete;
    GraphicsMapping& operator=(const GraphicsMapping&) = delete;

    // The mapped buffer object and its size in bytes.
    void* pointer(std::size_t& size, const char* message) const;
    // Level 0 of layer 0 of the mapped texture.
    cudaArray_t array(const char* message) const;
    // The unmap on the success path, whose failure is the call's failure.
    void unmap();

private:
    cudaGraphicsResource_t m_resource;
    const char* m_unmapMessage;
    bool m_mapped = false;
};

} // namespace vidlane2
