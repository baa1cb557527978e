#pragma once

#include <ffnvcodec/dynlink_cuda.h>
#include <ffnvcodec/dynlink_nvcuvid.h>

namespace vidlane2 {

// The NVDEC entries the decode session uses, resolved once from the decoder
// library. Calls go through Call(), which never calls a null entry.
struct NvdecApi {
    bool loaded = false;
    CUresult(CUDAAPI* cuvidCtxLockCreate)(CUvideoctxlock*, CUcontext) = nullptr;
    CUresult(CUDAAPI* cuvidCtxLockDestroy)(CUvideoctxlock) = nullptr;
    CUresult(CUDAAPI* cuvidCreateVideoParser)(CUvideoparser*, CUVIDPARSERPARAMS*) = nullptr;
    CUresult(CUDAAPI* cuvidParseVideoData)(CUvideoparser, CUVIDSOURCEDATAPACKET*) = nullptr;
    CUresult(CUDAAPI* cuvidDestroyVideoParser)(CUvideoparser) = nullptr;
    CUresult(CUDAAPI* cuvidGetDecoderCaps)(CUVIDDECODECAPS*) = nullptr;
    CUresult(CUDAAPI* cuvidCreateDecoder)(CUvideodecoder*, CUVIDDECODECREATEINFO*) = nullptr;
    CUresult(CUDAAPI* cuvidDestroyDecoder)(CUvideodecoder) = nullptr;
    CUresult(CUDAAPI* cuvidDecodePicture)(CUvideodecoder, CUVIDPICPARAMS*) = nullptr;
    CUresult(CUDAAPI* cuvidGetDecodeStatus)(CUvideodecoder, int, CUVIDGETDECODESTATUS*) = nullptr;
    CUresult(CUDAAPI* cuvidReconfigureDecoder)(CUvideodecoder, CUVIDRECONFIGUREDECODERINFO*) = nullptr;
    CUresult(CUDAAPI* cuvidMapVideoFrame64)(CUvideodecoder, int, unsigned long long*, unsigned int*,
                                            CUVIDPROCPARAMS*) = nullptr;
    CUresult(CUDAAPI* cuvidUnmapVideoFrame64)(CUvideodecoder, unsigned long long) = nullptr;

    // A missing library reads as an uninitialised driver, a missing entry as
    // a symbol that was not found.
    CUresult MissingEntryResult() const;

    template <typename Fn, typename... Args>
    CUresult Call(Fn* entry, Args... args) const
    {
        return entry ? entry(args...) : MissingEntryResult();
    }
};

// The process-wide decoder table, loaded on first use.
const NvdecApi& Nvdec();

} // namespace vidlane2
