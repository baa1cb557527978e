// A texture object over a CUDA array (a mapped OpenGL texture), sampled the way
// the texture kernels expect: the array's own channel format, raw element values
// (8-bit channels read as 0..255, half floats as floats), unnormalised
// coordinates, point filtering, clamp addressing and no sRGB conversion.
#pragma once

#include <cuda_runtime_api.h>

namespace vidlane2 {

class ArrayTexture {
public:
    explicit ArrayTexture(cudaArray_t array);
    ~ArrayTexture();
    ArrayTexture(const ArrayTexture&) = delete;
    ArrayTexture& operator=(const ArrayTexture&) = delete;

    // cudaSuccess when the object was made; the status of its creation otherwise.
    cudaError_t status() const { return m_status; }
    cudaTextureObject_t object() const { return m_object; }

private:
    cudaTextureObject_t m_object = 0;
    cudaError_t m_status = cudaSuccess;
};

} // namespace vidlane2
