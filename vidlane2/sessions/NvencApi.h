#pragma once

// The encoder interface at API 11.1, the version of the installed header: the
// oldest that drivers from 590 on still serve with presets (P1 to P7 with a
// tuning), since they removed the presets and rate-control modes of 9.0.
#include <ffnvcodec/nvEncodeAPI.h>

#include <cstdint>

namespace vidlane2::nvenc {

static_assert(NVENCAPI_MAJOR_VERSION == 11 && NVENCAPI_MINOR_VERSION == 1,
              "the session speaks NVENC API 11.1; its structure versions come from that header");

constexpr uint32_t kApiVersion = NVENCAPI_VERSION;
// What NvEncodeAPIGetMaxSupportedVersion reports for 11.1: (major << 4) | minor.
// Linux 470.57.02 and Windows 471.41 are the first drivers to serve it.
constexpr uint32_t kMinDriverVersion = (NVENCAPI_MAJOR_VERSION << 4) | NVENCAPI_MINOR_VERSION;

constexpr uint32_t kOpenEncodeSessionExParamsVer = NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER;
constexpr uint32_t kCapsParamVer = NV_ENC_CAPS_PARAM_VER;
constexpr uint32_t kCreateBitstreamBufferVer = NV_ENC_CREATE_BITSTREAM_BUFFER_VER;
constexpr uint32_t kEventParamsVer = NV_ENC_EVENT_PARAMS_VER;
constexpr uint32_t kLockBitstreamVer = NV_ENC_LOCK_BITSTREAM_VER;
constexpr uint32_t kFunctionListVer = NV_ENCODE_API_FUNCTION_LIST_VER;
constexpr uint32_t kRegisterResourceVer = NV_ENC_REGISTER_RESOURCE_VER;
constexpr uint32_t kMapInputResourceVer = NV_ENC_MAP_INPUT_RESOURCE_VER;
constexpr uint32_t kReconfigureParamsVer = NV_ENC_RECONFIGURE_PARAMS_VER;
constexpr uint32_t kPresetConfigVer = NV_ENC_PRESET_CONFIG_VER;
constexpr uint32_t kPicParamsVer = NV_ENC_PIC_PARAMS_VER;
constexpr uint32_t kInitializeParamsVer = NV_ENC_INITIALIZE_PARAMS_VER;
constexpr uint32_t kConfigVer = NV_ENC_CONFIG_VER;

static_assert(kApiVersion == 0x0100000Bu);
static_assert(kMinDriverVersion == 0xB1u);
static_assert(kOpenEncodeSessionExParamsVer == 0x7101000Bu);
static_assert(kFunctionListVer == 0x7102000Bu);
static_assert(kRegisterResourceVer == 0x7103000Bu);
static_assert(kMapInputResourceVer == 0x7104000Bu);
static_assert(kReconfigureParamsVer == 0xF101000Bu);
static_assert(kPresetConfigVer == 0xF104000Bu);
static_assert(kInitializeParamsVer == 0xF105000Bu);
static_assert(kConfigVer == 0xF107000Bu);

static_assert(NV_ENC_CAPS_ASYNC_ENCODE_SUPPORT == 30);

constexpr GUID kCodecH264 = {0x6bc82762, 0x4e63, 0x4ca4, {0xaa, 0x85, 0x1e, 0x50, 0xf3, 0x21, 0xf6, 0xbf}};
constexpr GUID kCodecHevc = {0x790cdc88, 0x4522, 0x4d7b, {0x94, 0x25, 0xbd, 0xa9, 0x97, 0x5f, 0x76, 0x03}};
constexpr GUID kPresetP1 = {0xfc0a8d3e, 0x45f8, 0x4cf8, {0x80, 0xc7, 0x29, 0x88, 0x71, 0x59, 0x0e, 0xbf}};
constexpr GUID kPresetP2 = {0xf581cfb8, 0x88d6, 0x4381, {0x93, 0xf0, 0xdf, 0x13, 0xf9, 0xc2, 0x7d, 0xab}};
constexpr GUID kPresetP3 = {0x36850110, 0x3a07, 0x441f, {0x94, 0xd5, 0x36, 0x70, 0x63, 0x1f, 0x91, 0xf6}};
constexpr GUID kPresetP4 = {0x90a7b826, 0xdf06, 0x4862, {0xb9, 0xd2, 0xcd, 0x6d, 0x73, 0xa0, 0x86, 0x81}};
constexpr GUID kPresetP5 = {0x21c6e6b4, 0x297a, 0x4cba, {0x99, 0x8f, 0xb6, 0xcb, 0xde, 0x72, 0xad, 0xe3}};
constexpr GUID kPresetP6 = {0x8e75c279, 0x6299, 0x4ab6, {0x83, 0x02, 0x0b, 0x21, 0x5a, 0x33, 0x5c, 0xf5}};
constexpr GUID kPresetP7 = {0x84848c12, 0x6f71, 0x4c13, {0x93, 0x1b, 0x53, 0xe2, 0x83, 0xf5, 0x79, 0x74}};
// 4:2:0 10-bit; the range-extensions profile would be 4:4:4.
constexpr GUID kHevcMain10Profile = {0xfa4d2b6c, 0x3a5b, 0x411a, {0x80, 0x18, 0x0a, 0x3f, 0x5e, 0x3c, 0x9b, 0xe5}};

constexpr bool SameGuid(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

// "P1" to "P7", or null for any other GUID.
inline const char* PresetName(const GUID& preset)
{
    const GUID presets[] = {kPresetP1, kPresetP2, kPresetP3, kPresetP4, kPresetP5, kPresetP6, kPresetP7};
    const char* const names[] = {"P1", "P2", "P3", "P4", "P5", "P6", "P7"};
    for (int i = 0; i < 7; ++i)
        if (SameGuid(preset, presets[i]))
            return names[i];
    return nullptr;
}

// Entry points of the encoder library, resolved by name.
using GetMaxSupportedVersionFn = NVENCSTATUS(NVENCAPI*)(uint32_t*);
using CreateInstanceFn = NVENCSTATUS(NVENCAPI*)(NV_ENCODE_API_FUNCTION_LIST*);

} // namespace vidlane2::nvenc
