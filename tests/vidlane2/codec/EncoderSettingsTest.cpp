#include "Vidlane2.h"
#include "codec/EncoderSettings.h"
#include "base/Exception.h"
#include "sessions/NvencApi.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vidlane2 {
namespace {

// NV_ENC_HEVC_PROFILE_MAIN10_GUID; {51EC32B5-...} is the range-extensions profile (4:4:4).
constexpr GUID kMain10 = {0xfa4d2b6c, 0x3a5b, 0x411a, {0x80, 0x18, 0x0a, 0x3f, 0x5e, 0x3c, 0x9b, 0xe5}};

// What CreateDefaultEncoderParams leaves behind, with marks in the fields
// that the settings must keep.
struct Defaults {
    NV_ENC_INITIALIZE_PARAMS params;
    NV_ENC_CONFIG config;

    Defaults()
    {
        prepareEncoderParams(params, config);
        params.encodeGUID = nvenc::kCodecH264;
        params.darWidth = 111;
        params.maxEncodeWidth = 222;
        config.gopLength = 0xFFFFFFFF;
        config.rcParams.rateControlMode = NV_ENC_PARAMS_RC_CONSTQP;
        config.rcParams.averageBitRate = 5;
        config.rcParams.constQP = {28, 31, 25};
        config.encodeCodecConfig.hevcConfig.chromaFormatIDC = 3;
        // What a P-preset may carry.
        config.frameIntervalP = 4;
        config.rcParams.enableLookahead = 1;
        config.rcParams.lookaheadDepth = 16;
    }
};

EncoderSettings settings(uint32_t format, uint32_t codec, uint32_t compression, uint64_t bitrate, uint32_t rate)
{
    EncoderSettings s;
    s.format = format;
    s.codec = codec;
    s.compression = compression;
    s.bitrate = bitrate;
    s.targetFrameRate = rate;
    s.width = 1280;
    s.height = 480;
    return s;
}

TEST(EncoderSettings, PreparedStructuresCarryTheApi11_1VersionsAndAreLinked)
{
    NV_ENC_INITIALIZE_PARAMS params;
    NV_ENC_CONFIG config;
    std::memset(&params, 0xAB, sizeof params);
    std::memset(&config, 0xAB, sizeof config);
    prepareEncoderParams(params, config);
    EXPECT_EQ(params.version, 0xF105000Bu);
    EXPECT_EQ(config.version, 0xF107000Bu);
    EXPECT_EQ(params.encodeConfig, &config);
    EXPECT_EQ(params.encodeWidth, 0u);
    EXPECT_EQ(config.gopLength, 0u);
}

TEST(EncoderSettings, LossyH264At8MbitAnd30Fps)
{
    Defaults d;
    applyEncoderSettings(settings(VIDLANE_UINT16, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30), d.params, d.config);
    EXPECT_EQ(d.params.encodeWidth, 1280u);
    EXPECT_EQ(d.params.encodeHeight, 480u);
    EXPECT_EQ(d.params.frameRateNum, 30u);
    EXPECT_EQ(d.params.frameRateDen, 1u);
    EXPECT_EQ(d.params.enablePTD, 1u);
    EXPECT_EQ(d.params.darWidth, 111u);
    EXPECT_EQ(d.params.maxEncodeWidth, 222u);
    EXPECT_EQ(d.config.gopLength, 30u);
    EXPECT_EQ(d.config.frameIntervalP, 1);
    EXPECT_EQ(d.config.encodeCodecConfig.h264Config.idrPeriod, 30u);
    // The stream says it never reorders: decoders show each picture at once.
    EXPECT_EQ(d.config.encodeCodecConfig.h264Config.h264VUIParameters.bitstreamRestrictionFlag, 1u);
    const NV_ENC_RC_PARAMS& rc = d.config.rcParams;
    // Drivers from 590 on refuse CBR_HQ: plain CBR with a second pass instead.
    EXPECT_EQ(rc.rateControlMode, NV_ENC_PARAMS_RC_CBR);
    EXPECT_EQ(rc.multiPass, NV_ENC_TWO_PASS_QUARTER_RESOLUTION);
    EXPECT_EQ(rc.enableLookahead, 0u);
    EXPECT_EQ(rc.lookaheadDepth, 0u);
    EXPECT_EQ(rc.averageBitRate, 8000000u);
    EXPECT_EQ(rc.maxBitRate, 8000000u);
    EXPECT_EQ(rc.vbvBufferSize, 266666u);
    EXPECT_EQ(rc.vbvInitialDelay, 266666u);
    EXPECT_EQ(rc.constQP.qpInterP, 28u); // the preset's values stay
}

TEST(EncoderSettings, LosslessLeavesRateControlToThePreset)
{
    Defaults d;
    // H.264's fields share their memory with HEVC's: none is written for HEVC.
    const uint32_t sharedWord = d.config.encodeCodecConfig.h264Config.h264VUIParameters.bitstreamRestrictionFlag;
    applyEncoderSettings(settings(VIDLANE_RGBA32, VIDLANE_HEVC, VIDLANE_LOSSLESS, 8000000, 60), d.params,
                         d.config);
    EXPECT_EQ(d.config.encodeCodecConfig.h264Config.h264VUIParameters.bitstreamRestrictionFlag, sharedWord);
    EXPECT_EQ(d.config.rcParams.rateControlMode, NV_ENC_PARAMS_RC_CONSTQP);
    EXPECT_EQ(d.config.rcParams.multiPass, NV_ENC_MULTI_PASS_DISABLED);
    EXPECT_EQ(d.config.frameIntervalP, 1);
    EXPECT_EQ(d.config.rcParams.lookaheadDepth, 0u);
    EXPECT_EQ(d.config.rcParams.averageBitRate, 5u);
    EXPECT_EQ(d.config.rcParams.maxBitRate, 0u);
    EXPECT_EQ(d.config.rcParams.vbvBufferSize, 0u);
    EXPECT_EQ(d.config.gopLength, 60u);
    EXPECT_EQ(d.config.encodeCodecConfig.hevcConfig.idrPeriod, 60u);
    EXPECT_EQ(d.params.frameRateNum, 60u);
}

TEST(EncoderSettings, Hdr10SelectsMain10At4_2_0With10BitDepthAndKeepsTheOtherBits)
{
    Defaults d;
    applyEncoderSettings(settings(VIDLANE_R16G16B16A16_HDR10, VIDLANE_HEVC, VIDLANE_LOSSY, 20000000, 30), d.params,
                         d.config);
    EXPECT_TRUE(nvenc::SameGuid(d.config.profileGUID, kMain10));
    EXPECT_EQ(d.config.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8, 2u);
    // NVENC converts the RGB input to 4:2:0 itself: HDR10 as players and the decoder take it.
    EXPECT_EQ(d.config.encodeCodecConfig.hevcConfig.chromaFormatIDC, 1u);
    EXPECT_EQ(d.config.encodeCodecConfig.hevcConfig.idrPeriod, 30u);

    Defaults rgba;
    applyEncoderSettings(settings(VIDLANE_RGBA32, VIDLANE_HEVC, VIDLANE_LOSSY, 20000000, 30), rgba.params,
                         rgba.config);
    EXPECT_FALSE(nvenc::SameGuid(rgba.config.profileGUID, kMain10));
    EXPECT_EQ(rgba.config.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8, 0u);
}

// H.264 shares the codec union with HEVC: HEVC fields written there change H.264 settings.
TEST(EncoderSettings, Hdr10FieldsAreWrittenOnlyForHevc)
{
    Defaults d;
    const uint32_t deblocking = d.config.encodeCodecConfig.h264Config.disableDeblockingFilterIDC;
    applyEncoderSettings(settings(VIDLANE_R16G16B16A16_HDR10, VIDLANE_H264, VIDLANE_LOSSY, 20000000, 30), d.params,
                         d.config);
    EXPECT_EQ(d.config.encodeCodecConfig.h264Config.disableDeblockingFilterIDC, deblocking);
    EXPECT_FALSE(nvenc::SameGuid(d.config.profileGUID, kMain10));
}

TEST(EncoderSettings, OnlyTheLow32BitsOfTheBitrateTakeEffect)
{
    Defaults d;
    applyEncoderSettings(settings(VIDLANE_UINT8, VIDLANE_H264, VIDLANE_LOSSY, 0x100000000ull + 6000000, 25), d.params,
                         d.config);
    EXPECT_EQ(d.config.rcParams.averageBitRate, 6000000u);
    EXPECT_EQ(d.config.rcParams.maxBitRate, 6000000u);
    EXPECT_EQ(d.config.rcParams.vbvBufferSize, 240000u);
}

TEST(EncoderSettings, AnUnknownCodecWritesNoIdrPeriod)
{
    Defaults d;
    d.config.encodeCodecConfig.h264Config.idrPeriod = 7;
    applyEncoderSettings(settings(VIDLANE_UINT8, 2, VIDLANE_LOSSY, 8000000, 30), d.params, d.config);
    EXPECT_EQ(d.config.encodeCodecConfig.h264Config.idrPeriod, 7u);
    EXPECT_EQ(d.config.gopLength, 30u);
}

TEST(EncoderSettings, CodecPresetAndInputFormatChoices)
{
    EXPECT_TRUE(nvenc::SameGuid(encoderCodecGuid(VIDLANE_HEVC), nvenc::kCodecHevc));
    EXPECT_TRUE(nvenc::SameGuid(encoderCodecGuid(VIDLANE_H264), nvenc::kCodecH264));
    EXPECT_TRUE(nvenc::SameGuid(encoderCodecGuid(5), nvenc::kCodecH264));
    EXPECT_TRUE(nvenc::SameGuid(encoderPresetGuid(VIDLANE_LOSSLESS), nvenc::kPresetP4));
    EXPECT_TRUE(nvenc::SameGuid(encoderPresetGuid(VIDLANE_LOSSY), nvenc::kPresetP4));
    EXPECT_EQ(encoderTuning(VIDLANE_LOSSLESS), NV_ENC_TUNING_INFO_LOSSLESS);
    EXPECT_EQ(encoderTuning(VIDLANE_LOSSY), NV_ENC_TUNING_INFO_LOW_LATENCY);
    EXPECT_EQ(encoderTuning(2), NV_ENC_TUNING_INFO_LOW_LATENCY);

    const NV_ENC_BUFFER_FORMAT expected[] = {NV_ENC_BUFFER_FORMAT_ABGR, NV_ENC_BUFFER_FORMAT_NV12,
                                             NV_ENC_BUFFER_FORMAT_NV12, NV_ENC_BUFFER_FORMAT_NV12,
                                             NV_ENC_BUFFER_FORMAT_NV12, NV_ENC_BUFFER_FORMAT_ABGR,
                                             NV_ENC_BUFFER_FORMAT_ABGR10};
    for (uint32_t format = 0; format < 7; ++format)
        EXPECT_EQ(encoderInputFormat(format), expected[format]) << "format " << format;
}

TEST(EncoderSettings, AFrameRateOfZeroIsRefused)
{
    EXPECT_NO_THROW(checkTargetFrameRate(1));
    try {
        checkTargetFrameRate(0);
        ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid target frame rate 0: it must be at least 1 frame per second");
    }
}

} // namespace
} // namespace vidlane2
