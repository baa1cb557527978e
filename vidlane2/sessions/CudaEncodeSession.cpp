#include "sessions/CudaEncodeSession.h"

#include "base/CudaDriver.h"
#include "base/SessionExceptions.h"

#include <string>

namespace vidlane2 {

namespace {

[[noreturn]] void ThrowDriverFailure(const char* operation, CUresult result)
{
    const char* name = CudaDriverName(result);
    throw VIDLANE_NVENC_ERROR(operation, std::string("CUDA driver API error ") + (name ? name : ""),
                              NV_ENC_ERR_GENERIC);
}

} // namespace

CudaEncodeSession::CudaEncodeSession(CUcontext cudaContext, uint32_t nWidth, uint32_t nHeight,
                                     NV_ENC_BUFFER_FORMAT eBufferFormat, uint32_t nExtraOutputDelay)
    : EncodeSession(cudaContext, NV_ENC_DEVICE_TYPE_CUDA, nWidth, nHeight, eBufferFormat, nExtraOutputDelay),
      m_cudaContext(cudaContext),
      m_nInputPitch(0)
{
    if (!IsHardwareSessionOpen())
        throw VIDLANE_NVENC_ERROR("CudaEncodeSession::CudaEncodeSession", "Encoder Initialization failed",
                                  NV_ENC_ERR_INVALID_DEVICE);
    if (!cudaContext)
        throw VIDLANE_NVENC_ERROR("CudaEncodeSession::CudaEncodeSession", "Invalid Cuda Context",
                                  NV_ENC_ERR_INVALID_DEVICE);
}

CudaEncodeSession::~CudaEncodeSession()
{
    FreeDeviceInputs();
}

void CudaEncodeSession::AllocateInputBuffers(int32_t numInputBuffers)
{
    const char* operation = "CudaEncodeSession::AllocateInputBuffers";
    if (!IsHardwareSessionOpen() || !IsInitialized())
        throw VIDLANE_NVENC_ERROR(operation, "Encoder intialization failed", NV_ENC_ERR_ENCODER_NOT_INITIALIZED);

    const CudaDriverApi& cuda = CudaDriver();
    const NV_ENC_BUFFER_FORMAT format = GetInputFormat();
    const uint32_t chromaHeight = GetChromaHeight(format, GetLimitHeight());
    const bool planar420 = format == NV_ENC_BUFFER_FORMAT_YV12 || format == NV_ENC_BUFFER_FORMAT_IYUV;
    const uint32_t chromaRows = planar420 ? chromaHeight : GetNumChromaPlanes(format) * chromaHeight;
    const size_t widthInBytes = GetWidthInBytes(format, GetLimitWidth());
    const size_t rows = size_t{GetLimitHeight()} + chromaRows;

    CUresult result = cuda.Call(cuda.cuCtxPushCurrent, m_cudaContext);
    if (result != kCudaSuccess)
        ThrowDriverFailure(operation, result);

    std::vector<void*> inputBuffers;
    for (int32_t i = 0; i < numInputBuffers; ++i) {
        CUdeviceptr deviceFrame = 0;
        result = cuda.Call(cuda.cuMemAllocPitch, &deviceFrame, &m_nInputPitch, widthInBytes, rows, 16u);
        if (result != kCudaSuccess) {
            // Leave the caller's context as it was.
            CUcontext popped = nullptr;
            cuda.Call(cuda.cuCtxPopCurrent, &popped);
            ThrowDriverFailure(operation, result);
        }
        m_vInputAllocations.push_back(deviceFrame);
        inputBuffers.push_back(reinterpret_cast<void*>(static_cast<uintptr_t>(deviceFrame)));
    }

    CUcontext popped = nullptr;
    result = cuda.Call(cuda.cuCtxPopCurrent, &popped);
    if (result != kCudaSuccess)
        ThrowDriverFailure(operation, result);

    RegisterResource(inputBuffers, GetLimitWidth(), GetLimitHeight(), static_cast<uint32_t>(m_nInputPitch), format);
}

void CudaEncodeSession::ReleaseInputs()
{
    FreeDeviceInputs();
}

void CudaEncodeSession::FreeDeviceInputs()
{
    if (!IsHardwareSessionOpen() || !m_cudaContext)
        return;
    ReleaseRegistrations();

    const CudaDriverApi& cuda = CudaDriver();
    // A pop after a failed push would take the caller's own context.
    const bool pushed = cuda.Call(cuda.cuCtxPushCurrent, m_cudaContext) == kCudaSuccess;
    for (CUdeviceptr allocation : m_vInputAllocations) {
        if (allocation)
            cuda.Call(cuda.cuMemFree, allocation);
    }
    m_vInputAllocations.clear();
    ClearInputSlots();
    CUcontext popped = nullptr;
    if (pushed)
        cuda.Call(cuda.cuCtxPopCurrent, &popped);
    m_cudaContext = nullptr;
}

} // namespace vidlane2
