#include "base/CudaDriver.h"

#include "base/DynamicLibrary.h"

namespace vidlane2 {

namespace {

CudaDriverApi LoadCudaDriver()
{
    CudaDriverApi api;
    void* library = OpenDynamicLibrary(kCudaDriverLibrary);
    if (!library)
        return api;
    api.loaded = true;
    FindLibraryEntry(library, "cuGetErrorName", api.cuGetErrorName);
    FindLibraryEntry(library, "cuCtxGetCurrent", api.cuCtxGetCurrent);
    FindLibraryEntry(library, "cuCtxPushCurrent_v2", api.cuCtxPushCurrent);
    FindLibraryEntry(library, "cuCtxPopCurrent_v2", api.cuCtxPopCurrent);
    FindLibraryEntry(library, "cuMemAlloc_v2", api.cuMemAlloc);
    FindLibraryEntry(library, "cuMemAllocPitch_v2", api.cuMemAllocPitch);
    FindLibraryEntry(library, "cuMemFree_v2", api.cuMemFree);
    FindLibraryEntry(library, "cuMemcpy2DAsync_v2", api.cuMemcpy2DAsync);
    FindLibraryEntry(library, "cuStreamSynchronize", api.cuStreamSynchronize);
    return api;
}

} // namespace

const CudaDriverApi& CudaDriver()
{
    static const CudaDriverApi api = LoadCudaDriver();
    return api;
}

const char* CudaDriverName(int code)
{
    const CudaDriverApi& api = CudaDriver();
    const char* name = nullptr;
    if (api.cuGetErrorName)
        api.cuGetErrorName(static_cast<CUresult>(code), &name);
    return name;
}

} // namespace vidlane2
