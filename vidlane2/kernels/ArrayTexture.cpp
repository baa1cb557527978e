#include "ArrayTexture.h"

#include <cstring>

namespace vidlane2 {

ArrayTexture::ArrayTexture(cudaArray_t array)
{
    cudaResourceDesc resource;
    std::memset(&resource, 0, sizeof resource);
    resource.resType = cudaResourceTypeArray;
    resource.res.array.array = array;

    cudaTextureDesc sampling;
    std::memset(&sampling, 0, sizeof sampling);
    for (auto& mode : sampling.addressMode) mode = cudaAddressModeClamp;
    sampling.filterMode = cudaFilterModePoint;
    sampling.readMode = cudaReadModeElementType;
    sampling.sRGB = 0;
    sampling.normalizedCoords = 0;

    m_status = cudaCreateTextureObject(&m_object, &resource, &sampling, nullptr);
    if (m_status != cudaSuccess) m_object = 0;
}

ArrayTexture::~ArrayTexture()
{
    if (m_object != 0) cudaDestroyTextureObject(m_object);
}

} // namespace vidlane2
