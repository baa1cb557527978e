#pragma once

// Control side of the fake NVENC library (libnvidia-encode.so.1). Registered
// buffers are only recorded, never read, so it also serves tests that run on
// real CUDA memory. It links no CUDA driver: the session's context must be
// current for every call on the encoder, which it asks of whichever CUDA
// driver the process loaded.
#include <ffnvcodec/nvEncodeAPI.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fake_nvenc {

struct PresetRequest {
    GUID codec;
    GUID preset;
    NV_ENC_TUNING_INFO tuning;
    uint32_t version;
    uint32_t configVersion;
};

struct CapsQuery {
    GUID codec;
    NV_ENC_CAPS_PARAM param;
};

void Reset();
// The named entry returns status from its (skip + 1)-th call on. Entry names
// are the function-table fields ("nvEncLockBitstream") and the two exports.
void FailCall(const std::string& entry, NVENCSTATUS status, int skip = 0);
void ClearFailures();
// Leaves a function-table entry null.
void LeaveEntryEmpty(const std::string& entry);
void SetMaxSupportedVersion(uint32_t version);
// What NV_ENC_CAPS_ASYNC_ENCODE_SUPPORT reports (Windows drivers: 1). An
// encoder initialised for asynchronous mode takes only pictures with a
// registered completion event, finishes each a moment later on a thread of its
// own, records kPictureDone and sets the event; a lock before that waits.
void SetAsyncSupported(int value);
constexpr const char* kPictureDone = "picture done, completion event set";
// What NV_ENC_CAPS_WIDTH_MIN and NV_ENC_CAPS_HEIGHT_MIN report; initialisation
// below them fails, as on the hardware.
void SetMinimumSize(int width, int height);
// The configuration every preset query returns, with B-frames and lookahead.
NV_ENC_CONFIG& PresetConfig();

std::vector<std::string> Calls();
size_t CountCalls(const std::string& entry);
uint32_t FunctionListVersion();
const std::vector<NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS>& OpenedSessions();
const std::vector<CapsQuery>& CapsQueries();
const std::vector<PresetRequest>& PresetRequests();
const std::vector<NV_ENC_INITIALIZE_PARAMS>& InitializeRequests();
const std::vector<NV_ENC_CONFIG>& InitializeConfigs(); // the configuration each request pointed at
const std::vector<uint32_t>& BitstreamBufferVersions();
const std::vector<NV_ENC_REGISTER_RESOURCE>& Registrations(); // with the handle handed out
const std::vector<NV_ENC_EVENT_PARAMS>& RegisteredEvents();
const std::vector<NV_ENC_MAP_INPUT_RESOURCE>& MapRequests();
const std::vector<NV_ENC_PIC_PARAMS>& Pictures(); // every nvEncEncodePicture, EOS included
const std::vector<NV_ENC_LOCK_BITSTREAM>& Locks();
const std::vector<NV_ENC_RECONFIGURE_PARAMS>& Reconfigurations();
// The configuration each reconfiguration pointed at, copied while it was alive.
const std::vector<NV_ENC_CONFIG>& ReconfigureConfigs();

// Per encoded picture: whether its packet carries SPS/PPS (VPS for HEVC).
const std::vector<bool>& ParameterSetsWritten();
const std::vector<NV_ENC_PIC_TYPE>& PictureTypes();

// Resources still alive.
size_t LiveSessions();
size_t LiveBitstreamBuffers();
size_t LiveRegistrations();
size_t LiveMappings();
size_t LiveAsyncEvents(); // registered and not unregistered

// The file name under which the system's loader opened this fake.
std::string LibraryFile();

// The packet the fake produces for the n-th picture (counting from 0) and its
// picture type: IDR for the first, forced and every idrPeriod-th picture, P otherwise.
std::vector<uint8_t> PacketFor(uint32_t pictureNumber);

} // namespace fake_nvenc
