#pragma once

#include <ffnvcodec/dynlink_cuda.h>

#include <cstddef>

namespace vidlane2 {

// CUresult values the library names itself.
constexpr CUresult kCudaSuccess = static_cast<CUresult>(0);
constexpr CUresult kCudaErrorInvalidValue = static_cast<CUresult>(1);
constexpr CUresult kCudaErrorNotInitialized = static_cast<CUresult>(3);
constexpr CUresult kCudaErrorNotFound = static_cast<CUresult>(500);
constexpr CUresult kCudaErrorNotSupported = static_cast<CUresult>(801);

// The CUDA driver entries the library uses, resolved once from the driver
// library. An entry is null when the library or the entry is missing; calls go
// through Call(), which never calls a null entry.
struct CudaDriverApi {
    bool loaded = false;
    CUresult(CUDAAPI* cuGetErrorName)(CUresult, const char**) = nullptr;
    CUresult(CUDAAPI* cuCtxGetCurrent)(CUcontext*) = nullptr;
    CUresult(CUDAAPI* cuCtxPushCurrent)(CUcontext) = nullptr;
    CUresult(CUDAAPI* cuCtxPopCurrent)(CUcontext*) = nullptr;
    CUresult(CUDAAPI* cuMemAlloc)(CUdeviceptr*, size_t) = nullptr;
    CUresult(CUDAAPI* cuMemAllocPitch)(CUdeviceptr*, size_t*, size_t, size_t, unsigned int) = nullptr;
    CUresult(CUDAAPI* cuMemFree)(CUdeviceptr) = nullptr;
    CUresult(CUDAAPI* cuMemcpy2DAsync)(const CUDA_MEMCPY2D*, CUstream) = nullptr;
    CUresult(CUDAAPI* cuStreamSynchronize)(CUstream) = nullptr;

    // A missing library reads as an uninitialised driver, a missing entry as
    // a symbol that was not found.
    CUresult MissingEntryResult() const { return loaded ? kCudaErrorNotFound : kCudaErrorNotInitialized; }

    template <typename Fn, typename... Args>
    CUresult Call(Fn* entry, Args... args) const
    {
        return entry ? entry(args...) : MissingEntryResult();
    }
};

// The process-wide driver table, loaded on first use.
const CudaDriverApi& CudaDriver();

// The driver's name for a result, or null when the driver gives none.
const char* CudaDriverName(int code);

} // namespace vidlane2
