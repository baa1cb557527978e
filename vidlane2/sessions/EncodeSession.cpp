#include "sessions/EncodeSession.h"

#include "base/CudaDriver.h"
#include "base/SessionExceptions.h"
#include "sessions/CompletionEvent.h"
#include "sessions/NvencLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace vidlane2 {

namespace {

constexpr uint32_t kCompletionWaitMs = 20000;

// A table entry the driver left empty reads as an unimplemented call rather
// than a call through null.
template <typename Entry, typename... Args>
NVENCSTATUS CallNvenc(Entry entry, Args... args)
{
    return entry ? entry(args...) : NV_ENC_ERR_UNIMPLEMENTED;
}

[[noreturn]] void ThrowCallFailure(const char* operation, const char* callText, NVENCSTATUS status)
{
    throw VIDLANE_NVENC_ERROR(operation, CallFailureMessage(callText, status), status);
}

bool IsTenBit(NV_ENC_BUFFER_FORMAT format)
{
    return format == NV_ENC_BUFFER_FORMAT_YUV420_10BIT || format == NV_ENC_BUFFER_FORMAT_YUV444_10BIT;
}

bool IsYuv444(NV_ENC_BUFFER_FORMAT format)
{
    return format == NV_ENC_BUFFER_FORMAT_YUV444 || format == NV_ENC_BUFFER_FORMAT_YUV444_10BIT;
}

// The preset read when no configuration is supplied.
constexpr GUID kFallbackPreset = nvenc::kPresetP4;
constexpr NV_ENC_TUNING_INFO kFallbackTuning = NV_ENC_TUNING_INFO_LOW_LATENCY;

// P-presets with high-quality or lossless tuning turn on B-frames, and some
// lookahead; a picture must come back from the call that submitted it.
void KeepLowDelay(NV_ENC_CONFIG& config)
{
    config.frameIntervalP = 1;
    config.rcParams.enableLookahead = 0;
    config.rcParams.lookaheadDepth = 0;
}

std::string GuidText(const GUID& guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string CodecText(const GUID& codec)
{
    if (nvenc::SameGuid(codec, nvenc::kCodecH264))
        return "NV_ENC_CODEC_H264_GUID";
    if (nvenc::SameGuid(codec, nvenc::kCodecHevc))
        return "NV_ENC_CODEC_HEVC_GUID";
    return GuidText(codec);
}

std::string PresetText(const GUID& preset)
{
    const char* name = nvenc::PresetName(preset);
    return name ? std::string("NV_ENC_PRESET_") + name + "_GUID" : GuidText(preset);
}

std::string TuningText(NV_ENC_TUNING_INFO tuning)
{
    switch (tuning) {
    case NV_ENC_TUNING_INFO_UNDEFINED:
        return "NV_ENC_TUNING_INFO_UNDEFINED";
    case NV_ENC_TUNING_INFO_HIGH_QUALITY:
        return "NV_ENC_TUNING_INFO_HIGH_QUALITY";
    case NV_ENC_TUNING_INFO_LOW_LATENCY:
        return "NV_ENC_TUNING_INFO_LOW_LATENCY";
    case NV_ENC_TUNING_INFO_ULTRA_LOW_LATENCY:
        return "NV_ENC_TUNING_INFO_ULTRA_LOW_LATENCY";
    case NV_ENC_TUNING_INFO_LOSSLESS:
        return "NV_ENC_TUNING_INFO_LOSSLESS";
    default:
        return std::to_string(static_cast<int>(tuning));
    }
}

// The session's CUDA context, current for as long as the scope lives: NVENC
// on a CUDA device works in the context it was opened on, which the calling
// thread need not have current. The caller's context is current again after.
class SessionContext {
public:
    // Throws when the context cannot be made current.
    SessionContext(void* device, NV_ENC_DEVICE_TYPE deviceType, const char* operation)
        : SessionContext(device, deviceType)
    {
        if (m_result != kCudaSuccess) {
            const char* name = CudaDriverName(m_result);
            throw VIDLANE_NVENC_ERROR(operation, std::string("CUDA driver API error ") + (name ? name : ""),
                                      NV_ENC_ERR_GENERIC);
        }
    }

    // For release: a failed push is ignored, and no pop follows it, which
    // would take the caller's own context.
    SessionContext(void* device, NV_ENC_DEVICE_TYPE deviceType)
    {
        if (deviceType != NV_ENC_DEVICE_TYPE_CUDA || !device)
            return;
        const CudaDriverApi& cuda = CudaDriver();
        m_result = cuda.Call(cuda.cuCtxPushCurrent, static_cast<CUcontext>(device));
        m_pushed = m_result == kCudaSuccess;
    }

    ~SessionContext()
    {
        if (!m_pushed)
            return;
        const CudaDriverApi& cuda = CudaDriver();
        CUcontext popped = nullptr;
        cuda.Call(cuda.cuCtxPopCurrent, &popped);
    }

    SessionContext(const SessionContext&) = delete;
    SessionContext& operator=(const SessionContext&) = delete;

private:
    CUresult m_result = kCudaSuccess;
    bool m_pushed = false;
};

} // namespace

EncodeSession::EncodeSession(void* pDevice, NV_ENC_DEVICE_TYPE eDeviceType, uint32_t nWidth, uint32_t nHeight,
                             NV_ENC_BUFFER_FORMAT eBufferFormat, uint32_t nExtraOutputDelay)
    : m_nEncodeWidth(nWidth),
      m_nEncodeHeight(nHeight),
      m_eInputFormat(eBufferFormat),
      m_pEncodeDevice(pDevice),
      m_eEncodeDeviceType(eDeviceType),
      m_nExtraDelay(nExtraOutputDelay),
      m_nLimitWidth(nWidth),
      m_nLimitHeight(nHeight)
{
    LoadNvEncApi();

    if (!m_nvenc.nvEncOpenEncodeSession) {
        m_nEncoderBuffer = 0;
        throw VIDLANE_NVENC_ERROR("EncodeSession::EncodeSession", "EncodeAPI not found", NV_ENC_ERR_NO_ENCODE_DEVICE);
    }

    NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS encodeSessionExParams{};
    encodeSessionExParams.version = nvenc::kOpenEncodeSessionExParamsVer;
    encodeSessionExParams.deviceType = m_eEncodeDeviceType;
    encodeSessionExParams.device = m_pEncodeDevice;
    encodeSessionExParams.apiVersion = nvenc::kApiVersion;
    void* hEncoder = nullptr;
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType, "EncodeSession::EncodeSession");
    const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncOpenEncodeSessionEx, &encodeSessionExParams, &hEncoder);
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure("EncodeSession::EncodeSession",
                         "m_nvenc.nvEncOpenEncodeSessionEx(&encodeSessionExParams, &hEncoder)", status);
    m_hEncoder = hEncoder;
}

EncodeSession::~EncodeSession()
{
    CloseHardwareSession();
}

void EncodeSession::LoadNvEncApi()
{
    const char* operation = "EncodeSession::LoadNvEncApi";
    const NvencLibrary& library = LoadNvencLibrary();
    if (!library.handle)
        throw VIDLANE_NVENC_ERROR(operation, "NVENC library file is not found. Please ensure NV driver is installed",
                                  NV_ENC_ERR_NO_ENCODE_DEVICE);
    m_hEncodeLibrary = library.handle;

    if (!library.getMaxSupportedVersion)
        throw VIDLANE_NVENC_ERROR(operation,
                                  "Cannot find NvEncodeAPIGetMaxSupportedVersion() entry in NVENC library",
                                  NV_ENC_ERR_NO_ENCODE_DEVICE);
    uint32_t version = 0;
    NVENCSTATUS status = library.getMaxSupportedVersion(&version);
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure(operation, "NvEncodeAPIGetMaxSupportedVersion(&version)", status);
    if (version < nvenc::kMinDriverVersion)
        throw VIDLANE_NVENC_ERROR(operation,
                                  "Current Driver Version does not support this NvEncodeAPI version, please upgrade "
                                  "driver",
                                  NV_ENC_ERR_INVALID_VERSION);

    if (!library.createInstance)
        throw VIDLANE_NVENC_ERROR(operation, "Cannot find NvEncodeAPICreateInstance() entry in NVENC library",
                                  NV_ENC_ERR_NO_ENCODE_DEVICE);
    std::memset(&m_nvenc, 0, sizeof(m_nvenc));
    m_nvenc.version = nvenc::kFunctionListVer;
    status = library.createInstance(&m_nvenc);
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure(operation, "NvEncodeAPICreateInstance(&m_nvenc)", status);
}

void EncodeSession::ReadPresetConfig(const char* operation, GUID codecGuid, GUID presetGuid,
                                     NV_ENC_TUNING_INFO tuningInfo, NV_ENC_CONFIG& config)
{
    NV_ENC_PRESET_CONFIG presetConfig{};
    presetConfig.version = nvenc::kPresetConfigVer;
    presetConfig.presetCfg.version = nvenc::kConfigVer;
    const NVENCSTATUS status =
        CallNvenc(m_nvenc.nvEncGetEncodePresetConfigEx, m_hEncoder, codecGuid, presetGuid, tuningInfo, &presetConfig);
    // A refused preset would otherwise surface later as a failed initialisation.
    if (status != NV_ENC_SUCCESS) {
        const std::string call = "m_nvenc.nvEncGetEncodePresetConfigEx(m_hEncoder, " + CodecText(codecGuid) + ", " +
                                 PresetText(presetGuid) + ", " + TuningText(tuningInfo) + ", &presetConfig)";
        ThrowCallFailure(operation, call.c_str(), status);
    }
    config = presetConfig.presetCfg;
}

void EncodeSession::CreateDefaultEncoderParams(NV_ENC_INITIALIZE_PARAMS* pInitializeParams, GUID codecGuid,
                                               GUID presetGuid, NV_ENC_TUNING_INFO tuningInfo)
{
    const char* operation = "EncodeSession::CreateDefaultEncoderParams";
    if (!m_hEncoder)
        throw VIDLANE_NVENC_ERROR(operation, "Encoder Initialization failed", NV_ENC_ERR_NO_ENCODE_DEVICE);
    if (!pInitializeParams || !pInitializeParams->encodeConfig)
        throw VIDLANE_NVENC_ERROR(operation, "pInitializeParams and pInitializeParams->encodeConfig can't be NULL",
                                  NV_ENC_ERR_INVALID_PTR);
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType, operation);

    NV_ENC_CONFIG* config = pInitializeParams->encodeConfig;
    std::memset(config, 0, sizeof(*config));
    std::memset(pInitializeParams, 0, sizeof(*pInitializeParams));
    pInitializeParams->encodeConfig = config;
    config->version = nvenc::kConfigVer;
    pInitializeParams->version = nvenc::kInitializeParamsVer;

    pInitializeParams->encodeGUID = codecGuid;
    pInitializeParams->presetGUID = presetGuid;
    pInitializeParams->tuningInfo = tuningInfo;
    pInitializeParams->encodeWidth = m_nEncodeWidth;
    pInitializeParams->encodeHeight = m_nEncodeHeight;
    pInitializeParams->darWidth = m_nEncodeWidth;
    pInitializeParams->darHeight = m_nEncodeHeight;
    pInitializeParams->maxEncodeWidth = m_nEncodeWidth;
    pInitializeParams->maxEncodeHeight = m_nEncodeHeight;
    pInitializeParams->frameRateNum = 30;
    pInitializeParams->frameRateDen = 1;
    pInitializeParams->enablePTD = 1;
    pInitializeParams->reportSliceOffsets = 0;
    pInitializeParams->enableSubFrameWrite = 0;
    pInitializeParams->enableMEOnlyMode = 0;
    pInitializeParams->enableOutputInVidmem = 0;

    NV_ENC_CAPS_PARAM capsParam{};
    capsParam.version = nvenc::kCapsParamVer;
    capsParam.capsToQuery = NV_ENC_CAPS_ASYNC_ENCODE_SUPPORT;
    int asyncSupported = 0;
    CallNvenc(m_nvenc.nvEncGetEncodeCaps, m_hEncoder, codecGuid, &capsParam, &asyncSupported);
    pInitializeParams->enableEncodeAsync = static_cast<uint32_t>(asyncSupported);

    ReadPresetConfig(operation, codecGuid, presetGuid, tuningInfo, *config);
    KeepLowDelay(*config);
    config->gopLength = NVENC_INFINITE_GOPLENGTH;
    config->rcParams.rateControlMode = NV_ENC_PARAMS_RC_CONSTQP;

    // Lossless comes from the tuning: fixed QPs would make it lossy.
    if (tuningInfo != NV_ENC_TUNING_INFO_LOSSLESS)
        config->rcParams.constQP = {28, 31, 25};

    if (nvenc::SameGuid(codecGuid, nvenc::kCodecH264)) {
        if (IsYuv444(m_eInputFormat))
            config->encodeCodecConfig.h264Config.chromaFormatIDC = 3;
        config->encodeCodecConfig.h264Config.idrPeriod = config->gopLength;
    } else if (nvenc::SameGuid(codecGuid, nvenc::kCodecHevc)) {
        const bool tenBit = IsTenBit(m_eInputFormat) || m_eInputFormat == NV_ENC_BUFFER_FORMAT_ABGR10;
        config->encodeCodecConfig.hevcConfig.pixelBitDepthMinus8 = tenBit ? 2 : 0;
        // 10-bit RGB becomes 4:2:0 Main10 inside NVENC; only YUV 4:4:4 input stays 4:4:4.
        if (IsYuv444(m_eInputFormat))
            config->encodeCodecConfig.hevcConfig.chromaFormatIDC = 3;
        else if (m_eInputFormat == NV_ENC_BUFFER_FORMAT_ABGR10)
            config->encodeCodecConfig.hevcConfig.chromaFormatIDC = 1;
        config->encodeCodecConfig.hevcConfig.idrPeriod = config->gopLength;
    }
}

void EncodeSession::CreateEncoder(const NV_ENC_INITIALIZE_PARAMS* pInitializeParams)
{
    const char* operation = "EncodeSession::CreateEncoder";
    if (!m_hEncoder)
        throw VIDLANE_NVENC_ERROR(operation, "Encoder Initialization failed", NV_ENC_ERR_NO_ENCODE_DEVICE);
    if (!pInitializeParams)
        throw VIDLANE_NVENC_ERROR(operation, "Invalid NV_ENC_INITIALIZE_PARAMS ptr", NV_ENC_ERR_INVALID_PTR);
    if (pInitializeParams->encodeWidth == 0 || pInitializeParams->encodeHeight == 0)
        throw VIDLANE_NVENC_ERROR(operation, "Invalid encoder width and height", NV_ENC_ERR_INVALID_PARAM);

    const bool h264 = nvenc::SameGuid(pInitializeParams->encodeGUID, nvenc::kCodecH264);
    const bool hevc = nvenc::SameGuid(pInitializeParams->encodeGUID, nvenc::kCodecHevc);
    if (!h264 && !hevc)
        throw VIDLANE_NVENC_ERROR(operation, "Invalid codec guid", NV_ENC_ERR_INVALID_PARAM);
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType, operation);

    // Without a configuration the 4:4:4 and 10-bit settings are missing, so
    // those formats are refused rather than guessed.
    const NV_ENC_CONFIG* supplied = pInitializeParams->encodeConfig;
    const uint32_t h264ChromaFormat = supplied ? supplied->encodeCodecConfig.h264Config.chromaFormatIDC : 0;
    const uint32_t hevcChromaFormat = supplied ? supplied->encodeCodecConfig.hevcConfig.chromaFormatIDC : 0;
    const uint32_t hevcBitDepthMinus8 = supplied ? supplied->encodeCodecConfig.hevcConfig.pixelBitDepthMinus8 : 0;
    if (h264 && IsTenBit(m_eInputFormat))
        throw VIDLANE_NVENC_ERROR(operation, "10-bit format isn't supported by H264 encoder",
                                  NV_ENC_ERR_INVALID_PARAM);
    if (h264 && m_eInputFormat == NV_ENC_BUFFER_FORMAT_YUV444 && h264ChromaFormat != 3)
        throw VIDLANE_NVENC_ERROR(operation, "Invalid ChromaFormatIDC", NV_ENC_ERR_INVALID_PARAM);
    if (hevc && IsTenBit(m_eInputFormat) && hevcBitDepthMinus8 != 2)
        throw VIDLANE_NVENC_ERROR(operation, "Invalid PixelBitdepth", NV_ENC_ERR_INVALID_PARAM);
    if (hevc && IsYuv444(m_eInputFormat) && hevcChromaFormat != 3)
        throw VIDLANE_NVENC_ERROR(operation, "Invalid ChromaFormatIDC", NV_ENC_ERR_INVALID_PARAM);

    CheckMinimumSize(pInitializeParams->encodeGUID, pInitializeParams->encodeWidth,
                     pInitializeParams->encodeHeight);

    std::memcpy(&m_initializeParams, pInitializeParams, sizeof(m_initializeParams));
    m_initializeParams.version = nvenc::kInitializeParamsVer;

    if (supplied) {
        std::memcpy(&m_config, supplied, sizeof(m_config));
    } else {
        // The encoder runs the preset it was configured from.
        m_initializeParams.presetGUID = kFallbackPreset;
        m_initializeParams.tuningInfo = kFallbackTuning;
        ReadPresetConfig(operation, pInitializeParams->encodeGUID, kFallbackPreset, kFallbackTuning, m_config);
        KeepLowDelay(m_config);
        m_config.rcParams.rateControlMode = NV_ENC_PARAMS_RC_CONSTQP;
        m_config.rcParams.constQP = {23, 26, 20};
    }
    m_config.version = nvenc::kConfigVer;
    m_initializeParams.encodeConfig = &m_config;

    const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncInitializeEncoder, m_hEncoder, &m_initializeParams);
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure(operation, "m_nvenc.nvEncInitializeEncoder(m_hEncoder, &m_initializeParams)", status);

    m_bInitialized = true;
    m_nEncodeWidth = pInitializeParams->encodeWidth;
    m_nEncodeHeight = pInitializeParams->encodeHeight;
    m_nLimitWidth = pInitializeParams->maxEncodeWidth;
    m_nLimitHeight = pInitializeParams->maxEncodeHeight;
    m_iSubmitted = 0;
    m_iGot = 0;

    // An intra-only configuration (frameIntervalP 0) without lookahead still
    // needs one slot.
    const int64_t ringSize = int64_t{m_config.frameIntervalP} + m_config.rcParams.lookaheadDepth + m_nExtraDelay;
    m_nEncoderBuffer = static_cast<int32_t>(std::max<int64_t>(1, ringSize));
    m_nPipelineDelay = m_nEncoderBuffer - 1;
    m_vMappedInputBuffers.assign(m_nEncoderBuffer, nullptr);

    m_vCompletionEvents.clear();
    for (int32_t slot = 0; slot < m_nEncoderBuffer; ++slot) {
        void* event = CreateCompletionEvent();
        if (!event)
            break; // no asynchronous mode on this platform
        m_vCompletionEvents.push_back(event);
        NV_ENC_EVENT_PARAMS eventParams{};
        eventParams.version = nvenc::kEventParamsVer;
        eventParams.completionEvent = event;
        CallNvenc(m_nvenc.nvEncRegisterAsyncEvent, m_hEncoder, &eventParams);
    }

    InitializeBitstreamBuffer();
    AllocateInputBuffers(m_nEncoderBuffer);
}

void EncodeSession::InitializeBitstreamBuffer()
{
    m_vBitstreamBuffers.assign(m_nEncoderBuffer, nullptr);
    for (auto& bitstreamBuffer : m_vBitstreamBuffers) {
        NV_ENC_CREATE_BITSTREAM_BUFFER createBitstreamBuffer{};
        createBitstreamBuffer.version = nvenc::kCreateBitstreamBufferVer;
        const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncCreateBitstreamBuffer, m_hEncoder, &createBitstreamBuffer);
        if (status != NV_ENC_SUCCESS)
            ThrowCallFailure("EncodeSession::InitializeBitstreamBuffer",
                             "m_nvenc.nvEncCreateBitstreamBuffer(m_hEncoder, &createBitstreamBuffer)", status);
        bitstreamBuffer = createBitstreamBuffer.bitstreamBuffer;
    }
}

void EncodeSession::RegisterResource(const std::vector<void*>& inputBuffers, uint32_t width, uint32_t height,
                                     uint32_t pitch, NV_ENC_BUFFER_FORMAT bufferFormat)
{
    for (void* inputBuffer : inputBuffers) {
        NV_ENC_REGISTER_RESOURCE registerResource{};
        registerResource.version = nvenc::kRegisterResourceVer;
        registerResource.resourceType = NV_ENC_INPUT_RESOURCE_TYPE_CUDADEVICEPTR;
        registerResource.width = width;
        registerResource.height = height;
        registerResource.pitch = pitch;
        registerResource.subResourceIndex = 0;
        registerResource.resourceToRegister = inputBuffer;
        registerResource.bufferFormat = bufferFormat;
        registerResource.bufferUsage = NV_ENC_INPUT_IMAGE;
        const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncRegisterResource, m_hEncoder, &registerResource);
        if (status != NV_ENC_SUCCESS)
            ThrowCallFailure("EncodeSession::RegisterResource",
                             "m_nvenc.nvEncRegisterResource(m_hEncoder, &registerResource)", status);

        InputSlot slot;
        slot.devicePtr = inputBuffer;
        const std::vector<uint32_t> offsets = GetChromaSubPlaneOffsets(bufferFormat, pitch, height);
        for (size_t plane = 0; plane < offsets.size() && plane < 2; ++plane)
            slot.chromaPlaneOffsets[plane] = offsets[plane];
        slot.chromaPlaneCount = GetNumChromaPlanes(bufferFormat);
        slot.pitch = pitch;
        slot.chromaPitch = GetChromaPitch(bufferFormat, pitch);
        slot.bufferFormat = bufferFormat;
        slot.resourceType = NV_ENC_INPUT_RESOURCE_TYPE_CUDADEVICEPTR;

        m_vRegisteredInputs.push_back(registerResource.registeredResource);
        m_vInputSlots.push_back(slot);
    }
}

// Real hardware refuses pictures below its minimum, by codec and generation;
// asked here, the text can say the size and the minimum.
void EncodeSession::CheckMinimumSize(GUID codecGuid, uint32_t width, uint32_t height)
{
    const char* operation = "EncodeSession::CreateEncoder";
    auto query = [&](NV_ENC_CAPS caps) {
        NV_ENC_CAPS_PARAM capsParam{};
        capsParam.version = nvenc::kCapsParamVer;
        capsParam.capsToQuery = caps;
        int minimum = 0;
        const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncGetEncodeCaps, m_hEncoder, codecGuid, &capsParam, &minimum);
        if (status != NV_ENC_SUCCESS)
            ThrowCallFailure(operation, "m_nvenc.nvEncGetEncodeCaps(m_hEncoder, codecGuid, &capsParam, &minimum)",
                             status);
        return static_cast<uint32_t>(std::max(minimum, 0));
    };
    const uint32_t minWidth = query(NV_ENC_CAPS_WIDTH_MIN);
    const uint32_t minHeight = query(NV_ENC_CAPS_HEIGHT_MIN);
    if (width < minWidth || height < minHeight)
        throw VIDLANE_NVENC_ERROR(operation,
                                  "\nResolution          : " + std::to_string(width) + "x" + std::to_string(height) +
                                      "\nMin Supported (wxh) : " + std::to_string(minWidth) + "x" +
                                      std::to_string(minHeight) + "\nResolution not supported on this GPU",
                                  NV_ENC_ERR_UNSUPPORTED_PARAM);
}

bool EncodeSession::RingReady() const
{
    return m_hEncoder && m_bInitialized && m_nEncoderBuffer > 0 &&
           m_vInputSlots.size() == static_cast<size_t>(m_nEncoderBuffer) &&
           m_vBitstreamBuffers.size() == static_cast<size_t>(m_nEncoderBuffer);
}

const InputSlot& EncodeSession::NextInputSlot() const
{
    if (!RingReady())
        throw VIDLANE_NVENC_ERROR("EncodeSession::NextInputSlot", "Encoder device not found",
                                  NV_ENC_ERR_NO_ENCODE_DEVICE);
    return m_vInputSlots[m_iSubmitted % m_nEncoderBuffer];
}

void* EncodeSession::CompletionEventFor(int32_t slot) const
{
    if (m_vCompletionEvents.size() != static_cast<size_t>(m_nEncoderBuffer))
        return nullptr;
    return m_vCompletionEvents[slot];
}

void EncodeSession::MapResources(int32_t slot)
{
    // A mapping a failed collection could not release goes first: a second
    // mapping of the same resource would leak it.
    if (m_vMappedInputBuffers[slot]) {
        const NVENCSTATUS status = UnmapSlot(slot);
        if (status != NV_ENC_SUCCESS)
            ThrowCallFailure("EncodeSession::MapResources",
                             "m_nvenc.nvEncUnmapInputResource(m_hEncoder, m_vMappedInputBuffers[slot])", status);
    }
    NV_ENC_MAP_INPUT_RESOURCE mapInputResource{};
    mapInputResource.version = nvenc::kMapInputResourceVer;
    mapInputResource.registeredResource = m_vRegisteredInputs[slot];
    const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncMapInputResource, m_hEncoder, &mapInputResource);
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure("EncodeSession::MapResources",
                         "m_nvenc.nvEncMapInputResource(m_hEncoder, &mapInputResource)", status);
    m_vMappedInputBuffers[slot] = mapInputResource.mappedResource;
}

namespace {

class CollectingSink final : public PacketSink {
public:
    explicit CollectingSink(EncodedPackets& packets) : m_packets(packets) { m_packets.clear(); }
    void Take(const uint8_t* data, uint32_t size) override
    {
        m_packets.emplace_back();
        if (data)
            m_packets.back().assign(data, data + size);
    }

private:
    EncodedPackets& m_packets;
};

} // namespace

void EncodeSession::EncodeFrame(EncodedPackets& packets, const NV_ENC_PIC_PARAMS* picParams,
                                uint8_t* pictureTypeOut)
{
    CollectingSink sink(packets);
    EncodeFrame(sink, picParams, pictureTypeOut);
}

void EncodeSession::EndEncode(EncodedPackets& packets)
{
    CollectingSink sink(packets);
    EndEncode(sink);
}

void EncodeSession::EncodeFrame(PacketSink& sink, const NV_ENC_PIC_PARAMS* picParams, uint8_t* pictureTypeOut)
{
    if (!RingReady())
        throw VIDLANE_NVENC_ERROR("EncodeSession::EncodeFrame", "Encoder device not found",
                                  NV_ENC_ERR_NO_ENCODE_DEVICE);
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType, "EncodeSession::EncodeFrame");

    const int32_t slot = m_iSubmitted % m_nEncoderBuffer;
    MapResources(slot);

    NV_ENC_PIC_PARAMS encodePicParams{};
    if (picParams)
        std::memcpy(&encodePicParams, picParams, sizeof(encodePicParams));
    encodePicParams.version = nvenc::kPicParamsVer;
    encodePicParams.pictureStruct = NV_ENC_PIC_STRUCT_FRAME;
    encodePicParams.inputBuffer = m_vMappedInputBuffers[slot];
    encodePicParams.bufferFmt = m_eInputFormat;
    encodePicParams.inputWidth = m_nEncodeWidth;
    encodePicParams.inputHeight = m_nEncodeHeight;
    encodePicParams.outputBitstream = m_vBitstreamBuffers[slot];
    encodePicParams.completionEvent = CompletionEventFor(slot);

    const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncEncodePicture, m_hEncoder, &encodePicParams);
    if (status != NV_ENC_SUCCESS && status != NV_ENC_ERR_NEED_MORE_INPUT) {
        // The frame was not taken: release its mapping so the slot can be mapped again.
        CallNvenc(m_nvenc.nvEncUnmapInputResource, m_hEncoder, m_vMappedInputBuffers[slot]);
        m_vMappedInputBuffers[slot] = nullptr;
        throw VIDLANE_NVENC_ERROR("EncodeSession::EncodeFrame", "nvEncEncodePicture API failed", status);
    }
    ++m_iSubmitted;
    GetEncodedPacket(sink, true, pictureTypeOut);
}

void EncodeSession::EndEncode(PacketSink& sink)
{
    if (!m_hEncoder || !m_bInitialized)
        throw VIDLANE_NVENC_ERROR("EncodeSession::EndEncode", "Encoder device not initialized",
                                  NV_ENC_ERR_ENCODER_NOT_INITIALIZED);
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType, "EncodeSession::EndEncode");
    SendEOS();
    GetEncodedPacket(sink, false, nullptr);
}

void EncodeSession::SendEOS()
{
    NV_ENC_PIC_PARAMS picParams{};
    picParams.version = nvenc::kPicParamsVer;
    picParams.encodePicFlags = NV_ENC_PIC_FLAG_EOS;
    picParams.completionEvent = m_nEncoderBuffer > 0 ? CompletionEventFor(m_iSubmitted % m_nEncoderBuffer) : nullptr;
    const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncEncodePicture, m_hEncoder, &picParams);
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure("EncodeSession::SendEOS", "m_nvenc.nvEncEncodePicture(m_hEncoder, &picParams)", status);
}

void EncodeSession::GetEncodedPacket(PacketSink& sink, bool bOutputDelay, uint8_t* pictureTypeOut)
{
    const int32_t end = bOutputDelay ? m_iSubmitted - m_nPipelineDelay : m_iSubmitted;
    while (m_iGot < end) {
        // Counted before collecting: whatever fails, the ring stays in step
        // and only this frame is lost.
        const int32_t slot = m_iGot++ % m_nEncoderBuffer;
        CollectSlot(slot, sink, pictureTypeOut);
    }
}

void EncodeSession::CollectSlot(int32_t slot, PacketSink& sink, uint8_t* pictureTypeOut)
{
    const char* operation = "EncodeSession::GetEncodedPacket";
    NVENCSTATUS status = NV_ENC_SUCCESS;
    try {
        WaitForCompletionEvent(slot);

        NV_ENC_LOCK_BITSTREAM lockBitstreamData{};
        lockBitstreamData.version = nvenc::kLockBitstreamVer;
        lockBitstreamData.outputBitstream = m_vBitstreamBuffers[slot];
        lockBitstreamData.doNotWait = 0;
        status = CallNvenc(m_nvenc.nvEncLockBitstream, m_hEncoder, &lockBitstreamData);
        if (status != NV_ENC_SUCCESS)
            ThrowCallFailure(operation, "m_nvenc.nvEncLockBitstream(m_hEncoder, &lockBitstreamData)", status);

        if (pictureTypeOut)
            *pictureTypeOut = static_cast<uint8_t>(lockBitstreamData.pictureType & 0xFF);
        sink.Take(static_cast<const uint8_t*>(lockBitstreamData.bitstreamBufferPtr),
                  lockBitstreamData.bitstreamBufferPtr ? lockBitstreamData.bitstreamSizeInBytes : 0);

        status = CallNvenc(m_nvenc.nvEncUnlockBitstream, m_hEncoder, lockBitstreamData.outputBitstream);
        if (status != NV_ENC_SUCCESS)
            ThrowCallFailure(operation,
                             "m_nvenc.nvEncUnlockBitstream(m_hEncoder, lockBitstreamData.outputBitstream)", status);
    } catch (...) {
        UnmapSlot(slot);
        throw;
    }

    status = UnmapSlot(slot);
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure(operation,
                         "m_nvenc.nvEncUnmapInputResource(m_hEncoder, m_vMappedInputBuffers[m_iGot % "
                         "m_nEncoderBuffer])",
                         status);
}

// Keeps the mapping when the unmap fails, so that the next map of the slot retries it.
NVENCSTATUS EncodeSession::UnmapSlot(int32_t slot)
{
    if (!m_vMappedInputBuffers[slot])
        return NV_ENC_SUCCESS;
    const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncUnmapInputResource, m_hEncoder, m_vMappedInputBuffers[slot]);
    if (status == NV_ENC_SUCCESS)
        m_vMappedInputBuffers[slot] = nullptr;
    return status;
}

void EncodeSession::WaitForCompletionEvent(int32_t slot)
{
    if (!m_initializeParams.enableEncodeAsync)
        return;
    void* event = CompletionEventFor(slot);
    if (!event)
        return;
    if (!vidlane2::WaitForCompletionEvent(event, kCompletionWaitMs))
        throw VIDLANE_NVENC_ERROR("EncodeSession::WaitForCompletionEvent", "Failed to encode frame",
                                  NV_ENC_ERR_GENERIC);
}

void EncodeSession::GetInitializeParams(NV_ENC_INITIALIZE_PARAMS* pInitializeParams) const
{
    if (!pInitializeParams || !pInitializeParams->encodeConfig)
        throw VIDLANE_NVENC_ERROR("EncodeSession::GetInitializeParams",
                                  "Both pInitializeParams and pInitializeParams->encodeConfig can't be NULL",
                                  NV_ENC_ERR_INVALID_PTR);
    NV_ENC_CONFIG* callerConfig = pInitializeParams->encodeConfig;
    std::memcpy(callerConfig, &m_config, sizeof(m_config));
    std::memcpy(pInitializeParams, &m_initializeParams, sizeof(m_initializeParams));
    pInitializeParams->encodeConfig = callerConfig;
}

bool EncodeSession::Reconfigure(const NV_ENC_RECONFIGURE_PARAMS* pReconfigureParams)
{
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType, "EncodeSession::Reconfigure");
    const NVENCSTATUS status = CallNvenc(m_nvenc.nvEncReconfigureEncoder, m_hEncoder,
                                         const_cast<NV_ENC_RECONFIGURE_PARAMS*>(pReconfigureParams));
    if (status != NV_ENC_SUCCESS)
        ThrowCallFailure("EncodeSession::Reconfigure",
                         "m_nvenc.nvEncReconfigureEncoder(m_hEncoder, "
                         "const_cast<NV_ENC_RECONFIGURE_PARAMS*>(pReconfigureParams))",
                         status);

    const NV_ENC_INITIALIZE_PARAMS& reInit = pReconfigureParams->reInitEncodeParams;
    std::memcpy(&m_initializeParams, &reInit, sizeof(m_initializeParams));
    if (reInit.encodeConfig)
        std::memcpy(&m_config, reInit.encodeConfig, sizeof(m_config));
    // The stored parameters keep pointing at the session's own configuration,
    // never at the caller's.
    m_initializeParams.encodeConfig = &m_config;
    m_nEncodeWidth = reInit.encodeWidth;
    m_nEncodeHeight = reInit.encodeHeight;
    m_nLimitWidth = reInit.maxEncodeWidth;
    m_nLimitHeight = reInit.maxEncodeHeight;
    return true;
}

void EncodeSession::DrainQuietly()
{
    try {
        EncodedPackets scratch;
        EndEncode(scratch);
    } catch (...) {
    }
}

void EncodeSession::ReleaseRegistrations()
{
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType);
    DrainQuietly();
    for (auto& mapped : m_vMappedInputBuffers) {
        if (mapped)
            CallNvenc(m_nvenc.nvEncUnmapInputResource, m_hEncoder, mapped);
        mapped = nullptr;
    }
    for (NV_ENC_REGISTERED_PTR registered : m_vRegisteredInputs) {
        if (registered)
            CallNvenc(m_nvenc.nvEncUnregisterResource, m_hEncoder, registered);
    }
    m_vRegisteredInputs.clear();
}

void EncodeSession::CloseHardwareSession()
{
    if (!m_hEncoder)
        return;
    // The device, not the CUDA session's context field: that is cleared
    // when the inputs are released, before the session closes.
    const SessionContext context(m_pEncodeDevice, m_eEncodeDeviceType);
    for (void* event : m_vCompletionEvents) {
        if (!event)
            continue;
        NV_ENC_EVENT_PARAMS eventParams{};
        eventParams.version = nvenc::kEventParamsVer;
        eventParams.completionEvent = event;
        CallNvenc(m_nvenc.nvEncUnregisterAsyncEvent, m_hEncoder, &eventParams);
        CloseCompletionEvent(event);
    }
    m_vCompletionEvents.clear();
    for (NV_ENC_OUTPUT_PTR bitstreamBuffer : m_vBitstreamBuffers) {
        if (bitstreamBuffer)
            CallNvenc(m_nvenc.nvEncDestroyBitstreamBuffer, m_hEncoder, bitstreamBuffer);
    }
    m_vBitstreamBuffers.clear();
    CallNvenc(m_nvenc.nvEncDestroyEncoder, m_hEncoder);
    m_hEncoder = nullptr;
    m_bInitialized = false;
}

void EncodeSession::Shutdown()
{
    if (!m_hEncoder)
        return;
    ReleaseInputs();
    CloseHardwareSession();
}

} // namespace vidlane2
