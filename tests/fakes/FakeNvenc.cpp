// An NVENC stand-in for tests, as strict as a driver of today (590 on): it
// speaks API 11.1 structures only and refuses the presets and rate-control
// modes that such drivers removed. Encoding a picture stores a small packet in
// its bitstream buffer; locking hands it back. In asynchronous mode (Windows)
// a picture is done a moment later, on a thread of the fake's own, which then
// sets the picture's completion event.
#include "FakeNvenc.h"
#include "FakeCalls.h"
#include "FakePlatform.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

struct Bitstream {
    bool ready = false; // guarded by State::doneMutex while a completion runs
    std::vector<uint8_t> data;
    NV_ENC_PIC_TYPE pictureType = NV_ENC_PIC_TYPE_P;
    std::thread completion; // the asynchronous picture in it, until it is locked
};

// Long enough that a lock made without waiting for the event comes first.
constexpr std::chrono::milliseconds kAsyncPictureTime{30};

NV_ENC_CONFIG DefaultPreset();

constexpr GUID kRemovedPresets[] = {
    {0xb2dfb705, 0x4ebd, 0x4c49, {0x9b, 0x5f, 0x24, 0xa7, 0x77, 0xd3, 0xe5, 0x87}}, // DEFAULT
    {0x60e4c59f, 0xe846, 0x4484, {0xa5, 0x6d, 0xcd, 0x45, 0xbe, 0x9f, 0xdd, 0xf6}}, // HP
    {0x34dba71d, 0xa77b, 0x4b8f, {0x9c, 0x3e, 0xb6, 0xd5, 0xda, 0x24, 0xc0, 0x12}}, // HQ
    {0x82e3e450, 0xbdbb, 0x4e40, {0x98, 0x9c, 0x82, 0xa9, 0x0d, 0xf9, 0xef, 0x32}}, // BD
    {0x49df21c5, 0x6dfa, 0x4feb, {0x97, 0x87, 0x6a, 0xcc, 0x9e, 0xff, 0xb7, 0x26}}, // LOW_LATENCY_DEFAULT
    {0xc5f733b9, 0xea97, 0x4cf9, {0xbe, 0xc2, 0xbf, 0x78, 0xa7, 0x4f, 0xd1, 0x05}}, // LOW_LATENCY_HQ
    {0x67082a44, 0x4bad, 0x48fa, {0x98, 0xea, 0x93, 0x05, 0x6d, 0x15, 0x0a, 0x58}}, // LOW_LATENCY_HP
    {0xd5bfb716, 0xc604, 0x44e7, {0x9b, 0xb8, 0xde, 0xa5, 0x51, 0x0f, 0xc3, 0xac}}, // LOSSLESS_DEFAULT
    {0x149998e7, 0x2364, 0x411d, {0x82, 0xef, 0x17, 0x98, 0x88, 0x09, 0x34, 0x09}}, // LOSSLESS_HP
};

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

bool RemovedPreset(const GUID& preset)
{
    for (const GUID& removed : kRemovedPresets)
        if (Same(preset, removed))
            return true;
    return false;
}

bool KnownPreset(const GUID& preset)
{
    for (const GUID& known : {NV_ENC_PRESET_P1_GUID, NV_ENC_PRESET_P2_GUID, NV_ENC_PRESET_P3_GUID,
                              NV_ENC_PRESET_P4_GUID, NV_ENC_PRESET_P5_GUID, NV_ENC_PRESET_P6_GUID,
                              NV_ENC_PRESET_P7_GUID})
        if (Same(preset, known))
            return true;
    return false;
}

// CBR_LOWDELAY_HQ, CBR_HQ and VBR_HQ: gone with the old presets.
bool RemovedRateControl(NV_ENC_PARAMS_RC_MODE mode)
{
    return mode != NV_ENC_PARAMS_RC_CONSTQP && mode != NV_ENC_PARAMS_RC_VBR && mode != NV_ENC_PARAMS_RC_CBR;
}

// What the driver checks of a configuration it is given.
NVENCSTATUS CheckConfig(const NV_ENC_CONFIG* config)
{
    if (!config)
        return NV_ENC_SUCCESS;
    if (config->version != NV_ENC_CONFIG_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    if (RemovedRateControl(config->rcParams.rateControlMode))
        return NV_ENC_ERR_INVALID_PARAM;
    return NV_ENC_SUCCESS;
}

// A driver of the 13.0 series.
constexpr uint32_t kTodaysDriverVersion = 0xD0;
// Below every frame the tests use; a test about the check sets its own.
constexpr int kDefaultMinWidth = 16;
constexpr int kDefaultMinHeight = 8;

struct State {
    fake::CallRecorder recorder;
    std::set<std::string> emptyEntries;
    uint32_t maxVersion = kTodaysDriverVersion;
    int asyncSupported = 0;
    bool asyncMode = false; // what the encoder was initialised with
    std::set<void*> asyncEvents;
    std::mutex doneMutex;
    std::condition_variable done;
    int minWidth = kDefaultMinWidth;
    int minHeight = kDefaultMinHeight;
    NV_ENC_CONFIG preset = DefaultPreset();
    uint32_t functionListVersion = 0;
    std::vector<NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS> sessions;
    std::vector<fake_nvenc::CapsQuery> caps;
    std::vector<fake_nvenc::PresetRequest> presets;
    std::vector<NV_ENC_INITIALIZE_PARAMS> initializes;
    std::vector<NV_ENC_CONFIG> initializeConfigs;
    std::vector<uint32_t> bitstreamVersions;
    std::vector<NV_ENC_REGISTER_RESOURCE> registrations;
    std::vector<NV_ENC_EVENT_PARAMS> events;
    std::vector<NV_ENC_MAP_INPUT_RESOURCE> maps;
    std::vector<NV_ENC_PIC_PARAMS> pictures;
    std::vector<NV_ENC_LOCK_BITSTREAM> locks;
    std::vector<NV_ENC_RECONFIGURE_PARAMS> reconfigurations;
    std::vector<NV_ENC_CONFIG> reconfigureConfigs;
    std::set<void*> liveSessions;
    std::map<void*, void*> sessionContexts; // encoder -> the CUDA context it was opened on
    std::map<void*, Bitstream> bitstreams;
    std::set<void*> liveRegistrations;
    std::map<void*, void*> liveMappings; // mapped -> registered
    uintptr_t nextHandle = 0x10000;
    uint32_t encodedPictures = 0;
    // From the configuration in force: the IDR period and whether every IDR repeats SPS/PPS.
    uint32_t idrPeriod = 0;
    bool repeatParameterSets = false;
    std::vector<bool> parameterSets;
    std::vector<NV_ENC_PIC_TYPE> pictureTypes;
};

State& state()
{
    static State s;
    return s;
}

NVENCSTATUS Enter(const char* name)
{
    return static_cast<NVENCSTATUS>(state().recorder.Enter(name));
}

// The calling thread's current CUDA context, asked of whichever CUDA driver
// the process loaded (the fake one in tests, the real one on a GPU); none
// without a driver.
void* CurrentCudaContext()
{
    using GetCurrent = int (*)(void**);
    static GetCurrent getCurrent = nullptr;
    if (!getCurrent)
        getCurrent = reinterpret_cast<GetCurrent>(fake::LoadedCudaDriverEntry("cuCtxGetCurrent"));
    void* context = nullptr;
    if (!getCurrent || getCurrent(&context) != 0)
        return nullptr;
    return context;
}

// Like the driver, a session on a CUDA device works in its context only: a
// call made while another one (or none) is current fails and changes nothing.
NVENCSTATUS EnterInContext(const char* name, void* encoder)
{
    if (NVENCSTATUS r = Enter(name))
        return r;
    auto session = state().sessionContexts.find(encoder);
    if (session == state().sessionContexts.end())
        return NV_ENC_ERR_INVALID_ENCODERDEVICE;
    return CurrentCudaContext() == session->second ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_DEVICE;
}

void* NewHandle()
{
    State& s = state();
    s.nextHandle += 0x10;
    return reinterpret_cast<void*>(s.nextHandle);
}

NV_ENC_CONFIG DefaultPreset()
{
    NV_ENC_CONFIG preset{};
    preset.gopLength = 250;
    preset.frameIntervalP = 3;
    preset.rcParams.rateControlMode = NV_ENC_PARAMS_RC_VBR;
    preset.rcParams.constQP = {11, 12, 13};
    // As a P-preset with high-quality tuning may: B-frames and lookahead.
    preset.rcParams.enableLookahead = 1;
    preset.rcParams.lookaheadDepth = 8;
    preset.encodeCodecConfig.hevcConfig.chromaFormatIDC = 1;
    return preset;
}

void TakeGopSettings(const GUID& codec, const NV_ENC_CONFIG* config)
{
    State& s = state();
    s.idrPeriod = 0;
    s.repeatParameterSets = false;
    if (!config)
        return;
    if (Same(codec, NV_ENC_CODEC_HEVC_GUID)) {
        s.idrPeriod = config->encodeCodecConfig.hevcConfig.idrPeriod;
        s.repeatParameterSets = config->encodeCodecConfig.hevcConfig.repeatSPSPPS;
    } else {
        s.idrPeriod = config->encodeCodecConfig.h264Config.idrPeriod;
        s.repeatParameterSets = config->encodeCodecConfig.h264Config.repeatSPSPPS;
    }
}

NVENCSTATUS NVENCAPI OpenEncodeSession(void*, uint32_t, void**)
{
    return Enter("nvEncOpenEncodeSession");
}

NVENCSTATUS NVENCAPI OpenEncodeSessionEx(NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS* params, void** encoder)
{
    if (NVENCSTATUS r = Enter("nvEncOpenEncodeSessionEx"))
        return r;
    state().sessions.push_back(*params);
    if (params->version != NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    // A client older than 11.1 is refused: major in the low byte, minor in the top one.
    const uint32_t major = params->apiVersion & 0xFF, minor = params->apiVersion >> 24;
    if (major < NVENCAPI_MAJOR_VERSION || (major == NVENCAPI_MAJOR_VERSION && minor < NVENCAPI_MINOR_VERSION))
        return NV_ENC_ERR_INVALID_VERSION;
    *encoder = NewHandle();
    state().liveSessions.insert(*encoder);
    state().sessionContexts[*encoder] = params->device;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI GetEncodeCaps(void*, GUID codec, NV_ENC_CAPS_PARAM* param, int* value)
{
    if (NVENCSTATUS r = Enter("nvEncGetEncodeCaps"))
        return r;
    state().caps.push_back({codec, *param});
    if (param->version != NV_ENC_CAPS_PARAM_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    if (param->capsToQuery == NV_ENC_CAPS_ASYNC_ENCODE_SUPPORT)
        *value = state().asyncSupported;
    else if (param->capsToQuery == NV_ENC_CAPS_WIDTH_MIN)
        *value = state().minWidth;
    else if (param->capsToQuery == NV_ENC_CAPS_HEIGHT_MIN)
        *value = state().minHeight;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS ReadPreset(GUID codec, GUID preset, NV_ENC_TUNING_INFO tuning, NV_ENC_PRESET_CONFIG* config)
{
    state().presets.push_back({codec, preset, tuning, config->version, config->presetCfg.version});
    if (config->version != NV_ENC_PRESET_CONFIG_VER || config->presetCfg.version != NV_ENC_CONFIG_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    if (RemovedPreset(preset) || !KnownPreset(preset))
        return NV_ENC_ERR_INVALID_PARAM;
    if (tuning == NV_ENC_TUNING_INFO_UNDEFINED || tuning >= NV_ENC_TUNING_INFO_COUNT)
        return NV_ENC_ERR_INVALID_PARAM;
    config->presetCfg = state().preset;
    config->presetCfg.version = NV_ENC_CONFIG_VER;
    return NV_ENC_SUCCESS;
}

// The old query reads the presets without tuning, as the high-quality one.
NVENCSTATUS NVENCAPI GetEncodePresetConfig(void*, GUID codec, GUID preset, NV_ENC_PRESET_CONFIG* config)
{
    if (NVENCSTATUS r = Enter("nvEncGetEncodePresetConfig"))
        return r;
    return ReadPreset(codec, preset, NV_ENC_TUNING_INFO_HIGH_QUALITY, config);
}

NVENCSTATUS NVENCAPI GetEncodePresetConfigEx(void*, GUID codec, GUID preset, NV_ENC_TUNING_INFO tuning,
                                             NV_ENC_PRESET_CONFIG* config)
{
    if (NVENCSTATUS r = Enter("nvEncGetEncodePresetConfigEx"))
        return r;
    return ReadPreset(codec, preset, tuning, config);
}

NVENCSTATUS NVENCAPI InitializeEncoder(void* encoder, NV_ENC_INITIALIZE_PARAMS* params)
{
    if (NVENCSTATUS r = EnterInContext("nvEncInitializeEncoder", encoder))
        return r;
    state().initializes.push_back(*params);
    state().initializeConfigs.push_back(params->encodeConfig ? *params->encodeConfig : NV_ENC_CONFIG{});
    if (params->version != NV_ENC_INITIALIZE_PARAMS_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    if (NVENCSTATUS r = CheckConfig(params->encodeConfig))
        return r;
    TakeGopSettings(params->encodeGUID, params->encodeConfig);
    if (params->enableEncodeAsync && !state().asyncSupported)
        return NV_ENC_ERR_UNSUPPORTED_PARAM;
    state().asyncMode = params->enableEncodeAsync != 0;
    if (RemovedPreset(params->presetGUID) || params->tuningInfo == NV_ENC_TUNING_INFO_UNDEFINED ||
        params->tuningInfo >= NV_ENC_TUNING_INFO_COUNT)
        return NV_ENC_ERR_INVALID_PARAM;
    if (static_cast<int64_t>(params->encodeWidth) < state().minWidth ||
        static_cast<int64_t>(params->encodeHeight) < state().minHeight)
        return NV_ENC_ERR_INVALID_PARAM;
    state().encodedPictures = 0;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI CreateBitstreamBuffer(void* encoder, NV_ENC_CREATE_BITSTREAM_BUFFER* params)
{
    if (NVENCSTATUS r = EnterInContext("nvEncCreateBitstreamBuffer", encoder))
        return r;
    state().bitstreamVersions.push_back(params->version);
    if (params->version != NV_ENC_CREATE_BITSTREAM_BUFFER_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    params->bitstreamBuffer = NewHandle();
    state().bitstreams[params->bitstreamBuffer] = Bitstream{};
    return NV_ENC_SUCCESS;
}

// Waits for an asynchronous picture in the buffer to be done.
void FinishCompletion(Bitstream& bitstream)
{
    if (!bitstream.completion.joinable())
        return;
    {
        std::unique_lock<std::mutex> lock(state().doneMutex);
        state().done.wait(lock, [&] { return bitstream.ready; });
    }
    bitstream.completion.join();
}

NVENCSTATUS NVENCAPI DestroyBitstreamBuffer(void* encoder, NV_ENC_OUTPUT_PTR buffer)
{
    if (NVENCSTATUS r = EnterInContext("nvEncDestroyBitstreamBuffer", encoder))
        return r;
    auto bitstream = state().bitstreams.find(buffer);
    if (bitstream != state().bitstreams.end())
        FinishCompletion(bitstream->second);
    return state().bitstreams.erase(buffer) ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_PTR;
}

NVENCSTATUS NVENCAPI RegisterResource(void* encoder, NV_ENC_REGISTER_RESOURCE* params)
{
    if (NVENCSTATUS r = EnterInContext("nvEncRegisterResource", encoder))
        return r;
    if (params->version != NV_ENC_REGISTER_RESOURCE_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    params->registeredResource = NewHandle();
    state().registrations.push_back(*params);
    state().liveRegistrations.insert(params->registeredResource);
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnregisterResource(void* encoder, NV_ENC_REGISTERED_PTR resource)
{
    if (NVENCSTATUS r = EnterInContext("nvEncUnregisterResource", encoder))
        return r;
    return state().liveRegistrations.erase(resource) ? NV_ENC_SUCCESS : NV_ENC_ERR_RESOURCE_NOT_REGISTERED;
}

NVENCSTATUS NVENCAPI MapInputResource(void* encoder, NV_ENC_MAP_INPUT_RESOURCE* params)
{
    if (NVENCSTATUS r = EnterInContext("nvEncMapInputResource", encoder))
        return r;
    state().maps.push_back(*params);
    if (params->version != NV_ENC_MAP_INPUT_RESOURCE_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    if (!state().liveRegistrations.count(params->registeredResource))
        return NV_ENC_ERR_RESOURCE_NOT_REGISTERED;
    // A resource is mapped once at a time; a second mapping would leak the first.
    for (const auto& mapping : state().liveMappings)
        if (mapping.second == params->registeredResource)
            return NV_ENC_ERR_INVALID_CALL;
    params->mappedResource = NewHandle();
    state().liveMappings[params->mappedResource] = params->registeredResource;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnmapInputResource(void* encoder, NV_ENC_INPUT_PTR mapped)
{
    if (NVENCSTATUS r = EnterInContext("nvEncUnmapInputResource", encoder))
        return r;
    return state().liveMappings.erase(mapped) ? NV_ENC_SUCCESS : NV_ENC_ERR_RESOURCE_NOT_MAPPED;
}

NVENCSTATUS NVENCAPI EncodePicture(void* encoder, NV_ENC_PIC_PARAMS* params)
{
    if (NVENCSTATUS r = EnterInContext("nvEncEncodePicture", encoder))
        return r;
    State& s = state();
    s.pictures.push_back(*params);
    if (params->version != NV_ENC_PIC_PARAMS_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    if (params->encodePicFlags & NV_ENC_PIC_FLAG_EOS)
        return NV_ENC_SUCCESS;
    auto bitstream = s.bitstreams.find(params->outputBitstream);
    if (bitstream == s.bitstreams.end() || !s.liveMappings.count(params->inputBuffer))
        return NV_ENC_ERR_INVALID_PARAM;
    // Asynchronous mode tells of every picture through a registered event.
    if (s.asyncMode && !s.asyncEvents.count(params->completionEvent))
        return NV_ENC_ERR_INVALID_PARAM;
    FinishCompletion(bitstream->second);
    const uint32_t number = s.encodedPictures++;
    bitstream->second.ready = !s.asyncMode;
    bitstream->second.data = fake_nvenc::PacketFor(number);
    const bool forced = params->encodePicFlags & NV_ENC_PIC_FLAG_FORCEIDR;
    const bool periodic = s.idrPeriod != 0 && s.idrPeriod != NVENC_INFINITE_GOPLENGTH && number % s.idrPeriod == 0;
    const bool idr = number == 0 || forced || periodic;
    bitstream->second.pictureType = idr ? NV_ENC_PIC_TYPE_IDR : NV_ENC_PIC_TYPE_P;
    s.pictureTypes.push_back(bitstream->second.pictureType);
    // SPS/PPS come with the first picture, on request, and on every IDR only when asked to repeat them.
    s.parameterSets.push_back(number == 0 || (params->encodePicFlags & NV_ENC_PIC_FLAG_OUTPUT_SPSPPS) ||
                              (idr && s.repeatParameterSets));
    if (s.asyncMode) {
        Bitstream* buffer = &bitstream->second;
        void* event = params->completionEvent;
        buffer->completion = std::thread([buffer, event] {
            std::this_thread::sleep_for(kAsyncPictureTime);
            state().recorder.Enter(fake_nvenc::kPictureDone);
            {
                std::lock_guard<std::mutex> lock(state().doneMutex);
                buffer->ready = true;
            }
            state().done.notify_all();
            fake::SignalEvent(event);
        });
    }
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI LockBitstream(void* encoder, NV_ENC_LOCK_BITSTREAM* params)
{
    if (NVENCSTATUS r = EnterInContext("nvEncLockBitstream", encoder))
        return r;
    State& s = state();
    s.locks.push_back(*params);
    if (params->version != NV_ENC_LOCK_BITSTREAM_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    auto bitstream = s.bitstreams.find(params->outputBitstream);
    if (bitstream == s.bitstreams.end())
        return NV_ENC_ERR_INVALID_PARAM;
    if (bitstream->second.completion.joinable()) {
        if (params->doNotWait) {
            std::lock_guard<std::mutex> lock(s.doneMutex);
            if (!bitstream->second.ready)
                return NV_ENC_ERR_LOCK_BUSY;
        }
        // Without doNotWait the lock blocks until the picture is done.
        FinishCompletion(bitstream->second);
    }
    if (!bitstream->second.ready)
        return NV_ENC_ERR_INVALID_PARAM;
    params->bitstreamBufferPtr = bitstream->second.data.data();
    params->bitstreamSizeInBytes = static_cast<uint32_t>(bitstream->second.data.size());
    params->pictureType = bitstream->second.pictureType;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnlockBitstream(void* encoder, NV_ENC_OUTPUT_PTR buffer)
{
    if (NVENCSTATUS r = EnterInContext("nvEncUnlockBitstream", encoder))
        return r;
    auto bitstream = state().bitstreams.find(buffer);
    if (bitstream == state().bitstreams.end())
        return NV_ENC_ERR_INVALID_PTR;
    bitstream->second.ready = false;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI RegisterAsyncEvent(void*, NV_ENC_EVENT_PARAMS* params)
{
    if (NVENCSTATUS r = Enter("nvEncRegisterAsyncEvent"))
        return r;
    state().events.push_back(*params);
    if (params->version != NV_ENC_EVENT_PARAMS_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    state().asyncEvents.insert(params->completionEvent);
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnregisterAsyncEvent(void*, NV_ENC_EVENT_PARAMS* params)
{
    if (NVENCSTATUS r = Enter("nvEncUnregisterAsyncEvent"))
        return r;
    if (params->version != NV_ENC_EVENT_PARAMS_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    return state().asyncEvents.erase(params->completionEvent) ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_PARAM;
}

NVENCSTATUS NVENCAPI ReconfigureEncoder(void* encoder, NV_ENC_RECONFIGURE_PARAMS* params)
{
    if (NVENCSTATUS r = EnterInContext("nvEncReconfigureEncoder", encoder))
        return r;
    state().reconfigurations.push_back(*params);
    const NV_ENC_CONFIG* config = params->reInitEncodeParams.encodeConfig;
    state().reconfigureConfigs.push_back(config ? *config : NV_ENC_CONFIG{});
    TakeGopSettings(params->reInitEncodeParams.encodeGUID, config);
    if (params->version != NV_ENC_RECONFIGURE_PARAMS_VER ||
        params->reInitEncodeParams.version != NV_ENC_INITIALIZE_PARAMS_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    return CheckConfig(config);
}

NVENCSTATUS NVENCAPI DestroyEncoder(void* encoder)
{
    if (NVENCSTATUS r = EnterInContext("nvEncDestroyEncoder", encoder))
        return r;
    state().sessionContexts.erase(encoder);
    return state().liveSessions.erase(encoder) ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_PTR;
}

template <typename Entry>
void Fill(Entry& slot, Entry function, const char* name)
{
    slot = state().emptyEntries.count(name) ? nullptr : function;
}

[[maybe_unused]] void FillFunctionList(NV_ENCODE_API_FUNCTION_LIST* list)
{
    Fill(list->nvEncOpenEncodeSession, &OpenEncodeSession, "nvEncOpenEncodeSession");
    Fill(list->nvEncOpenEncodeSessionEx, &OpenEncodeSessionEx, "nvEncOpenEncodeSessionEx");
    Fill(list->nvEncGetEncodeCaps, &GetEncodeCaps, "nvEncGetEncodeCaps");
    Fill(list->nvEncGetEncodePresetConfig, &GetEncodePresetConfig, "nvEncGetEncodePresetConfig");
    Fill(list->nvEncGetEncodePresetConfigEx, &GetEncodePresetConfigEx, "nvEncGetEncodePresetConfigEx");
    Fill(list->nvEncInitializeEncoder, &InitializeEncoder, "nvEncInitializeEncoder");
    Fill(list->nvEncCreateBitstreamBuffer, &CreateBitstreamBuffer, "nvEncCreateBitstreamBuffer");
    Fill(list->nvEncDestroyBitstreamBuffer, &DestroyBitstreamBuffer, "nvEncDestroyBitstreamBuffer");
    Fill(list->nvEncRegisterResource, &RegisterResource, "nvEncRegisterResource");
    Fill(list->nvEncUnregisterResource, &UnregisterResource, "nvEncUnregisterResource");
    Fill(list->nvEncMapInputResource, &MapInputResource, "nvEncMapInputResource");
    Fill(list->nvEncUnmapInputResource, &UnmapInputResource, "nvEncUnmapInputResource");
    Fill(list->nvEncEncodePicture, &EncodePicture, "nvEncEncodePicture");
    Fill(list->nvEncLockBitstream, &LockBitstream, "nvEncLockBitstream");
    Fill(list->nvEncUnlockBitstream, &UnlockBitstream, "nvEncUnlockBitstream");
    Fill(list->nvEncRegisterAsyncEvent, &RegisterAsyncEvent, "nvEncRegisterAsyncEvent");
    Fill(list->nvEncUnregisterAsyncEvent, &UnregisterAsyncEvent, "nvEncUnregisterAsyncEvent");
    Fill(list->nvEncReconfigureEncoder, &ReconfigureEncoder, "nvEncReconfigureEncoder");
    Fill(list->nvEncDestroyEncoder, &DestroyEncoder, "nvEncDestroyEncoder");
}

} // namespace

namespace fake_nvenc {

void Reset()
{
    State& s = state();
    for (auto& bitstream : s.bitstreams)
        FinishCompletion(bitstream.second);
    s.recorder.Reset();
    s.emptyEntries.clear();
    s.maxVersion = kTodaysDriverVersion;
    s.asyncSupported = 0;
    s.asyncMode = false;
    s.asyncEvents.clear();
    s.minWidth = kDefaultMinWidth;
    s.minHeight = kDefaultMinHeight;
    s.preset = DefaultPreset();
    s.functionListVersion = 0;
    s.sessions.clear();
    s.caps.clear();
    s.presets.clear();
    s.initializes.clear();
    s.initializeConfigs.clear();
    s.bitstreamVersions.clear();
    s.registrations.clear();
    s.events.clear();
    s.maps.clear();
    s.pictures.clear();
    s.locks.clear();
    s.reconfigurations.clear();
    s.reconfigureConfigs.clear();
    s.liveSessions.clear();
    s.sessionContexts.clear();
    s.bitstreams.clear();
    s.liveRegistrations.clear();
    s.liveMappings.clear();
    s.encodedPictures = 0;
    s.idrPeriod = 0;
    s.repeatParameterSets = false;
    s.parameterSets.clear();
    s.pictureTypes.clear();
}

void FailCall(const std::string& entry, NVENCSTATUS status, int skip) { state().recorder.Fail(entry, status, skip); }
void ClearFailures() { state().recorder.ClearFailures(); }
void LeaveEntryEmpty(const std::string& entry) { state().emptyEntries.insert(entry); }
void SetMaxSupportedVersion(uint32_t version) { state().maxVersion = version; }
void SetAsyncSupported(int value) { state().asyncSupported = value; }
void SetMinimumSize(int width, int height)
{
    state().minWidth = width;
    state().minHeight = height;
}
NV_ENC_CONFIG& PresetConfig() { return state().preset; }

std::vector<std::string> Calls() { return state().recorder.Calls(); }
size_t CountCalls(const std::string& entry)
{
    const auto& calls = Calls();
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), entry));
}
uint32_t FunctionListVersion() { return state().functionListVersion; }
const std::vector<NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS>& OpenedSessions() { return state().sessions; }
const std::vector<CapsQuery>& CapsQueries() { return state().caps; }
const std::vector<PresetRequest>& PresetRequests() { return state().presets; }
const std::vector<NV_ENC_INITIALIZE_PARAMS>& InitializeRequests() { return state().initializes; }
const std::vector<NV_ENC_CONFIG>& InitializeConfigs() { return state().initializeConfigs; }
const std::vector<uint32_t>& BitstreamBufferVersions() { return state().bitstreamVersions; }
const std::vector<NV_ENC_REGISTER_RESOURCE>& Registrations() { return state().registrations; }
const std::vector<NV_ENC_EVENT_PARAMS>& RegisteredEvents() { return state().events; }
const std::vector<NV_ENC_MAP_INPUT_RESOURCE>& MapRequests() { return state().maps; }
const std::vector<NV_ENC_PIC_PARAMS>& Pictures() { return state().pictures; }
const std::vector<NV_ENC_LOCK_BITSTREAM>& Locks() { return state().locks; }
const std::vector<NV_ENC_RECONFIGURE_PARAMS>& Reconfigurations() { return state().reconfigurations; }
const std::vector<NV_ENC_CONFIG>& ReconfigureConfigs() { return state().reconfigureConfigs; }
const std::vector<bool>& ParameterSetsWritten() { return state().parameterSets; }
const std::vector<NV_ENC_PIC_TYPE>& PictureTypes() { return state().pictureTypes; }
size_t LiveSessions() { return state().liveSessions.size(); }
size_t LiveBitstreamBuffers() { return state().bitstreams.size(); }
size_t LiveRegistrations() { return state().liveRegistrations.size(); }
size_t LiveMappings() { return state().liveMappings.size(); }
size_t LiveAsyncEvents() { return state().asyncEvents.size(); }
std::string LibraryFile() { return fake::LibraryFileName(reinterpret_cast<const void*>(&state)); }

std::vector<uint8_t> PacketFor(uint32_t pictureNumber)
{
    return std::vector<uint8_t>(pictureNumber % 7 + 3, static_cast<uint8_t>(0xA0 + pictureNumber));
}

} // namespace fake_nvenc

extern "C" {

#ifndef FAKE_NVENC_WITHOUT_VERSION_ENTRY
NVENCSTATUS NVENCAPI NvEncodeAPIGetMaxSupportedVersion(uint32_t* version)
{
    if (NVENCSTATUS r = Enter("NvEncodeAPIGetMaxSupportedVersion"))
        return r;
    *version = state().maxVersion;
    return NV_ENC_SUCCESS;
}
#endif

#ifndef FAKE_NVENC_WITHOUT_CREATE_ENTRY
NVENCSTATUS NVENCAPI NvEncodeAPICreateInstance(NV_ENCODE_API_FUNCTION_LIST* list)
{
    if (NVENCSTATUS r = Enter("NvEncodeAPICreateInstance"))
        return r;
    state().functionListVersion = list->version;
    if (list->version != NV_ENCODE_API_FUNCTION_LIST_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    FillFunctionList(list);
    return NV_ENC_SUCCESS;
}
#endif

} // extern "C"
