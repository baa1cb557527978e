#pragma once

// The encoder interface at API 9.0. The structure layouts come from the
// installed header (its layouts equal 9.0's); the versions sent with them are
// 9.0's and are built here, never from the header's own *_VER macros.
#include <ffnvcodec/nvEncodeAPI.h>

#include <cstdint>

namespace vidlane2::nvenc9 {

constexpr uint32_t kApiVersion = 9;
constexpr uint32_t kMinDriverVersion = 0x90; // (major << 4) | minor

constexpr uint32_t StructVersion(uint32_t version) { return kApiVersion | (version << 16) | (7u << 28); }
constexpr uint32_t LargeStructVersion(uint32_t version) { return StructVersion(version) | (1u << 31); }

constexpr uint32_t kOpenEncodeSessionExParamsVer = StructVersion(1);
constexpr uint32_t kCapsParamVer = StructVersion(1);
constexpr uint32_t kCreateBitstreamBufferVer = StructVersion(1);
constexpr uint32_t kEventParamsVer = StructVersion(1);
constexpr uint32_t kLockBitstreamVer = StructVersion(1);
constexpr uint32_t kFunctionListVer = StructVersion(2);
constexpr uint32_t kRegisterResourceVer = StructVersion(3);
constexpr uint32_t kMapInputResourceVer = StructVersion(4);
constexpr uint32_t kReconfigureParamsVer = LargeStructVersion(1);
constexpr uint32_t kPresetConfigVer = LargeStructVersion(4);
constexpr uint32_t kPicParamsVer = LargeStructVersion(4);
constexpr uint32_t kInitializeParamsVer = LargeStructVersion(5);
constexpr uint32_t kConfigVer = LargeStructVersion(7);

static_assert(kOpenEncodeSessionExParamsVer == 0x70010009u);
static_assert(kFunctionListVer == 0x70020009u);
static_assert(kRegisterResourceVer == 0x70030009u);
static_assert(kMapInputResourceVer == 0x70040009u);
static_assert(kReconfigureParamsVer == 0xF0010009u);
static_assert(kPresetConfigVer == 0xF0040009u);
static_assert(kInitializeParamsVer == 0xF0050009u);
static_assert(kConfigVer == 0xF0070009u);

static_assert(NV_ENC_CAPS_ASYNC_ENCODE_SUPPORT == 30);

// GUIDs of 9.0; the installed header marks the presets deprecated.
constexpr GUID kCodecH264 = {0x6bc82762, 0x4e63, 0x4ca4, {0xaa, 0x85, 0x1e, 0x50, 0xf3, 0x21, 0xf6, 0xbf}};
constexpr GUID kCodecHevc = {0x790cdc88, 0x4522, 0x4d7b, {0x94, 0x25, 0xbd, 0xa9, 0x97, 0x5f, 0x76, 0x03}};
constexpr GUID kPresetDefault = {0xb2dfb705, 0x4ebd, 0x4c49, {0x9b, 0x5f, 0x24, 0xa7, 0x77, 0xd3, 0xe5, 0x87}};
constexpr GUID kPresetHq = {0x34dba71d, 0xa77b, 0x4b8f, {0x9c, 0x3e, 0xb6, 0xd5, 0xda, 0x24, 0xc0, 0x12}};
constexpr GUID kPresetLosslessDefault = {0xd5bfb716, 0xc604, 0x44e7, {0x9b, 0xb8, 0xde, 0xa5, 0x51, 0x0f, 0xc3, 0xac}};
constexpr GUID kPresetLosslessHp = {0x149998e7, 0x2364, 0x411d, {0x82, 0xef, 0x17, 0x98, 0x88, 0x09, 0x34, 0x09}};

constexpr bool SameGuid(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

// Entry points of the encoder library, resolved by name.
using GetMaxSupportedVersionFn = NVENCSTATUS(NVENCAPI*)(uint32_t*);
using CreateInstanceFn = NVENCSTATUS(NVENCAPI*)(NV_ENCODE_API_FUNCTION_LIST*);

} // namespace vidlane2::nvenc9
