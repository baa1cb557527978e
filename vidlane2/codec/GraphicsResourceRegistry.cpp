#include "codec/GraphicsResourceRegistry.h"

#include "base/CheckCudaRuntime.h"

#include <cuda_gl_interop.h>
#include <cuda_runtime_api.h>

namespace vidlane2 {

namespace {

// Drops the entry's registration. The entry is cleared even when CUDA refuses,
// so that it is registered afresh next time instead of failing for good.
void unregister(cudaGraphicsResource*& resource, const char* message)
{
    cudaGraphicsResource* old = resource;
    resource = nullptr;
    CheckCudaRuntime(cudaGraphicsUnregisterResource(old), message);
}

} // namespace

GraphicsResourceRegistry::~GraphicsResourceRegistry()
{
    for (auto& [name, entry] : m_pbos)
        if (entry.resource)
            cudaGraphicsUnregisterResource(entry.resource);
    for (auto& [name, entry] : m_textures)
        if (entry.resource)
            cudaGraphicsUnregisterResource(entry.resource);
}

cudaGraphicsResource* GraphicsResourceRegistry::registerTexture(std::uint32_t texture, std::uint32_t target,
                                                                std::uint32_t width, std::uint32_t height,
                                                                unsigned int flags)
{
    TextureEntry& entry = m_textures[texture];
    // An entry without a resource is left by a failed registration: it never counts as registered.
    if (entry.resource && entry.width == width && entry.height == height && entry.target == target)
        return entry.resource;
    if (entry.resource)
        unregister(entry.resource, "Failed to unregister texture graphics resource");
    cudaGraphicsResource* resource = nullptr;
    CheckCudaRuntime(cudaGraphicsGLRegisterImage(&resource, texture, target, flags),
                     "Failed to register texture as graphics resource");
    entry.resource = resource;
    entry.width = width;
    entry.height = height;
    entry.target = target;
    return entry.resource;
}

cudaGraphicsResource* GraphicsResourceRegistry::registerPBO(std::uint32_t pbo, std::uint32_t width,
                                                            std::uint32_t height, unsigned int flags)
{
    BufferEntry& entry = m_pbos[pbo];
    if (entry.resource && entry.width == width && entry.height == height)
        return entry.resource;
    if (entry.resource)
        unregister(entry.resource, "Failed to unregister PBO graphics resource");
    cudaGraphicsResource* resource = nullptr;
    CheckCudaRuntime(cudaGraphicsGLRegisterBuffer(&resource, pbo, flags),
                     "Failed to register PBO as graphics resource");
    entry.resource = resource;
    entry.width = width;
    entry.height = height;
    return entry.resource;
}

} // namespace vidlane2
