#pragma once

#include "sessions/EncodeSession.h"

#include <ffnvcodec/dynlink_cuda.h>

#include <cstddef>
#include <vector>

namespace vidlane2 {

// Encode session whose input buffers are pitched CUDA device allocations,
// registered with NVENC as CUDA device pointers.
class CudaEncodeSession : public EncodeSession {
public:
    CudaEncodeSession(CUcontext cudaContext, uint32_t nWidth, uint32_t nHeight, NV_ENC_BUFFER_FORMAT eBufferFormat,
                      uint32_t nExtraOutputDelay = 0);
    ~CudaEncodeSession() override;

    size_t GetInputPitch() const { return m_nInputPitch; }

protected:
    void AllocateInputBuffers(int32_t numInputBuffers) override;
    void ReleaseInputs() override;

private:
    void FreeDeviceInputs();

    CUcontext m_cudaContext = nullptr;
    size_t m_nInputPitch = 0;
    // Every allocation, registered or not, so a failure part-way leaks none.
    std::vector<CUdeviceptr> m_vInputAllocations;
};

} // namespace vidlane2
