// An NVENC stand-in for tests. Encoding a picture stores a small packet in its
// bitstream buffer; locking hands it back.
#include "FakeNvenc.h"
#include "FakeCalls.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace {

struct Bitstream {
    bool ready = false;
    std::vector<uint8_t> data;
    NV_ENC_PIC_TYPE pictureType = NV_ENC_PIC_TYPE_P;
};

NV_ENC_CONFIG DefaultPreset();

struct State {
    fake::CallRecorder recorder;
    std::set<std::string> emptyEntries;
    uint32_t maxVersion = 0x90;
    int asyncSupported = 0;
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
    std::map<void*, Bitstream> bitstreams;
    std::set<void*> liveRegistrations;
    std::map<void*, void*> liveMappings; // mapped -> registered
    uintptr_t nextHandle = 0x10000;
    uint32_t encodedPictures = 0;
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
    preset.encodeCodecConfig.hevcConfig.chromaFormatIDC = 1;
    return preset;
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
    *encoder = NewHandle();
    state().liveSessions.insert(*encoder);
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI GetEncodeCaps(void*, GUID codec, NV_ENC_CAPS_PARAM* param, int* value)
{
    if (NVENCSTATUS r = Enter("nvEncGetEncodeCaps"))
        return r;
    state().caps.push_back({codec, *param});
    if (param->capsToQuery == NV_ENC_CAPS_ASYNC_ENCODE_SUPPORT)
        *value = state().asyncSupported;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI GetEncodePresetConfig(void*, GUID codec, GUID preset, NV_ENC_PRESET_CONFIG* config)
{
    if (NVENCSTATUS r = Enter("nvEncGetEncodePresetConfig"))
        return r;
    state().presets.push_back({codec, preset, config->version, config->presetCfg.version});
    const uint32_t version = config->presetCfg.version;
    config->presetCfg = state().preset;
    config->presetCfg.version = version;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI InitializeEncoder(void*, NV_ENC_INITIALIZE_PARAMS* params)
{
    if (NVENCSTATUS r = Enter("nvEncInitializeEncoder"))
        return r;
    state().initializes.push_back(*params);
    state().initializeConfigs.push_back(params->encodeConfig ? *params->encodeConfig : NV_ENC_CONFIG{});
    state().encodedPictures = 0;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI CreateBitstreamBuffer(void*, NV_ENC_CREATE_BITSTREAM_BUFFER* params)
{
    if (NVENCSTATUS r = Enter("nvEncCreateBitstreamBuffer"))
        return r;
    state().bitstreamVersions.push_back(params->version);
    params->bitstreamBuffer = NewHandle();
    state().bitstreams[params->bitstreamBuffer] = Bitstream{};
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI DestroyBitstreamBuffer(void*, NV_ENC_OUTPUT_PTR buffer)
{
    if (NVENCSTATUS r = Enter("nvEncDestroyBitstreamBuffer"))
        return r;
    return state().bitstreams.erase(buffer) ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_PTR;
}

NVENCSTATUS NVENCAPI RegisterResource(void*, NV_ENC_REGISTER_RESOURCE* params)
{
    if (NVENCSTATUS r = Enter("nvEncRegisterResource"))
        return r;
    params->registeredResource = NewHandle();
    state().registrations.push_back(*params);
    state().liveRegistrations.insert(params->registeredResource);
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnregisterResource(void*, NV_ENC_REGISTERED_PTR resource)
{
    if (NVENCSTATUS r = Enter("nvEncUnregisterResource"))
        return r;
    return state().liveRegistrations.erase(resource) ? NV_ENC_SUCCESS : NV_ENC_ERR_RESOURCE_NOT_REGISTERED;
}

NVENCSTATUS NVENCAPI MapInputResource(void*, NV_ENC_MAP_INPUT_RESOURCE* params)
{
    if (NVENCSTATUS r = Enter("nvEncMapInputResource"))
        return r;
    state().maps.push_back(*params);
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

NVENCSTATUS NVENCAPI UnmapInputResource(void*, NV_ENC_INPUT_PTR mapped)
{
    if (NVENCSTATUS r = Enter("nvEncUnmapInputResource"))
        return r;
    return state().liveMappings.erase(mapped) ? NV_ENC_SUCCESS : NV_ENC_ERR_RESOURCE_NOT_MAPPED;
}

NVENCSTATUS NVENCAPI EncodePicture(void*, NV_ENC_PIC_PARAMS* params)
{
    if (NVENCSTATUS r = Enter("nvEncEncodePicture"))
        return r;
    State& s = state();
    s.pictures.push_back(*params);
    if (params->encodePicFlags & NV_ENC_PIC_FLAG_EOS)
        return NV_ENC_SUCCESS;
    auto bitstream = s.bitstreams.find(params->outputBitstream);
    if (bitstream == s.bitstreams.end() || !s.liveMappings.count(params->inputBuffer))
        return NV_ENC_ERR_INVALID_PARAM;
    const uint32_t number = s.encodedPictures++;
    bitstream->second.ready = true;
    bitstream->second.data = fake_nvenc::PacketFor(number);
    const bool idr = number == 0 || (params->encodePicFlags & NV_ENC_PIC_FLAG_FORCEIDR);
    bitstream->second.pictureType = idr ? NV_ENC_PIC_TYPE_IDR : NV_ENC_PIC_TYPE_P;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI LockBitstream(void*, NV_ENC_LOCK_BITSTREAM* params)
{
    if (NVENCSTATUS r = Enter("nvEncLockBitstream"))
        return r;
    State& s = state();
    s.locks.push_back(*params);
    auto bitstream = s.bitstreams.find(params->outputBitstream);
    if (bitstream == s.bitstreams.end() || !bitstream->second.ready)
        return NV_ENC_ERR_INVALID_PARAM;
    params->bitstreamBufferPtr = bitstream->second.data.data();
    params->bitstreamSizeInBytes = static_cast<uint32_t>(bitstream->second.data.size());
    params->pictureType = bitstream->second.pictureType;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnlockBitstream(void*, NV_ENC_OUTPUT_PTR buffer)
{
    if (NVENCSTATUS r = Enter("nvEncUnlockBitstream"))
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
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnregisterAsyncEvent(void*, NV_ENC_EVENT_PARAMS*)
{
    return Enter("nvEncUnregisterAsyncEvent");
}

NVENCSTATUS NVENCAPI ReconfigureEncoder(void*, NV_ENC_RECONFIGURE_PARAMS* params)
{
    if (NVENCSTATUS r = Enter("nvEncReconfigureEncoder"))
        return r;
    state().reconfigurations.push_back(*params);
    const NV_ENC_CONFIG* config = params->reInitEncodeParams.encodeConfig;
    state().reconfigureConfigs.push_back(config ? *config : NV_ENC_CONFIG{});
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI DestroyEncoder(void* encoder)
{
    if (NVENCSTATUS r = Enter("nvEncDestroyEncoder"))
        return r;
    return state().liveSessions.erase(encoder) ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_PTR;
}

template <typename Entry>
void Fill(Entry& slot, Entry function, const char* name)
{
    slot = state().emptyEntries.count(name) ? nullptr : function;
}

[[maybe_unused]] void FillFunctionList(NV_ENCODE_API_FUNCTION_LIST* list)
{
    state().functionListVersion = list->version;
    Fill(list->nvEncOpenEncodeSession, &OpenEncodeSession, "nvEncOpenEncodeSession");
    Fill(list->nvEncOpenEncodeSessionEx, &OpenEncodeSessionEx, "nvEncOpenEncodeSessionEx");
    Fill(list->nvEncGetEncodeCaps, &GetEncodeCaps, "nvEncGetEncodeCaps");
    Fill(list->nvEncGetEncodePresetConfig, &GetEncodePresetConfig, "nvEncGetEncodePresetConfig");
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
    s.recorder.Reset();
    s.emptyEntries.clear();
    s.maxVersion = 0x90;
    s.asyncSupported = 0;
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
    s.bitstreams.clear();
    s.liveRegistrations.clear();
    s.liveMappings.clear();
    s.encodedPictures = 0;
}

void FailCall(const std::string& entry, NVENCSTATUS status, int skip) { state().recorder.Fail(entry, status, skip); }
void ClearFailures() { state().recorder.ClearFailures(); }
void LeaveEntryEmpty(const std::string& entry) { state().emptyEntries.insert(entry); }
void SetMaxSupportedVersion(uint32_t version) { state().maxVersion = version; }
void SetAsyncSupported(int value) { state().asyncSupported = value; }
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
size_t LiveSessions() { return state().liveSessions.size(); }
size_t LiveBitstreamBuffers() { return state().bitstreams.size(); }
size_t LiveRegistrations() { return state().liveRegistrations.size(); }
size_t LiveMappings() { return state().liveMappings.size(); }

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
    FillFunctionList(list);
    return NV_ENC_SUCCESS;
}
#endif

} // extern "C"
