#include "sessions/NvdecApi.h"

#include "base/CudaDriver.h"
#include "base/DynamicLibrary.h"

namespace vidlane2 {

namespace {

NvdecApi LoadNvdec()
{
    NvdecApi api;
    void* library = OpenDynamicLibrary(kNvdecLibrary);
    if (!library)
        return api;
    api.loaded = true;
    FindLibraryEntry(library, "cuvidCtxLockCreate", api.cuvidCtxLockCreate);
    FindLibraryEntry(library, "cuvidCtxLockDestroy", api.cuvidCtxLockDestroy);
    FindLibraryEntry(library, "cuvidCreateVideoParser", api.cuvidCreateVideoParser);
    FindLibraryEntry(library, "cuvidParseVideoData", api.cuvidParseVideoData);
    FindLibraryEntry(library, "cuvidDestroyVideoParser", api.cuvidDestroyVideoParser);
    FindLibraryEntry(library, "cuvidGetDecoderCaps", api.cuvidGetDecoderCaps);
    FindLibraryEntry(library, "cuvidCreateDecoder", api.cuvidCreateDecoder);
    FindLibraryEntry(library, "cuvidDestroyDecoder", api.cuvidDestroyDecoder);
    FindLibraryEntry(library, "cuvidDecodePicture", api.cuvidDecodePicture);
    FindLibraryEntry(library, "cuvidGetDecodeStatus", api.cuvidGetDecodeStatus);
    FindLibraryEntry(library, "cuvidReconfigureDecoder", api.cuvidReconfigureDecoder);
    FindLibraryEntry(library, "cuvidMapVideoFrame64", api.cuvidMapVideoFrame64);
    FindLibraryEntry(library, "cuvidUnmapVideoFrame64", api.cuvidUnmapVideoFrame64);
    return api;
}

} // namespace

CUresult NvdecApi::MissingEntryResult() const
{
    return loaded ? kCudaErrorNotFound : kCudaErrorNotInitialized;
}

const NvdecApi& Nvdec()
{
    static const NvdecApi api = LoadNvdec();
    return api;
}

} // namespace vidlane2
