#pragma once

#include <cstdint>
#include <unordered_map>

struct cudaGraphicsResource;

namespace vidlane2 {

// CUDA registrations of OpenGL textures and pixel-buffer objects, cached by
// object name so that each object is registered once per size (and target).
class GraphicsResourceRegistry {
public:
    GraphicsResourceRegistry() = default;
    GraphicsResourceRegistry(const GraphicsResourceRegistry&) = delete;
    GraphicsResourceRegistry& operator=(const GraphicsResourceRegistry&) = delete;
    // Unregisters everything, buffer objects first; never fails.
    virtual ~GraphicsResourceRegistry();

    cudaGraphicsResource* registerTexture(std::uint32_t texture, std::uint32_t target, std::uint32_t width,
                                          std::uint32_t height, unsigned int flags);
    cudaGraphicsResource* registerPBO(std::uint32_t pbo, std::uint32_t width, std::uint32_t height,
                                      unsigned int flags);

private:
    struct TextureEntry {
        cudaGraphicsResource* resource = nullptr;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint32_t target = 0;
    };
    struct BufferEntry {
        cudaGraphicsResource* resource = nullptr;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
    };

    std::unordered_map<std::uint32_t, TextureEntry> m_textures;
    std::unordered_map<std::uint32_t, BufferEntry> m_pbos;
};

} // namespace vidlane2
