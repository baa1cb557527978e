#include "codec/EncoderSettings.h"

#include "Vidlane2.h"
#include "base/Exception.h"
#include "sessions/NvencApi.h"

#include <cstring>
#include <string>

namespace vidlane2 {

GUID encoderCodecGuid(std::uint32_t codec)
{
    return codec == VIDLANE_HEVC ? nvenc::kCodecHevc : nvenc::kCodecH264;
}

// P4, the middle of the seven: a 4K picture still encodes within one frame
// time at 60 frames a second, and the low-latency tuning never turns on
// B-frames. Lossless takes P4 too, with the lossless tuning.
GUID encoderPresetGuid(std::uint32_t)
{
    return nvenc::kPresetP4;
}

NV_ENC_TUNING_INFO encoderTuning(std::uint32_t compression)
{
    return compression == VIDLANE_LOSSLESS ? NV_ENC_TUNING_INFO_LOSSLESS : NV_ENC_TUNING_INFO_LOW_LATENCY;
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
    params.version = nvenc::kInitializeParamsVer;
    config.version = nvenc::kConfigVer;
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
    // The preset may have turned on B-frames and lookahead; the session sizes
    // its ring from the lookahead, and each call returns its own picture.
    config.frameIntervalP = 1;
    config.rcParams.enableLookahead = 0;
    config.rcParams.lookaheadDepth = 0;
    // Every IDR picture carries the parameter sets: a viewer joining the live
    // stream, or the decoder after a flush, can start only at one that does.
    if (settings.codec == VIDLANE_H264) {
        config.encodeCodecConfig.h264Config.idrPeriod = settings.targetFrameRate;
        config.encodeCodecConfig.h264Config.repeatSPSPPS = 1;
        // Without the VUI's bitstream restriction an H.264 decoder must assume
        // that pictures may be reordered (unless the profile or the picture
        // order count type rules it out); with it the stream says that it has
        // no B-frames (max_num_reorder_frames 0), and decoders show each
        // picture at once.
        config.encodeCodecConfig.h264Config.h264VUIParameters.bitstreamRestrictionFlag = 1;
    } else if (settings.codec == VIDLANE_HEVC) {
        config.encodeCodecConfig.hevcConfig.idrPeriod = settings.targetFrameRate;
        config.encodeCodecConfig.hevcConfig.repeatSPSPPS = 1;
    }

    if (settings.compression == VIDLANE_LOSSY) {
        NV_ENC_RC_PARAMS& rc = config.rcParams;
        // What CBR_HQ was: CBR with a second pass, here over a quarter-size
        // first pass, which costs little time.
        rc.rateControlMode = NV_ENC_PARAMS_RC_CBR;
        rc.multiPass = NV_ENC_TWO_PASS_QUARTER_RESOLUTION;
        setRateControl(rc, settings.bitrate, settings.targetFrameRate);
    }

    if (settings.format == VIDLANE_R16G16B16A16_HDR10 && settings.codec == VIDLANE_HEVC) {
        // NVENC converts the RGB input to 4:2:0 itself.
        config.profileGUID = nvenc::kHevcMain10Profile;
        config.encodeCodecConfig.hevcConfig.chromaFormatIDC = 1;
        config.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8 = 2;
    }
}

void setRateControl(NV_ENC_RC_PARAMS& rc, std::uint64_t bitrate, std::uint32_t targetFrameRate)
{
    rc.averageBitRate = static_cast<std::uint32_t>(bitrate);
    rc.maxBitRate = rc.averageBitRate;
    // One frame's worth of bits: the lowest delay the rate control allows.
    rc.vbvBufferSize = rc.averageBitRate / targetFrameRate;
    rc.vbvInitialDelay = rc.vbvBufferSize;
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
                        " can only be decoded: the encoder makes H.264 and HEVC streams only; "
                        "encode with VIDLANE_H264 or VIDLANE_HEVC");
}

void checkTargetFrameRate(std::uint32_t targetFrameRate)
{
    if (targetFrameRate == 0)
        throw Exception("Invalid target frame rate 0: it must be at least 1 frame per second");
}

} // namespace vidlane2
