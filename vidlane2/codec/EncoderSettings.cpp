#include "codec/EncoderSettings.h"

#include "Vidlane2.h"
#include "base/Exception.h"
#include "sessions/NvencApi9.h"

#include <cstring>
#include <string>

namespace vidlane2 {

namespace {

constexpr GUID kHevcMain10Profile = {0x51ec32b5, 0x1b4c, 0x453c, {0x9c, 0xbd, 0xb6, 0x16, 0xbd, 0x62, 0x13, 0x41}};

} // namespace

GUID encoderCodecGuid(std::uint32_t codec)
{
    return codec == VIDLANE_HEVC ? nvenc9::kCodecHevc : nvenc9::kCodecH264;
}

GUID encoderPresetGuid(std::uint32_t compression)
{
    return compression == VIDLANE_LOSSLESS ? nvenc9::kPresetLosslessDefault : nvenc9::kPresetHq;
}

NV_ENC_BUFFER_FORMAT encoderInputFormat(std::uint32_t format)
{
    switch (format) {
    case VIDLANE_RGBA32:
    case VIDLANE_R16G16B16A16:
        return NV_ENC_BUFFER_FORMAT_ABGR;
    case VIDLANE_R16G16B16A16_HDR10:
        return NV_ENC_BUFFER_FORMAT_ABGR10;
    default:
        return NV_ENC_BUFFER_FORMAT_NV12;
    }
}

void prepareEncoderParams(NV_ENC_INITIALIZE_PARAMS& params, NV_ENC_CONFIG& config)
{
    std::memset(&params, 0, sizeof params);
    std::memset(&config, 0, sizeof config);
    params.version = nvenc9::kInitializeParamsVer;
    config.version = nvenc9::kConfigVer;
    params.encodeConfig = &config;
}

void applyEncoderSettings(const EncoderSettings& settings, NV_ENC_INITIALIZE_PARAMS& params, NV_ENC_CONFIG& config)
{
    params.encodeWidth = settings.width;
    params.encodeHeight = settings.height;
    params.frameRateNum = settings.targetFrameRate;
    params.frameRateDen = 1;
    params.enablePTD = 1;

    config.gopLength = settings.targetFrameRate;
    config.frameIntervalP = 1;
    if (settings.codec == VIDLANE_H264) {
        config.encodeCodecConfig.h264Config.idrPeriod = settings.targetFrameRate;
        // Without the VUI's bitstream restriction an H.264 decoder must assume
        // that pictures may be reordered (unless the profile or the picture
        // order count type rules it out); with it the stream says that it has
        // no B-frames (max_num_reorder_frames 0), and decoders show each
        // picture at once.
        config.encodeCodecConfig.h264Config.h264VUIParameters.bitstreamRestrictionFlag = 1;
    } else if (settings.codec == VIDLANE_HEVC)
        config.encodeCodecConfig.hevcConfig.idrPeriod = settings.targetFrameRate;

    if (settings.compression == VIDLANE_LOSSY) {
        NV_ENC_RC_PARAMS& rc = config.rcParams;
        rc.rateControlMode = NV_ENC_PARAMS_RC_CBR_HQ;
        rc.averageBitRate = static_cast<std::uint32_t>(settings.bitrate);
        rc.maxBitRate = rc.averageBitRate;
        // One frame's worth of bits: the lowest delay the rate control allows.
        rc.vbvBufferSize = rc.averageBitRate / settings.targetFrameRate;
        rc.vbvInitialDelay = rc.vbvBufferSize;
    }

    if (settings.format == VIDLANE_R16G16B16A16_HDR10 && settings.codec == VIDLANE_HEVC) {
        config.profileGUID = kHevcMain10Profile;
        config.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8 = 2;
    }
}

void checkFormatAndCodec(std::uint32_t format, std::uint32_t codec)
{
    if (format == VIDLANE_R16G16B16A16_HDR10 && codec != VIDLANE_HEVC)
        throw Exception("The R16G16B16A16_HDR10 format needs the HEVC codec: it encodes 10-bit HEVC Main10 only");
}

void checkEncoderCodec(std::uint32_t codec)
{
    if (codec == VIDLANE_AV1 || codec == VIDLANE_VP9)
        throw Exception(std::string("Codec ") + (codec == VIDLANE_AV1 ? "AV1" : "VP9") +
                        " can only be decoded: the encoder speaks NVENC API 9.0, which has no AV1 or VP9; "
                        "encode with VIDLANE_H264 or VIDLANE_HEVC");
}

void checkTargetFrameRate(std::uint32_t targetFrameRate)
{
    if (targetFrameRate == 0)
        throw Exception("Invalid target frame rate 0: it must be at least 1 frame per second");
}

} // namespace vidlane2
