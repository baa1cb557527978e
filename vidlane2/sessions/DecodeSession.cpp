#include "sessions/DecodeSession.h"

#include "base/CudaDriver.h"
#include "base/SessionExceptions.h"
#include "sessions/NvdecApi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace vidlane2 {

namespace {

constexpr int kDecodeOrderSlots = 32;

[[noreturn]] void ThrowCallFailure(const char* operation, const char* callText, CUresult result)
{
    throw VIDLANE_NVDEC_ERROR(operation, CallFailureMessage(callText, result), result);
}

[[noreturn]] void ThrowDriverFailure(const char* operation, CUresult result)
{
    const char* name = CudaDriverName(result);
    throw VIDLANE_NVDEC_ERROR(operation, std::string("CUDA driver API error ") + (name ? name : ""), result);
}

void PushContext(const char* operation, CUcontext context)
{
    const CudaDriverApi& cuda = CudaDriver();
    const CUresult result = cuda.Call(cuda.cuCtxPushCurrent, context);
    if (result != kCudaSuccess)
        ThrowDriverFailure(operation, result);
}

void PopContext(const char* operation)
{
    const CudaDriverApi& cuda = CudaDriver();
    CUcontext popped = nullptr;
    const CUresult result = cuda.Call(cuda.cuCtxPopCurrent, &popped);
    if (result != kCudaSuccess)
        ThrowDriverFailure(operation, result);
}

// On a failure between push and pop: restore the caller's context, keep the
// first error.
void PopContextQuietly()
{
    const CudaDriverApi& cuda = CudaDriver();
    CUcontext popped = nullptr;
    cuda.Call(cuda.cuCtxPopCurrent, &popped);
}

struct ChromaLayout {
    float rowsFactor;
    uint32_t planes;
};

ChromaLayout ChromaLayoutOf(cudaVideoChromaFormat chromaFormat)
{
    switch (chromaFormat) {
    case cudaVideoChromaFormat_Monochrome:
        return {0.0f, 0};
    case cudaVideoChromaFormat_420:
        return {0.5f, 1};
    case cudaVideoChromaFormat_422:
        return {1.0f, 1};
    case cudaVideoChromaFormat_444:
        return {1.0f, 2};
    }
    return {0.0f, 0};
}

bool SameDisplayArea(const CUVIDEOFORMAT& a, const CUVIDEOFORMAT& b)
{
    return a.display_area.left == b.display_area.left && a.display_area.top == b.display_area.top &&
           a.display_area.right == b.display_area.right && a.display_area.bottom == b.display_area.bottom;
}

// The copies read from column 0 and row 0 of the surface, so the area must be
// non-empty and lie within the coded picture.
bool DisplayAreaFits(const CUVIDEOFORMAT& format)
{
    const auto& area = format.display_area;
    return area.left >= 0 && area.top >= 0 && area.left < area.right && area.top < area.bottom &&
           static_cast<unsigned int>(area.right) <= format.coded_width &&
           static_cast<unsigned int>(area.bottom) <= format.coded_height;
}

struct DecoderArea {
    short left, top, right, bottom;
};

uint32_t RoundUpToEven(uint32_t value)
{
    return value + (value & 1);
}

// What NVDEC is asked to crop: the display area, grown by one column or row
// where its size is odd and the coded picture has room, so that the even
// target it is scaled into is the same size and nothing is resampled.
DecoderArea AreaToDecode(const CUVIDEOFORMAT& format)
{
    const auto& area = format.display_area;
    int right = area.right, bottom = area.bottom;
    if ((right - area.left) % 2 && static_cast<unsigned int>(right) < format.coded_width)
        ++right;
    if ((bottom - area.top) % 2 && static_cast<unsigned int>(bottom) < format.coded_height)
        ++bottom;
    return {static_cast<short>(area.left), static_cast<short>(area.top), static_cast<short>(right),
            static_cast<short>(bottom)};
}

template <typename Info>
void SetDisplayArea(Info& info, const DecoderArea& area)
{
    info.display_area.left = area.left;
    info.display_area.top = area.top;
    info.display_area.right = area.right;
    info.display_area.bottom = area.bottom;
}

} // namespace

DecodeSession::DecodeSession(CUcontext cuContext, cudaVideoCodec eCodec) : m_cudaContext(cuContext)
{
    const char* operation = "DecodeSession::DecodeSession";
    const NvdecApi& nvdec = Nvdec();
    CUresult result = nvdec.Call(nvdec.cuvidCtxLockCreate, &m_ctxLock, cuContext);
    if (result != kCudaSuccess)
        ThrowCallFailure(operation, "cuvidCtxLockCreate(&m_ctxLock, cuContext)", result);

    CUVIDPARSERPARAMS videoParserParameters{};
    videoParserParameters.CodecType = eCodec;
    videoParserParameters.ulMaxNumDecodeSurfaces = 1;
    // Each picture goes to the display callback as soon as it may be shown,
    // so a frame can come back from the call that carried it.
    videoParserParameters.ulMaxDisplayDelay = 0;
    videoParserParameters.pUserData = this;
    videoParserParameters.pfnSequenceCallback = HandleVideoSequenceProc;
    videoParserParameters.pfnDecodePicture = HandlePictureDecodeProc;
    videoParserParameters.pfnDisplayPicture = HandlePictureDisplayProc;
    // AV1 only: operating point 0, highest layer only, so a temporal unit shows one picture.
    videoParserParameters.pfnGetOperatingPoint = HandleOperatingPointProc;
    result = nvdec.Call(nvdec.cuvidCreateVideoParser, &m_hParser, &videoParserParameters);
    if (result != kCudaSuccess) {
        nvdec.Call(nvdec.cuvidCtxLockDestroy, m_ctxLock);
        ThrowCallFailure(operation, "cuvidCreateVideoParser(&m_hParser, &videoParserParameters)", result);
    }
}

DecodeSession::~DecodeSession()
{
    const CudaDriverApi& cuda = CudaDriver();
    const NvdecApi& nvdec = Nvdec();
    CUcontext popped = nullptr;
    // The driver destroys the decoder only in its own context, which the
    // destroying thread need not have current.
    const bool pushed = cuda.Call(cuda.cuCtxPushCurrent, m_cudaContext) == kCudaSuccess;
    if (m_hParser)
        nvdec.Call(nvdec.cuvidDestroyVideoParser, m_hParser);
    if (m_hDecoder)
        nvdec.Call(nvdec.cuvidDestroyDecoder, m_hDecoder);
    if (pushed)
        cuda.Call(cuda.cuCtxPopCurrent, &popped);
    {
        std::lock_guard<std::mutex> lock(m_poolMutex);
        for (uint8_t* frame : m_vFramePool) {
            // A pop after a failed push would take the caller's own context.
            const bool framePushed = cuda.Call(cuda.cuCtxPushCurrent, m_cudaContext) == kCudaSuccess;
            cuda.Call(cuda.cuMemFree, static_cast<CUdeviceptr>(reinterpret_cast<uintptr_t>(frame)));
            if (framePushed)
                cuda.Call(cuda.cuCtxPopCurrent, &popped);
        }
        m_vFramePool.clear();
    }
    nvdec.Call(nvdec.cuvidCtxLockDestroy, m_ctxLock);
}

int DecodeSession::CountDecodeSurfaces(cudaVideoCodec eCodec, unsigned int nWidth, unsigned int nHeight)
{
    if (eCodec != cudaVideoCodec_HEVC)
        return 20;
    // Quarter, half and three quarters of the largest HEVC picture, 35,651,584 samples.
    const int64_t samples = static_cast<int64_t>(static_cast<int32_t>(nWidth * nHeight));
    if (samples <= 8912896)
        return 20;
    if (samples <= 17825792)
        return 16;
    if (samples <= 26738688)
        return 12;
    return 10;
}

int DecodeSession::DecodeSurfacesFor(const CUVIDEOFORMAT& format)
{
    if (format.codec != cudaVideoCodec_AV1 && format.codec != cudaVideoCodec_VP9)
        return CountDecodeSurfaces(format.codec, format.coded_width, format.coded_height);
    // A parser that names no count gets the H.264 one, which covers eight references.
    return format.min_num_decode_surfaces ? format.min_num_decode_surfaces : 20;
}

template <typename Callback>
int DecodeSession::RunCallback(Callback callback)
{
    if (m_callbackError)
        return 0;
    try {
        return callback();
    } catch (...) {
        m_callbackError = std::current_exception();
        return 0;
    }
}

int CUDAAPI DecodeSession::HandleVideoSequenceProc(void* pUserData, CUVIDEOFORMAT* pVideoFormat)
{
    auto* session = static_cast<DecodeSession*>(pUserData);
    return session->RunCallback([&] { return session->HandleVideoSequence(pVideoFormat); });
}

int CUDAAPI DecodeSession::HandlePictureDecodeProc(void* pUserData, CUVIDPICPARAMS* pPicParams)
{
    auto* session = static_cast<DecodeSession*>(pUserData);
    return session->RunCallback([&] { return session->HandlePictureDecode(pPicParams); });
}

int CUDAAPI DecodeSession::HandlePictureDisplayProc(void* pUserData, CUVIDPARSERDISPINFO* pDispInfo)
{
    auto* session = static_cast<DecodeSession*>(pUserData);
    return session->RunCallback([&] { return session->HandlePictureDisplay(pDispInfo); });
}

int CUDAAPI DecodeSession::HandleOperatingPointProc(void*, CUVIDOPERATINGPOINTINFO*)
{
    // Bits 0-9: operating point 0; bit 10 clear: not all layers.
    return 0;
}

bool DecodeSession::Decode(const uint8_t* pData, int nSize, uint8_t*** pppFrame, int* pnFrameReturned,
                           uint32_t flags, int64_t** ppTimestamp, int64_t timestamp, CUstream stream)
{
    const char* operation = "DecodeSession::Decode";
    if (!m_hParser)
        throw VIDLANE_NVDEC_ERROR(operation, "Parser not initialized.", kCudaErrorNotInitialized);
    if (nSize < 0)
        throw VIDLANE_NVDEC_ERROR(operation, "Invalid packet size " + std::to_string(nSize),
                                  kCudaErrorInvalidValue);

    m_nFramesThisCall = 0;

    CUVIDSOURCEDATAPACKET packet{};
    packet.payload = pData;
    packet.payload_size = static_cast<tcu_ulong>(nSize);
    packet.flags = flags | CUVID_PKT_TIMESTAMP;
    if (!pData || nSize == 0)
        packet.flags |= CUVID_PKT_ENDOFSTREAM;
    packet.timestamp = timestamp;

    const NvdecApi& nvdec = Nvdec();
    m_copyStream = stream;
    m_callbackError = nullptr;
    const CUresult result = nvdec.Call(nvdec.cuvidParseVideoData, m_hParser, &packet);
    m_copyStream = nullptr;
    if (m_callbackError) {
        std::exception_ptr error = m_callbackError;
        m_callbackError = nullptr;
        std::rethrow_exception(error);
    }
    if (result != kCudaSuccess)
        ThrowCallFailure(operation, "cuvidParseVideoData(m_hParser, &packet)", result);

    if (m_nFramesThisCall > 0) {
        if (pppFrame) {
            std::lock_guard<std::mutex> lock(m_poolMutex);
            m_vReturnedFrames.assign(m_vFramePool.begin(), m_vFramePool.begin() + m_nFramesThisCall);
            *pppFrame = m_vReturnedFrames.data();
        }
        if (ppTimestamp)
            *ppTimestamp = m_vFrameTimestamps.data();
    }
    if (pnFrameReturned)
        *pnFrameReturned = m_nFramesThisCall;
    return true;
}

void DecodeSession::SetOutputLayout(const CUVIDEOFORMAT& format)
{
    const ChromaLayout chroma = ChromaLayoutOf(format.chroma_format);
    m_nOutputWidth = static_cast<uint32_t>(format.display_area.right - format.display_area.left);
    m_nLumaRows = static_cast<uint32_t>(format.display_area.bottom - format.display_area.top);
    // Rounded up: the last chroma row of an odd height still holds a line pair's samples.
    m_nChromaRows = static_cast<uint32_t>(std::ceil(static_cast<float>(m_nLumaRows) * chroma.rowsFactor));
    m_nChromaPlanes = chroma.planes;
}

size_t DecodeSession::FrameBytes() const
{
    return size_t{FramePitch()} * (size_t{m_nLumaRows} + size_t{m_nChromaRows} * m_nChromaPlanes);
}

int DecodeSession::HandleVideoSequence(CUVIDEOFORMAT* pVideoFormat)
{
    const char* operation = "DecodeSession::HandleVideoSequence";
    const NvdecApi& nvdec = Nvdec();
    const CUVIDEOFORMAT& format = *pVideoFormat;
    const int nDecodeSurface = DecodeSurfacesFor(format);

    CUVIDDECODECAPS decodecaps{};
    decodecaps.eCodecType = format.codec;
    decodecaps.eChromaFormat = format.chroma_format;
    decodecaps.nBitDepthMinus8 = format.bit_depth_luma_minus8;
    PushContext(operation, m_cudaContext);
    const CUresult capsResult = nvdec.Call(nvdec.cuvidGetDecoderCaps, &decodecaps);
    if (capsResult != kCudaSuccess) {
        PopContextQuietly();
        ThrowCallFailure(operation, "cuvidGetDecoderCaps(&decodecaps)", capsResult);
    }
    PopContext(operation);

    if (!decodecaps.bIsSupported)
        throw VIDLANE_NVDEC_ERROR(operation, "Codec not supported on this GPU", kCudaErrorNotSupported);
    if (format.coded_width > decodecaps.nMaxWidth || format.coded_height > decodecaps.nMaxHeight) {
        const std::string message = "\nResolution          : " + std::to_string(format.coded_width) + "x" +
                                    std::to_string(format.coded_height) +
                                    "\nMax Supported (wxh) : " + std::to_string(decodecaps.nMaxWidth) + "x" +
                                    std::to_string(decodecaps.nMaxHeight) + "\nResolution not supported on this GPU";
        throw VIDLANE_NVDEC_ERROR(operation, message, kCudaErrorNotSupported);
    }
    // Real hardware has minimums too (by codec and generation).
    if (format.coded_width < decodecaps.nMinWidth || format.coded_height < decodecaps.nMinHeight) {
        const std::string message = "\nResolution          : " + std::to_string(format.coded_width) + "x" +
                                    std::to_string(format.coded_height) +
                                    "\nMin Supported (wxh) : " + std::to_string(decodecaps.nMinWidth) + "x" +
                                    std::to_string(decodecaps.nMinHeight) + "\nResolution not supported on this GPU";
        throw VIDLANE_NVDEC_ERROR(operation, message, kCudaErrorNotSupported);
    }
    const uint64_t mbCount = uint64_t{format.coded_width / 16} * (format.coded_height / 16);
    if (mbCount > decodecaps.nMaxMBCount) {
        const std::string message = "\nMBCount             : " + std::to_string(mbCount) +
                                    "\nMax Supported mbcnt : " + std::to_string(decodecaps.nMaxMBCount) +
                                    "\nMBCount not supported on this GPU";
        throw VIDLANE_NVDEC_ERROR(operation, message, kCudaErrorNotSupported);
    }
    if (!DisplayAreaFits(format))
        throw VIDLANE_NVDEC_ERROR(operation, "Display area outside the coded picture", kCudaErrorInvalidValue);

    if (m_hDecoder)
        return ReconfigureDecoder(pVideoFormat);

    // Output surfaces exist for 4:2:0 and 4:4:4 only.
    if (format.chroma_format != cudaVideoChromaFormat_420 && format.chroma_format != cudaVideoChromaFormat_444)
        throw VIDLANE_NVDEC_ERROR(operation, "Chroma format not supported: only 4:2:0 and 4:4:4 are decoded",
                                  kCudaErrorNotSupported);

    const bool highBitDepth = format.bit_depth_luma_minus8 != 0;
    m_nBytesPerSample = highBitDepth ? 2 : 1;
    if (format.chroma_format == cudaVideoChromaFormat_420)
        m_eSurfaceFormat = highBitDepth ? cudaVideoSurfaceFormat_P016 : cudaVideoSurfaceFormat_NV12;
    else
        m_eSurfaceFormat = highBitDepth ? cudaVideoSurfaceFormat_YUV444_16Bit : cudaVideoSurfaceFormat_YUV444;

    m_lastFormat = format;
    m_nCeilingWidth = std::max(m_nCeilingWidth, format.coded_width);
    m_nCeilingHeight = std::max(m_nCeilingHeight, format.coded_height);

    CUVIDDECODECREATEINFO videoDecodeCreateInfo{};
    videoDecodeCreateInfo.ulWidth = format.coded_width;
    videoDecodeCreateInfo.ulHeight = format.coded_height;
    videoDecodeCreateInfo.ulNumDecodeSurfaces = static_cast<tcu_ulong>(nDecodeSurface);
    videoDecodeCreateInfo.CodecType = format.codec;
    videoDecodeCreateInfo.ChromaFormat = format.chroma_format;
    videoDecodeCreateInfo.ulCreationFlags = cudaVideoCreate_PreferCUVID;
    videoDecodeCreateInfo.bitDepthMinus8 = format.bit_depth_luma_minus8;
    videoDecodeCreateInfo.ulIntraDecodeOnly = 0;
    videoDecodeCreateInfo.ulMaxWidth = m_nCeilingWidth;
    videoDecodeCreateInfo.ulMaxHeight = m_nCeilingHeight;
    videoDecodeCreateInfo.OutputFormat = m_eSurfaceFormat;
    videoDecodeCreateInfo.DeinterlaceMode = cudaVideoDeinterlaceMode_Weave;
    // NVDEC crops the display area and scales it into the target, whose sides
    // must be even; the copies then start at the target's top left.
    const DecoderArea area = AreaToDecode(format);
    SetDisplayArea(videoDecodeCreateInfo, area);
    videoDecodeCreateInfo.ulTargetWidth = RoundUpToEven(static_cast<uint32_t>(area.right - area.left));
    videoDecodeCreateInfo.ulTargetHeight = RoundUpToEven(static_cast<uint32_t>(area.bottom - area.top));
    videoDecodeCreateInfo.ulNumOutputSurfaces = 2;
    videoDecodeCreateInfo.vidLock = m_ctxLock;

    SetOutputLayout(format);
    m_nTargetWidth = static_cast<int32_t>(videoDecodeCreateInfo.ulTargetWidth);
    m_nTargetHeight = static_cast<int32_t>(videoDecodeCreateInfo.ulTargetHeight);

    PushContext(operation, m_cudaContext);
    const CUresult result = nvdec.Call(nvdec.cuvidCreateDecoder, &m_hDecoder, &videoDecodeCreateInfo);
    if (result != kCudaSuccess) {
        m_hDecoder = nullptr;
        PopContextQuietly();
        ThrowCallFailure(operation, "cuvidCreateDecoder(&m_hDecoder, &videoDecodeCreateInfo)", result);
    }
    PopContext(operation);
    return nDecodeSurface;
}

int DecodeSession::ReconfigureDecoder(CUVIDEOFORMAT* pVideoFormat)
{
    const char* operation = "DecodeSession::ReconfigureDecoder";
    const CUVIDEOFORMAT& format = *pVideoFormat;
    if (format.bit_depth_luma_minus8 != m_lastFormat.bit_depth_luma_minus8 ||
        format.bit_depth_chroma_minus8 != m_lastFormat.bit_depth_chroma_minus8)
        throw VIDLANE_NVDEC_ERROR(operation, "Reconfigure Not supported for bit depth change",
                                  kCudaErrorNotSupported);
    if (format.chroma_format != m_lastFormat.chroma_format)
        throw VIDLANE_NVDEC_ERROR(operation, "Reconfigure Not supported for chroma format change",
                                  kCudaErrorNotSupported);

    const bool codedChanged =
        format.coded_width != m_lastFormat.coded_width || format.coded_height != m_lastFormat.coded_height;
    const bool displayChanged = !SameDisplayArea(format, m_lastFormat);
    const int nDecodeSurface = DecodeSurfacesFor(format);

    if (format.coded_width > m_nCeilingWidth || format.coded_height > m_nCeilingHeight)
        throw VIDLANE_NVDEC_ERROR(operation, "Reconfigure Not supported when width/height > maxwidth/maxheight",
                                  kCudaErrorNotSupported);
    // Colours follow the newest sequence, whatever happens to the size.
    m_lastFormat.video_signal_description = format.video_signal_description;

    if (!codedChanged && !displayChanged)
        return 1;

    // A new coded size keeps the output, into which NVDEC scales the new
    // display area. A new display area at the same coded size becomes the
    // output, and NVDEC must crop it into a target of its size.
    const uint32_t width = m_nOutputWidth, lumaRows = m_nLumaRows, chromaRows = m_nChromaRows,
                   chromaPlanes = m_nChromaPlanes;
    const int32_t targetWidth = m_nTargetWidth, targetHeight = m_nTargetHeight;
    auto keepOutput = [&] {
        m_nOutputWidth = width;
        m_nLumaRows = lumaRows;
        m_nChromaRows = chromaRows;
        m_nChromaPlanes = chromaPlanes;
        m_nTargetWidth = targetWidth;
        m_nTargetHeight = targetHeight;
    };
    const DecoderArea area = AreaToDecode(format);
    if (!codedChanged) {
        SetOutputLayout(format);
        m_nTargetWidth = static_cast<int32_t>(RoundUpToEven(static_cast<uint32_t>(area.right - area.left)));
        m_nTargetHeight = static_cast<int32_t>(RoundUpToEven(static_cast<uint32_t>(area.bottom - area.top)));
        // Pool frames keep their size: a larger picture would be copied past them.
        if (!m_vFramePool.empty() && FrameBytes() > m_nPoolFrameBytes) {
            keepOutput();
            throw VIDLANE_NVDEC_ERROR(operation,
                                      "Reconfigure Not supported when the display area outgrows the frames",
                                      kCudaErrorNotSupported);
        }
    }

    CUVIDRECONFIGUREDECODERINFO reconfigParams{};
    reconfigParams.ulWidth = format.coded_width;
    reconfigParams.ulHeight = format.coded_height;
    reconfigParams.ulTargetWidth = static_cast<unsigned int>(m_nTargetWidth);
    reconfigParams.ulTargetHeight = static_cast<unsigned int>(m_nTargetHeight);
    reconfigParams.ulNumDecodeSurfaces = static_cast<unsigned int>(nDecodeSurface);
    SetDisplayArea(reconfigParams, area);

    const NvdecApi& nvdec = Nvdec();
    try {
        PushContext(operation, m_cudaContext);
    } catch (...) {
        keepOutput();
        throw;
    }
    const CUresult result = nvdec.Call(nvdec.cuvidReconfigureDecoder, m_hDecoder, &reconfigParams);
    if (result != kCudaSuccess) {
        PopContextQuietly();
        keepOutput();
        ThrowCallFailure(operation, "cuvidReconfigureDecoder(m_hDecoder, &reconfigParams)", result);
    }
    m_lastFormat.coded_width = format.coded_width;
    m_lastFormat.coded_height = format.coded_height;
    m_lastFormat.display_area = format.display_area;
    PopContext(operation);
    return nDecodeSurface;
}

int DecodeSession::HandlePictureDecode(CUVIDPICPARAMS* pPicParams)
{
    const char* operation = "DecodeSession::HandlePictureDecode";
    if (!m_hDecoder)
        throw VIDLANE_NVDEC_ERROR(operation, "Decoder not initialized.", kCudaErrorNotInitialized);
    if (m_lastFormat.codec == cudaVideoCodec_VP9)
        m_nVp9ColourSpace = pPicParams->CodecSpecific.vp9.colorSpace;
    if (pPicParams->CurrPicIdx >= 0 && pPicParams->CurrPicIdx < kDecodeOrderSlots)
        m_aDecodeOrder[pPicParams->CurrPicIdx] = m_nPicturesDecoded;
    ++m_nPicturesDecoded;
    const NvdecApi& nvdec = Nvdec();
    const CUresult result = nvdec.Call(nvdec.cuvidDecodePicture, m_hDecoder, pPicParams);
    if (result != kCudaSuccess)
        ThrowCallFailure(operation, "cuvidDecodePicture(m_hDecoder, pPicParams)", result);
    return 1;
}

int DecodeSession::HandlePictureDisplay(CUVIDPARSERDISPINFO* pDispInfo)
{
    const char* operation = "DecodeSession::HandlePictureDisplay";
    const NvdecApi& nvdec = Nvdec();
    const CudaDriverApi& cuda = CudaDriver();

    CUVIDPROCPARAMS videoProcessingParameters{};
    videoProcessingParameters.progressive_frame = pDispInfo->progressive_frame;
    videoProcessingParameters.second_field = pDispInfo->repeat_first_field + 1;
    videoProcessingParameters.top_field_first = pDispInfo->top_field_first;
    videoProcessingParameters.unpaired_field = pDispInfo->repeat_first_field < 0 ? 1 : 0;
    videoProcessingParameters.output_stream = m_copyStream;

    unsigned long long dpSrcFrame = 0;
    unsigned int nSrcPitch = 0;
    CUresult result = nvdec.Call(nvdec.cuvidMapVideoFrame64, m_hDecoder, pDispInfo->picture_index, &dpSrcFrame,
                                 &nSrcPitch, &videoProcessingParameters);
    if (result != kCudaSuccess)
        ThrowCallFailure(operation,
                         "cuvidMapVideoFrame(m_hDecoder, pDispInfo->picture_index, &dpSrcFrame, &nSrcPitch, "
                         "&videoProcessingParameters)",
                         result);

    // From here on the surface is mapped; every failure unmaps it first.
    auto fail = [&](CUresult driverResult) {
        nvdec.Call(nvdec.cuvidUnmapVideoFrame64, m_hDecoder, dpSrcFrame);
        ThrowDriverFailure(operation, driverResult);
    };

    CUVIDGETDECODESTATUS decodeStatus{};
    result = nvdec.Call(nvdec.cuvidGetDecodeStatus, m_hDecoder, pDispInfo->picture_index, &decodeStatus);
    if (result == kCudaSuccess && (decodeStatus.decodeStatus == cuvidDecodeStatus_Error ||
                                   decodeStatus.decodeStatus == cuvidDecodeStatus_Error_Concealed)) {
        const int index = pDispInfo->picture_index;
        const int decodeOrder = index >= 0 && index < kDecodeOrderSlots ? m_aDecodeOrder[index] : index;
        std::printf("Decode Error occurred for picture %d\n", decodeOrder);
    }

    uint8_t* destination = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_poolMutex);
        if (static_cast<size_t>(m_nFramesThisCall) + 1 > m_vFramePool.size()) {
            if (m_vFramePool.empty())
                m_nPoolFrameBytes = FrameBytes();
            CUdeviceptr frame = 0;
            result = cuda.Call(cuda.cuCtxPushCurrent, m_cudaContext);
            if (result != kCudaSuccess)
                fail(result);
            result = cuda.Call(cuda.cuMemAlloc, &frame, m_nPoolFrameBytes);
            if (result != kCudaSuccess) {
                PopContextQuietly();
                fail(result);
            }
            CUcontext popped = nullptr;
            result = cuda.Call(cuda.cuCtxPopCurrent, &popped);
            if (result != kCudaSuccess) {
                cuda.Call(cuda.cuMemFree, frame);
                fail(result);
            }
            m_vFramePool.push_back(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(frame)));
        }
        destination = m_vFramePool[m_nFramesThisCall];
    }

    // Whole chroma pairs: an odd width's last column is read from the even target.
    const size_t rowBytes = FramePitch();
    const CUdeviceptr dstFrame = static_cast<CUdeviceptr>(reinterpret_cast<uintptr_t>(destination));
    CUDA_MEMCPY2D m{};
    m.srcMemoryType = CU_MEMORYTYPE_DEVICE;
    m.srcPitch = nSrcPitch;
    m.dstMemoryType = CU_MEMORYTYPE_DEVICE;
    m.dstPitch = rowBytes;
    m.WidthInBytes = rowBytes;

    result = cuda.Call(cuda.cuCtxPushCurrent, m_cudaContext);
    if (result != kCudaSuccess)
        fail(result);
    auto copyPlane = [&](size_t sourceOffset, size_t destinationOffset, uint32_t rows) {
        m.srcDevice = dpSrcFrame + sourceOffset;
        m.dstDevice = dstFrame + destinationOffset;
        m.Height = rows;
        return cuda.Call(cuda.cuMemcpy2DAsync, &m, m_copyStream);
    };
    const size_t sourcePlane = size_t{nSrcPitch} * static_cast<size_t>(m_nTargetHeight);
    const size_t destinationPlane = rowBytes * m_nLumaRows;
    result = copyPlane(0, 0, m_nLumaRows);
    if (result == kCudaSuccess && m_nChromaPlanes >= 1)
        result = copyPlane(sourcePlane, destinationPlane, m_nChromaRows);
    if (result == kCudaSuccess && m_nChromaPlanes == 2)
        result = copyPlane(2 * sourcePlane, 2 * destinationPlane, m_nChromaRows);
    if (result == kCudaSuccess)
        result = cuda.Call(cuda.cuStreamSynchronize, m_copyStream);
    if (result != kCudaSuccess) {
        PopContextQuietly();
        fail(result);
    }
    CUcontext popped = nullptr;
    result = cuda.Call(cuda.cuCtxPopCurrent, &popped);
    if (result != kCudaSuccess)
        fail(result);

    ++m_nFramesThisCall;
    if (m_vFrameTimestamps.size() < static_cast<size_t>(m_nFramesThisCall))
        m_vFrameTimestamps.resize(m_vFramePool.size());
    m_vFrameTimestamps[m_nFramesThisCall - 1] = pDispInfo->timestamp;

    result = nvdec.Call(nvdec.cuvidUnmapVideoFrame64, m_hDecoder, dpSrcFrame);
    if (result != kCudaSuccess)
        ThrowCallFailure(operation, "cuvidUnmapVideoFrame(m_hDecoder, dpSrcFrame)", result);
    return 1;
}

} // namespace vidlane2
