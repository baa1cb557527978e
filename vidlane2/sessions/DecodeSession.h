#pragma once

#include <ffnvcodec/dynlink_cuda.h>
#include <ffnvcodec/dynlink_nvcuvid.h>

#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

namespace vidlane2 {

// One NVDEC decode session: a bitstream parser and a hardware decoder on a
// CUDA context. Every displayed picture is copied into a tightly packed frame
// of the session's own pool in device memory.
class DecodeSession {
public:
    DecodeSession(CUcontext cuContext, cudaVideoCodec eCodec);
    ~DecodeSession();
    DecodeSession(const DecodeSession&) = delete;
    DecodeSession& operator=(const DecodeSession&) = delete;

    // Feeds one packet; null data or size 0 ends the stream. The outputs
    // receive the frames this call produced and their timestamps, and are
    // left untouched when it produced none.
    bool Decode(const uint8_t* pData, int nSize, uint8_t*** pppFrame, int* pnFrameReturned, uint32_t flags = 0,
                int64_t** ppTimestamp = nullptr, int64_t timestamp = 0, CUstream stream = nullptr);

    // Rounded up to an even width, so that a 4:2:0 row holds its last chroma pair.
    uint32_t FramePitch() const
    {
        return (m_nOutputWidth + (m_nOutputWidth & 1)) * static_cast<uint32_t>(m_nBytesPerSample);
    }
    uint32_t GetWidth() const { return m_nOutputWidth; }
    uint32_t GetLumaRows() const { return m_nLumaRows; }
    uint32_t GetChromaRows() const { return m_nChromaRows; }
    uint32_t GetChromaPlanes() const { return m_nChromaPlanes; }
    int32_t GetBytesPerSample() const { return m_nBytesPerSample; }
    int GetBitDepth() const { return m_lastFormat.bit_depth_luma_minus8 + 8; }
    // The sequence the decoder runs (codec, bit depth, signal description).
    const CUVIDEOFORMAT& GetVideoFormat() const { return m_lastFormat; }
    // The colour space field of the last VP9 picture, -1 before one.
    int GetVp9ColourSpace() const { return m_nVp9ColourSpace; }

    static int CountDecodeSurfaces(cudaVideoCodec eCodec, unsigned int nWidth, unsigned int nHeight);
    // H.264 and HEVC: CountDecodeSurfaces; AV1 and VP9: what the parser asks for.
    static int DecodeSurfacesFor(const CUVIDEOFORMAT& format);

private:
    static int CUDAAPI HandleVideoSequenceProc(void* pUserData, CUVIDEOFORMAT* pVideoFormat);
    static int CUDAAPI HandlePictureDecodeProc(void* pUserData, CUVIDPICPARAMS* pPicParams);
    static int CUDAAPI HandlePictureDisplayProc(void* pUserData, CUVIDPARSERDISPINFO* pDispInfo);
    static int CUDAAPI HandleOperatingPointProc(void* pUserData, CUVIDOPERATINGPOINTINFO* pOperatingPointInfo);

    // Runs a callback for the parser. An exception must not unwind through the
    // parser's frames: it is kept, the parser is told the callback failed, and
    // Decode rethrows it unchanged.
    template <typename Callback>
    int RunCallback(Callback callback);

    int HandleVideoSequence(CUVIDEOFORMAT* pVideoFormat);
    int HandlePictureDecode(CUVIDPICPARAMS* pPicParams);
    int HandlePictureDisplay(CUVIDPARSERDISPINFO* pDispInfo);
    int ReconfigureDecoder(CUVIDEOFORMAT* pVideoFormat);
    void SetOutputLayout(const CUVIDEOFORMAT& format);
    size_t FrameBytes() const;

    CUcontext m_cudaContext = nullptr;
    CUvideoctxlock m_ctxLock = nullptr;
    CUvideoparser m_hParser = nullptr;
    CUvideodecoder m_hDecoder = nullptr;
    uint32_t m_nOutputWidth = 0;
    uint32_t m_nLumaRows = 0;
    uint32_t m_nChromaRows = 0;
    uint32_t m_nChromaPlanes = 0;
    int32_t m_nTargetHeight = 0;
    int32_t m_nTargetWidth = 0;
    cudaVideoSurfaceFormat m_eSurfaceFormat = cudaVideoSurfaceFormat_NV12;
    int32_t m_nBytesPerSample = 1;
    CUVIDEOFORMAT m_lastFormat{};
    std::vector<uint8_t*> m_vFramePool;
    std::vector<uint8_t*> m_vReturnedFrames;
    std::vector<int64_t> m_vFrameTimestamps;
    int32_t m_nFramesThisCall = 0;
    int32_t m_nPicturesDecoded = 0;
    int32_t m_aDecodeOrder[32] = {};
    std::mutex m_poolMutex;
    CUstream m_copyStream = nullptr;
    uint32_t m_nCeilingWidth = 0;
    uint32_t m_nCeilingHeight = 0;
    // Bytes of every pool frame, fixed by the first allocation.
    size_t m_nPoolFrameBytes = 0;
    std::exception_ptr m_callbackError;
    int m_nVp9ColourSpace = -1;
};

} // namespace vidlane2
