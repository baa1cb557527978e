#pragma once

#include <ffnvcodec/nvEncodeAPI.h>

#include <cstdint>

namespace vidlane2 {

// What an encoder handle asks of every session it opens.
struct EncoderSettings {
    std::uint32_t format = 0;
    std::uint32_t codec = 0;
    std::uint32_t compression = 0;
    std::uint64_t bitrate = 0;        // only the low 32 bits reach the session
    std::uint32_t targetFrameRate = 0; // at least 1
    std::uint32_t width = 0;          // the session width (effective width)
    std::uint32_t height = 0;
};

GUID encoderCodecGuid(std::uint32_t codec);
GUID encoderPresetGuid(std::uint32_t compression);
NV_ENC_TUNING_INFO encoderTuning(std::uint32_t compression);

// The input buffer format of the session for a Vidlane_Format.
NV_ENC_BUFFER_FORMAT encoderInputFormat(std::uint32_t format);

// Zeroes both structures, sets the versions and links the config, ready for
// CreateDefaultEncoderParams.
void prepareEncoderParams(NV_ENC_INITIALIZE_PARAMS& params, NV_ENC_CONFIG& config);

// Overwrites the session defaults with the low-delay streaming settings: one
// picture in, one packet out, no B-frames, a key frame every second.
void applyEncoderSettings(const EncoderSettings& settings, NV_ENC_INITIALIZE_PARAMS& params, NV_ENC_CONFIG& config);

// Average and maximum bitrate (low 32 bits) and the one-frame VBV of lossy mode.
void setRateControl(NV_ENC_RC_PARAMS& rc, std::uint64_t bitrate, std::uint32_t targetFrameRate);

// The 10-bit format exists only as HEVC Main10.
void checkFormatAndCodec(std::uint32_t format, std::uint32_t codec);

// The library encodes H.264 and HEVC only: AV1 and VP9 are refused at create time.
void checkEncoderCodec(std::uint32_t codec);

// A frame rate of 0 would divide by zero in the rate control.
void checkTargetFrameRate(std::uint32_t targetFrameRate);

} // namespace vidlane2
