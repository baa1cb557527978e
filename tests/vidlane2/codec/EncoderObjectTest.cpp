#include "ObjectFixture.h"

#include "KernelReference.h"
#include "codec/FrameLayout.h"
#include "sessions/NvencApi.h"

namespace {

using vidlane2::effectiveWidth;
using vidlane2::frameSize;
namespace reference = vidlane2::reference;

constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;

bool IsColour(uint32_t format)
{
    return format == VIDLANE_RGBA32 || format == VIDLANE_R16G16B16A16 || format == VIDLANE_R16G16B16A16_HDR10;
}

// The input slot as the CPU rules would fill it from src, compared row by row.
void ExpectSlotHolds(uint32_t format, const Bytes& src, uint32_t srcPitch, const ObjectTest::Slot& slot,
                     uint32_t width, uint32_t height)
{
    ASSERT_NE(slot.data, nullptr);
    if (IsColour(format)) {
        for (uint32_t r = 0; r < height; ++r)
            ASSERT_EQ(std::memcmp(slot.row(r), src.data() + std::size_t{r} * srcPitch, width * 4), 0) << "row " << r;
        return;
    }
    Bytes expected(std::size_t{slot.pitch} * (height + height / 2), 0xEE);
    using Rule = void (*)(const std::uint8_t*, uint32_t, std::uint8_t*, uint32_t, uint32_t, uint32_t);
    const Rule rules[] = {nullptr, reference::uint4_to_nv12, reference::uint8_to_nv12, reference::uint16_to_nv12,
                          reference::uint32_to_nv12};
    rules[format](src.data(), srcPitch, expected.data(), slot.pitch, width, height);
    const uint32_t luma = effectiveWidth(format, width);
    for (uint32_t r = 0; r < height + height / 2; ++r)
        ASSERT_EQ(std::memcmp(slot.row(r), expected.data() + std::size_t{r} * slot.pitch, luma), 0) << "row " << r;
}

class EncoderObject : public ObjectTest {};

TEST_F(EncoderObject, EveryFormatFromHostAndDeviceReachesTheInputSlotByTheCpuRules)
{
    const Vidlane_Format formats[] = {VIDLANE_RGBA32, VIDLANE_UINT4,        VIDLANE_UINT8,
                                      VIDLANE_UINT16, VIDLANE_UINT32,       VIDLANE_R16G16B16A16,
                                      VIDLANE_R16G16B16A16_HDR10};
    for (const Vidlane_Format format : formats) {
        for (const bool onDevice : {false, true}) {
            SCOPED_TRACE(testing::Message() << "format " << format << (onDevice ? " device" : " host"));
            ResetFakes();
            const Vidlane_Codec codec = format == VIDLANE_R16G16B16A16_HDR10 ? VIDLANE_HEVC : VIDLANE_H264;
            CodecHandle* encoder = Encoder(format, codec);
            ASSERT_NE(encoder, nullptr);
            // Host scalar frames are packed; colour and device frames may carry padding.
            const uint32_t packed = IsColour(format) ? kWidth * 4 : frameSize(format, kWidth, 1);
            const uint32_t pitch = onDevice || IsColour(format) ? packed + 8 : packed;
            const Bytes frame = pattern(std::size_t{pitch} * kHeight, format);
            Bytes out(64);
            uint64_t written = 0;
            if (onDevice) {
                DeviceBuffer device(frame);
                written = Vidlane_Encode(encoder, device.get(), pitch, out.data(), out.size(), kWidth, kHeight, false);
                EXPECT_EQ(device.bytes(), frame) << "the caller's frame is untouched";
            } else {
                written = Vidlane_Encode(encoder, frame.data(), pitch, out.data(), out.size(), kWidth, kHeight, false);
            }
            ASSERT_EQ(written, fake_nvenc::PacketFor(0).size()) << Vidlane_GetError(encoder);
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + written, fake_nvenc::PacketFor(0).begin()));
            ExpectSlotHolds(format, frame, pitch, SlotOf(0), kWidth, kHeight);
            DestroyAll();
        }
    }
}

TEST_F(EncoderObject, ThePacketMustFitDstExactlyAndAnOverflowLeavesTheStreamGoing)
{
    CodecHandle* encoder = Encoder(VIDLANE_UINT8);
    const Bytes frame = pattern(kWidth * kHeight, 1);
    Bytes out(64, 0);
    // Picture 0 fits exactly.
    const uint64_t first = fake_nvenc::PacketFor(0).size();
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, out.data(), first, kWidth, kHeight, false), first);
    // Picture 1 is one byte too large for dst: refused, nothing reported as written.
    const uint64_t second = fake_nvenc::PacketFor(1).size();
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, out.data(), second - 1, kWidth, kHeight, false), 0u);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Encode output buffer overflow");
    EXPECT_EQ(fake_nvenc::LiveMappings(), 0u);
    // The next frame encodes normally and returns its own packet.
    const Bytes third = fake_nvenc::PacketFor(2);
    ASSERT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, out.data(), out.size(), kWidth, kHeight, false),
              third.size());
    EXPECT_TRUE(std::equal(third.begin(), third.end(), out.begin()));
}

TEST_F(EncoderObject, ForceIFrameAsksForAnIdrWithParameterSets)
{
    CodecHandle* encoder = Encoder(VIDLANE_UINT8);
    const Bytes frame = pattern(kWidth * kHeight, 2);
    Bytes out(64);
    for (const bool force : {false, true, false}) {
        ASSERT_GT(Vidlane_Encode(encoder, frame.data(), kWidth, out.data(), out.size(), kWidth, kHeight, force), 0u);
        const uint32_t flags = fake_nvenc::Pictures().back().encodePicFlags;
        EXPECT_EQ(flags, force ? uint32_t{NV_ENC_PIC_FLAG_FORCEIDR | NV_ENC_PIC_FLAG_OUTPUT_SPSPPS} : 0u);
    }
}

// What a driver of today initialises: a P-preset with its tuning, and the
// library's low-delay settings over whatever B-frames and lookahead it carries.
TEST_F(EncoderObject, InitialisesP4WithTheTuningOfItsCompressionAndNoDelay)
{
    struct Case {
        Vidlane_Codec codec;
        Vidlane_Compression compression;
        NV_ENC_TUNING_INFO tuning;
        NV_ENC_PARAMS_RC_MODE rateControl;
        NV_ENC_MULTI_PASS multiPass;
    };
    const Case cases[] = {
        {VIDLANE_H264, VIDLANE_LOSSY, NV_ENC_TUNING_INFO_LOW_LATENCY, NV_ENC_PARAMS_RC_CBR,
         NV_ENC_TWO_PASS_QUARTER_RESOLUTION},
        {VIDLANE_HEVC, VIDLANE_LOSSY, NV_ENC_TUNING_INFO_LOW_LATENCY, NV_ENC_PARAMS_RC_CBR,
         NV_ENC_TWO_PASS_QUARTER_RESOLUTION},
        {VIDLANE_H264, VIDLANE_LOSSLESS, NV_ENC_TUNING_INFO_LOSSLESS, NV_ENC_PARAMS_RC_CONSTQP,
         NV_ENC_MULTI_PASS_DISABLED},
        {VIDLANE_HEVC, VIDLANE_LOSSLESS, NV_ENC_TUNING_INFO_LOSSLESS, NV_ENC_PARAMS_RC_CONSTQP,
         NV_ENC_MULTI_PASS_DISABLED},
    };
    for (const Case& c : cases) {
        DestroyAll();
        ResetFakes();
        ASSERT_NE(Encoder(VIDLANE_RGBA32, c.codec, kWidth, kHeight, c.compression), nullptr);
        ASSERT_EQ(fake_nvenc::PresetRequests().size(), 1u);
        EXPECT_TRUE(vidlane2::nvenc::SameGuid(fake_nvenc::PresetRequests()[0].preset, vidlane2::nvenc::kPresetP4));
        EXPECT_EQ(fake_nvenc::PresetRequests()[0].tuning, c.tuning);
        ASSERT_EQ(fake_nvenc::InitializeRequests().size(), 1u);
        const NV_ENC_INITIALIZE_PARAMS& params = fake_nvenc::InitializeRequests()[0];
        EXPECT_TRUE(vidlane2::nvenc::SameGuid(params.presetGUID, vidlane2::nvenc::kPresetP4));
        EXPECT_EQ(params.tuningInfo, c.tuning);
        const NV_ENC_CONFIG& config = fake_nvenc::InitializeConfigs()[0];
        EXPECT_EQ(config.frameIntervalP, 1);
        EXPECT_EQ(config.rcParams.enableLookahead, 0u);
        EXPECT_EQ(config.rcParams.lookaheadDepth, 0u);
        EXPECT_EQ(config.gopLength, 30u);
        EXPECT_EQ(config.rcParams.rateControlMode, c.rateControl);
        EXPECT_EQ(config.rcParams.multiPass, c.multiPass);
        if (c.compression == VIDLANE_LOSSY) {
            EXPECT_EQ(config.rcParams.averageBitRate, 8000000u);
            EXPECT_EQ(config.rcParams.maxBitRate, 8000000u);
            EXPECT_EQ(config.rcParams.vbvBufferSize, 266666u);
        } else {
            EXPECT_EQ(config.rcParams.constQP.qpInterP, 11u) << "the preset's lossless QPs stay";
        }
        if (c.codec == VIDLANE_H264) {
            EXPECT_EQ(config.encodeCodecConfig.h264Config.h264VUIParameters.bitstreamRestrictionFlag, 1u);
        }
    }
}

// "10-bit HEVC Main10": 4:2:0 at 10 bits, the stream HDR10 players and the
// library's own decoder take, not a 4:4:4 range-extensions stream.
TEST_F(EncoderObject, Hdr10InitialisesHevcMain10At4_2_0)
{
    constexpr GUID kMain10 = {0xfa4d2b6c, 0x3a5b, 0x411a, {0x80, 0x18, 0x0a, 0x3f, 0x5e, 0x3c, 0x9b, 0xe5}};
    ASSERT_NE(Encoder(VIDLANE_R16G16B16A16_HDR10, VIDLANE_HEVC, kWidth, kHeight), nullptr);
    ASSERT_EQ(fake_nvenc::InitializeConfigs().size(), 1u);
    const NV_ENC_CONFIG_HEVC& hevc = fake_nvenc::InitializeConfigs()[0].encodeCodecConfig.hevcConfig;
    EXPECT_TRUE(vidlane2::nvenc::SameGuid(fake_nvenc::InitializeConfigs()[0].profileGUID, kMain10));
    EXPECT_EQ(hevc.chromaFormatIDC, 1u);
    EXPECT_EQ(hevc.pixelBitDepthMinus8, 2u);
    EXPECT_EQ(fake_nvenc::Registrations().at(0).bufferFormat, NV_ENC_BUFFER_FORMAT_ABGR10);
}

// A viewer joining a live stream, and the decoder after a flush, start only at
// a picture with parameter sets: every IDR carries them, not only forced ones.
TEST_F(EncoderObject, EveryIdrPictureCarriesParameterSets)
{
    for (const Vidlane_Codec codec : {VIDLANE_H264, VIDLANE_HEVC}) {
        DestroyAll();
        ResetFakes();
        CodecHandle* encoder = Encoder(VIDLANE_UINT8, codec, kWidth, kHeight);
        const Bytes frame = pattern(kWidth * kHeight, 2);
        Bytes out(64);
        for (uint32_t n = 0; n < 61; ++n)
            ASSERT_GT(Vidlane_Encode(encoder, frame.data(), kWidth, out.data(), out.size(), kWidth, kHeight, false),
                      0u);
        uint32_t idrPictures = 0;
        for (uint32_t n = 0; n < fake_nvenc::PictureTypes().size(); ++n) {
            if (fake_nvenc::PictureTypes()[n] != NV_ENC_PIC_TYPE_IDR)
                continue;
            ++idrPictures;
            EXPECT_TRUE(fake_nvenc::ParameterSetsWritten().at(n)) << "IDR picture " << n << ", codec " << codec;
        }
        EXPECT_EQ(idrPictures, 3u) << "pictures 0, 30 and 60";
    }
}

// The rate control follows the new bitrate as creation sets it: average,
// maximum and the one-frame VBV; lossless has no bitrate to change.
TEST_F(EncoderObject, SetBitrateSetsTheWholeRateControlOfItsCompression)
{
    for (const Vidlane_Compression compression : {VIDLANE_LOSSY, VIDLANE_LOSSLESS}) {
        DestroyAll();
        ResetFakes();
        CodecHandle* encoder = Encoder(VIDLANE_UINT8, VIDLANE_HEVC, kWidth, kHeight, compression);
        const NV_ENC_CONFIG created = fake_nvenc::InitializeConfigs().at(0);
        Vidlane_SetBitrate(encoder, 3000000, 60);
        EXPECT_STREQ(Vidlane_GetError(encoder), "");
        ASSERT_EQ(fake_nvenc::ReconfigureConfigs().size(), 1u);
        const NV_ENC_RC_PARAMS& rc = fake_nvenc::ReconfigureConfigs()[0].rcParams;
        EXPECT_EQ(fake_nvenc::Reconfigurations()[0].reInitEncodeParams.frameRateNum, 60u);
        EXPECT_EQ(fake_nvenc::ReconfigureConfigs()[0].gopLength, 30u) << "the key-frame interval stays";
        EXPECT_EQ(rc.rateControlMode, created.rcParams.rateControlMode);
        if (compression == VIDLANE_LOSSY) {
            EXPECT_EQ(rc.averageBitRate, 3000000u);
            EXPECT_EQ(rc.maxBitRate, 3000000u);
            EXPECT_EQ(rc.vbvBufferSize, 50000u);
            EXPECT_EQ(rc.vbvInitialDelay, 50000u);
        } else {
            EXPECT_EQ(std::memcmp(&rc, &created.rcParams, sizeof rc), 0) << "lossless rate control untouched";
        }
    }
}

TEST_F(EncoderObject, SetBitrateReconfiguresWithTheLow32BitsOfTheBitrate)
{
    CodecHandle* encoder = Encoder(VIDLANE_UINT8, VIDLANE_H264, kWidth, kHeight);
    Vidlane_SetBitrate(encoder, 0x100000000ull + 5000000, 60);
    EXPECT_STREQ(Vidlane_GetError(encoder), "");
    ASSERT_EQ(fake_nvenc::ReconfigureConfigs().size(), 1u);
    EXPECT_EQ(fake_nvenc::ReconfigureConfigs()[0].rcParams.averageBitRate, 5000000u);
    const auto& reconfigure = fake_nvenc::Reconfigurations()[0];
    EXPECT_EQ(reconfigure.reInitEncodeParams.frameRateNum, 60u);
    EXPECT_EQ(reconfigure.reInitEncodeParams.encodeWidth, kWidth);
    EXPECT_EQ(reconfigure.resetEncoder, 1u);
    EXPECT_EQ(reconfigure.forceIDR, 1u);
}

// The size is stored only after a working session, and a failed staging
// allocation leaves no buffer behind: after each failure the same call works.
TEST_F(EncoderObject, EachInjectedFailureLeavesTheNextCallWorking)
{
    struct Case {
        const char* entry;
        bool runtime;
        const char* text;
    };
    const Case cases[] = {
        {"cudaMalloc", true, "Failed to allocate temporary device memory (Error 2: out of memory)"},
        {"cudaDeviceSynchronize", true, "Failed to synchronize device (Error 2: out of memory)"},
        {"cudaMemcpy2D", true, "Failed to copy input frame (Error 2: out of memory)"},
        {"nvEncInitializeEncoder", false, nullptr},
        {"nvEncEncodePicture", false, nullptr},
        {"nvEncLockBitstream", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        ResetFakes();
        CodecHandle* encoder = Encoder(VIDLANE_UINT8);
        const Bytes frame = pattern(kWidth * kHeight, 3);
        Bytes out(64);
        if (c.runtime)
            fake_cuda_runtime::FailCall(c.entry, cudaErrorMemoryAllocation);
        else
            fake_nvenc::FailCall(c.entry, NV_ENC_ERR_GENERIC);
        EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, out.data(), out.size(), kWidth, kHeight, false), 0u);
        if (c.text) {
            EXPECT_STREQ(Vidlane_GetError(encoder), c.text);
        }
        fake_cuda_runtime::ClearFailures();
        fake_nvenc::ClearFailures();
        EXPECT_GT(Vidlane_Encode(encoder, frame.data(), kWidth, out.data(), out.size(), kWidth, kHeight, false), 0u)
            << Vidlane_GetError(encoder);
        ExpectSlotHolds(VIDLANE_UINT8, frame, kWidth, SlotOf(fake_nvenc::MapRequests().size() - 1), kWidth, kHeight);
        DestroyAll();
    }
}

TEST_F(EncoderObject, ASizeChangeOpensANewSessionOfThatSize)
{
    CodecHandle* encoder = Encoder(VIDLANE_UINT16);
    Bytes out(64);
    for (const uint32_t width : {kWidth, kWidth * 2, kWidth * 2}) {
        const Bytes frame = pattern(std::size_t{width} * 2 * kHeight, width);
        ASSERT_GT(Vidlane_Encode(encoder, frame.data(), width * 2, out.data(), out.size(), width, kHeight, false), 0u);
        EXPECT_EQ(fake_nvenc::InitializeRequests().back().encodeWidth, effectiveWidth(VIDLANE_UINT16, width));
        ExpectSlotHolds(VIDLANE_UINT16, frame, width * 2, SlotOf(fake_nvenc::MapRequests().size() - 1), width,
                        kHeight);
    }
    EXPECT_EQ(fake_nvenc::InitializeRequests().size(), 2u);
    EXPECT_EQ(fake_nvenc::LiveSessions(), 1u);
}

TEST_F(EncoderObject, TheOutputMustBeHostMemory)
{
    CodecHandle* encoder = Encoder(VIDLANE_UINT8);
    const Bytes frame = pattern(kWidth * kHeight, 4);
    DeviceBuffer out(64);
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, out.get(), 64, kWidth, kHeight, false), 0u);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Invalid output buffer: it must be in host memory");
}

} // namespace
