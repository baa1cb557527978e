#include "sessions/CudaEncodeSession.h"

#include "FakeCuda.h"
#include "FakeNvenc.h"
#include "SessionErrorMatchers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using vidlane2::CudaEncodeSession;
using vidlane2::EncodedPackets;
using vidlane2::EncodeSession;
using vidlane2::NVENCException;
namespace nvenc = vidlane2::nvenc;

CUcontext const kContext = reinterpret_cast<CUcontext>(0xC0DE);

void ExpectNvencError(const std::function<void()>& action, const std::string& operation, const std::string& message,
                      int code)
{
    ExpectSessionError<NVENCException>(action, operation, message, code);
}

bool SameGuid(const GUID& a, const GUID& b) { return nvenc::SameGuid(a, b); }

class EncodeSessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        fake_cuda::Reset();
        fake_nvenc::Reset();
    }

    void TearDown() override
    {
        session.reset();
        EXPECT_EQ(fake_nvenc::LiveSessions(), 0u);
        EXPECT_EQ(fake_nvenc::LiveBitstreamBuffers(), 0u);
        EXPECT_EQ(fake_nvenc::LiveRegistrations(), 0u);
        EXPECT_EQ(fake_nvenc::LiveMappings(), 0u);
        EXPECT_EQ(fake_cuda::LiveAllocations(), 0u);
        EXPECT_EQ(fake_cuda::ContextDepth(), 0u);
    }

    void Open(NV_ENC_BUFFER_FORMAT format = NV_ENC_BUFFER_FORMAT_NV12, uint32_t width = 1280, uint32_t height = 720,
              uint32_t extraDelay = 0)
    {
        session = std::make_unique<CudaEncodeSession>(kContext, width, height, format, extraDelay);
    }

    void Defaults(GUID codec = nvenc::kCodecH264, GUID preset = nvenc::kPresetP4,
                  NV_ENC_TUNING_INFO tuning = NV_ENC_TUNING_INFO_LOW_LATENCY)
    {
        params = NV_ENC_INITIALIZE_PARAMS{};
        config = NV_ENC_CONFIG{};
        params.encodeConfig = &config;
        session->CreateDefaultEncoderParams(&params, codec, preset, tuning);
    }

    void OpenAndCreate(uint16_t lookahead = 0, NV_ENC_BUFFER_FORMAT format = NV_ENC_BUFFER_FORMAT_NV12,
                       GUID codec = nvenc::kCodecH264)
    {
        Open(format);
        Defaults(codec);
        config.rcParams.lookaheadDepth = lookahead;
        session->CreateEncoder(&params);
    }

    std::unique_ptr<CudaEncodeSession> session;
    NV_ENC_INITIALIZE_PARAMS params{};
    NV_ENC_CONFIG config{};
};

TEST_F(EncodeSessionTest, OpensTheSessionWithApi11_1Versions)
{
    Open();
    EXPECT_EQ(fake_nvenc::FunctionListVersion(), 0x7102000Bu);
    ASSERT_EQ(fake_nvenc::OpenedSessions().size(), 1u);
    const auto& open = fake_nvenc::OpenedSessions()[0];
    EXPECT_EQ(open.version, 0x7101000Bu);
    EXPECT_EQ(open.deviceType, NV_ENC_DEVICE_TYPE_CUDA);
    EXPECT_EQ(open.device, kContext);
    EXPECT_EQ(open.apiVersion, 0x0100000Bu); // 11 | 1 << 24
    EXPECT_EQ(fake_nvenc::Calls(), (std::vector<std::string>{"NvEncodeAPIGetMaxSupportedVersion",
                                                              "NvEncodeAPICreateInstance",
                                                              "nvEncOpenEncodeSessionEx"}));
}

TEST_F(EncodeSessionTest, DefaultParametersStartFromThePresetAndOverrideTheRest)
{
    fake_nvenc::PresetConfig().mvPrecision = NV_ENC_MV_PRECISION_QUARTER_PEL;
    fake_nvenc::SetAsyncSupported(1);
    Open();
    params.frameRateNum = 99; // stale content is zeroed
    Defaults();

    EXPECT_EQ(params.version, 0xF105000Bu);
    EXPECT_EQ(params.encodeConfig, &config);
    EXPECT_TRUE(SameGuid(params.encodeGUID, nvenc::kCodecH264));
    EXPECT_TRUE(SameGuid(params.presetGUID, nvenc::kPresetP4));
    EXPECT_EQ(params.tuningInfo, NV_ENC_TUNING_INFO_LOW_LATENCY);
    EXPECT_EQ(params.encodeWidth, 1280u);
    EXPECT_EQ(params.darWidth, 1280u);
    EXPECT_EQ(params.maxEncodeWidth, 1280u);
    EXPECT_EQ(params.encodeHeight, 720u);
    EXPECT_EQ(params.darHeight, 720u);
    EXPECT_EQ(params.maxEncodeHeight, 720u);
    EXPECT_EQ(params.frameRateNum, 30u);
    EXPECT_EQ(params.frameRateDen, 1u);
    EXPECT_EQ(params.enablePTD, 1u);
    EXPECT_EQ(params.enableEncodeAsync, 1u);

    ASSERT_EQ(fake_nvenc::CapsQueries().size(), 1u);
    EXPECT_EQ(fake_nvenc::CapsQueries()[0].param.version, 0x7101000Bu);
    EXPECT_EQ(static_cast<int>(fake_nvenc::CapsQueries()[0].param.capsToQuery), 30);
    ASSERT_EQ(fake_nvenc::PresetRequests().size(), 1u);
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncGetEncodePresetConfigEx"), 1u);
    EXPECT_TRUE(SameGuid(fake_nvenc::PresetRequests()[0].preset, nvenc::kPresetP4));
    EXPECT_EQ(fake_nvenc::PresetRequests()[0].tuning, NV_ENC_TUNING_INFO_LOW_LATENCY);
    EXPECT_EQ(fake_nvenc::PresetRequests()[0].version, 0xF104000Bu);
    EXPECT_EQ(fake_nvenc::PresetRequests()[0].configVersion, 0xF107000Bu);

    EXPECT_EQ(config.version, 0xF107000Bu);
    EXPECT_EQ(config.mvPrecision, NV_ENC_MV_PRECISION_QUARTER_PEL);
    // The preset's B-frames and lookahead are gone.
    EXPECT_EQ(config.frameIntervalP, 1);
    EXPECT_EQ(config.rcParams.enableLookahead, 0u);
    EXPECT_EQ(config.rcParams.lookaheadDepth, 0u);
    EXPECT_EQ(config.gopLength, 0xFFFFFFFFu);
    EXPECT_EQ(config.rcParams.rateControlMode, NV_ENC_PARAMS_RC_CONSTQP);
    EXPECT_EQ(config.rcParams.constQP.qpInterP, 28u);
    EXPECT_EQ(config.rcParams.constQP.qpInterB, 31u);
    EXPECT_EQ(config.rcParams.constQP.qpIntra, 25u);
    EXPECT_EQ(config.encodeCodecConfig.h264Config.idrPeriod, 0xFFFFFFFFu);
    EXPECT_EQ(config.encodeCodecConfig.h264Config.chromaFormatIDC, 0u);
}

// Lossless follows the tuning, whatever the preset number.
TEST_F(EncodeSessionTest, LosslessTuningKeepsThePresetQp)
{
    struct Case {
        GUID preset;
        NV_ENC_TUNING_INFO tuning;
        NV_ENC_QP qp;
    };
    const Case cases[] = {
        {nvenc::kPresetP1, NV_ENC_TUNING_INFO_LOSSLESS, {11, 12, 13}},
        {nvenc::kPresetP4, NV_ENC_TUNING_INFO_LOSSLESS, {11, 12, 13}},
        {nvenc::kPresetP7, NV_ENC_TUNING_INFO_LOSSLESS, {11, 12, 13}},
        {nvenc::kPresetP4, NV_ENC_TUNING_INFO_LOW_LATENCY, {28, 31, 25}},
        {nvenc::kPresetP7, NV_ENC_TUNING_INFO_HIGH_QUALITY, {28, 31, 25}},
    };
    Open();
    for (const Case& c : cases) {
        Defaults(nvenc::kCodecHevc, c.preset, c.tuning);
        EXPECT_EQ(params.tuningInfo, c.tuning);
        EXPECT_EQ(config.rcParams.constQP.qpInterP, c.qp.qpInterP) << c.tuning;
        EXPECT_EQ(config.rcParams.constQP.qpInterB, c.qp.qpInterB) << c.tuning;
        EXPECT_EQ(config.rcParams.constQP.qpIntra, c.qp.qpIntra) << c.tuning;
        EXPECT_EQ(config.rcParams.rateControlMode, NV_ENC_PARAMS_RC_CONSTQP);
    }
}

// A refused preset stops the defaults at once, naming what was asked for.
TEST_F(EncodeSessionTest, PresetQueryFailureNamesCodecPresetAndTuning)
{
    constexpr GUID kRemovedHq = {0x34dba71d, 0xa77b, 0x4b8f, {0x9c, 0x3e, 0xb6, 0xd5, 0xda, 0x24, 0xc0, 0x12}};
    struct Case {
        GUID codec, preset;
        NV_ENC_TUNING_INFO tuning;
        NVENCSTATUS injected;
        const char* call;
        int code;
    };
    const Case cases[] = {
        {nvenc::kCodecHevc, nvenc::kPresetP7, NV_ENC_TUNING_INFO_LOSSLESS, NV_ENC_ERR_UNSUPPORTED_PARAM,
         "m_nvenc.nvEncGetEncodePresetConfigEx(m_hEncoder, NV_ENC_CODEC_HEVC_GUID, NV_ENC_PRESET_P7_GUID, "
         "NV_ENC_TUNING_INFO_LOSSLESS, &presetConfig) returned error 12",
         12},
        // Drivers from 590 on refuse the old presets.
        {nvenc::kCodecH264, kRemovedHq, NV_ENC_TUNING_INFO_UNDEFINED, NV_ENC_SUCCESS,
         "m_nvenc.nvEncGetEncodePresetConfigEx(m_hEncoder, NV_ENC_CODEC_H264_GUID, "
         "{34DBA71D-A77B-4B8F-9C3E-B6D5DA24C012}, NV_ENC_TUNING_INFO_UNDEFINED, &presetConfig) returned error 8",
         8},
    };
    for (const Case& c : cases) {
        SetUp();
        if (c.injected != NV_ENC_SUCCESS)
            fake_nvenc::FailCall("nvEncGetEncodePresetConfigEx", c.injected);
        Open();
        ExpectNvencError([&] { Defaults(c.codec, c.preset, c.tuning); }, "EncodeSession::CreateDefaultEncoderParams",
                         c.call, c.code);
        session.reset();
    }
}

TEST_F(EncodeSessionTest, CodecSettingsFollowTheInputFormat)
{
    struct Case {
        NV_ENC_BUFFER_FORMAT format;
        GUID codec;
        uint32_t chromaFormat, bitDepthMinus8;
    };
    const Case cases[] = {
        {NV_ENC_BUFFER_FORMAT_ABGR10, nvenc::kCodecHevc, 1, 2}, // RGB is converted to 4:2:0
        {NV_ENC_BUFFER_FORMAT_YUV444_10BIT, nvenc::kCodecHevc, 3, 2},
        {NV_ENC_BUFFER_FORMAT_YUV420_10BIT, nvenc::kCodecHevc, 1, 2}, // chroma as the preset gave it
        {NV_ENC_BUFFER_FORMAT_ABGR, nvenc::kCodecHevc, 1, 0},
        {NV_ENC_BUFFER_FORMAT_YUV444, nvenc::kCodecH264, 3, 0},
        {NV_ENC_BUFFER_FORMAT_NV12, nvenc::kCodecH264, 0, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        Open(c.format);
        Defaults(c.codec);
        const bool hevc = SameGuid(c.codec, nvenc::kCodecHevc);
        if (hevc) {
            EXPECT_EQ(config.encodeCodecConfig.hevcConfig.chromaFormatIDC, c.chromaFormat) << c.format;
            EXPECT_EQ(config.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8, c.bitDepthMinus8) << c.format;
            EXPECT_EQ(config.encodeCodecConfig.hevcConfig.idrPeriod, 0xFFFFFFFFu);
        } else {
            EXPECT_EQ(config.encodeCodecConfig.h264Config.chromaFormatIDC, c.chromaFormat) << c.format;
        }
        EXPECT_NO_THROW(session->CreateEncoder(&params)) << c.format;
        session.reset();
    }
}

TEST_F(EncodeSessionTest, CreateEncoderInitialisesAndAllocatesTheRing)
{
    Open();
    Defaults();
    session->CreateEncoder(&params);

    ASSERT_EQ(fake_nvenc::InitializeRequests().size(), 1u);
    EXPECT_EQ(fake_nvenc::InitializeRequests()[0].version, 0xF105000Bu);
    EXPECT_EQ(fake_nvenc::InitializeConfigs()[0].version, 0xF107000Bu);
    EXPECT_EQ(fake_nvenc::InitializeConfigs()[0].rcParams.constQP.qpIntra, 25u);
    EXPECT_EQ(fake_nvenc::BitstreamBufferVersions(), std::vector<uint32_t>{0x7101000Bu});
    EXPECT_EQ(session->GetEncoderBufferCount(), 1);

    ASSERT_EQ(fake_cuda::PitchAllocations().size(), 1u);
    const auto& allocation = fake_cuda::PitchAllocations()[0];
    EXPECT_EQ(allocation.widthInBytes, 1280u);
    EXPECT_EQ(allocation.height, 720u + 360u);
    EXPECT_EQ(allocation.elementSize, 16u);

    ASSERT_EQ(fake_nvenc::Registrations().size(), 1u);
    const auto& registration = fake_nvenc::Registrations()[0];
    EXPECT_EQ(registration.version, 0x7103000Bu);
    EXPECT_EQ(registration.resourceType, NV_ENC_INPUT_RESOURCE_TYPE_CUDADEVICEPTR);
    EXPECT_EQ(registration.width, 1280u);
    EXPECT_EQ(registration.height, 720u);
    EXPECT_EQ(registration.pitch, allocation.pitch);
    EXPECT_EQ(registration.subResourceIndex, 0u);
    EXPECT_EQ(registration.bufferFormat, NV_ENC_BUFFER_FORMAT_NV12);
    EXPECT_EQ(registration.bufferUsage, NV_ENC_INPUT_IMAGE);

    const vidlane2::InputSlot& slot = session->NextInputSlot();
    EXPECT_EQ(slot.devicePtr, registration.resourceToRegister);
    EXPECT_EQ(slot.pitch, allocation.pitch);
    EXPECT_EQ(slot.chromaPitch, allocation.pitch);
    EXPECT_EQ(slot.chromaPlaneCount, 1u);
    EXPECT_EQ(slot.chromaPlaneOffsets[0], allocation.pitch * 720);
    EXPECT_EQ(slot.chromaPlaneOffsets[1], 0u);
    EXPECT_EQ(slot.bufferFormat, NV_ENC_BUFFER_FORMAT_NV12);
    EXPECT_EQ(slot.resourceType, NV_ENC_INPUT_RESOURCE_TYPE_CUDADEVICEPTR);

    EXPECT_EQ(fake_cuda::ContextDepth(), 0u);
}

TEST_F(EncodeSessionTest, AbgrBuffersAreFourBytesAPixelWithoutChroma)
{
    OpenAndCreate(0, NV_ENC_BUFFER_FORMAT_ABGR10, nvenc::kCodecHevc);
    const auto& allocation = fake_cuda::PitchAllocations().at(0);
    EXPECT_EQ(allocation.widthInBytes, 4u * 1280);
    EXPECT_EQ(allocation.height, 720u);
    EXPECT_EQ(session->NextInputSlot().chromaPlaneCount, 0u);
}

TEST_F(EncodeSessionTest, RingOfOneReturnsEachFramesPacketAtOnce)
{
    OpenAndCreate();
    EncodedPackets packets;
    uint8_t pictureType = 0xEE;
    for (uint32_t frame = 0; frame < 3; ++frame) {
        NV_ENC_PIC_PARAMS forceIdr{};
        forceIdr.encodePicFlags = NV_ENC_PIC_FLAG_FORCEIDR | NV_ENC_PIC_FLAG_OUTPUT_SPSPPS;
        session->EncodeFrame(packets, frame == 2 ? &forceIdr : nullptr, &pictureType);
        ASSERT_EQ(packets.size(), 1u) << frame;
        EXPECT_EQ(packets[0], fake_nvenc::PacketFor(frame));
        EXPECT_EQ(pictureType, frame == 1 ? NV_ENC_PIC_TYPE_P : NV_ENC_PIC_TYPE_IDR) << frame;
        EXPECT_EQ(fake_nvenc::LiveMappings(), 0u);
    }

    const auto& pictures = fake_nvenc::Pictures();
    ASSERT_EQ(pictures.size(), 3u);
    for (const auto& picture : pictures) {
        EXPECT_EQ(picture.version, 0xF104000Bu);
        EXPECT_EQ(picture.pictureStruct, NV_ENC_PIC_STRUCT_FRAME);
        EXPECT_EQ(picture.bufferFmt, NV_ENC_BUFFER_FORMAT_NV12);
        EXPECT_EQ(picture.inputWidth, 1280u);
        EXPECT_EQ(picture.inputHeight, 720u);
    }
    EXPECT_EQ(pictures[0].encodePicFlags, 0u);
    EXPECT_EQ(pictures[2].encodePicFlags, 6u);
    EXPECT_EQ(fake_nvenc::MapRequests().at(0).version, 0x7104000Bu);
    EXPECT_EQ(fake_nvenc::Locks().at(0).version, 0x7101000Bu);
    EXPECT_EQ(fake_nvenc::Locks().at(0).doNotWait, 0u);

    session->EndEncode(packets);
    EXPECT_TRUE(packets.empty());
    EXPECT_EQ(fake_nvenc::Pictures().back().encodePicFlags, static_cast<uint32_t>(NV_ENC_PIC_FLAG_EOS));
    EXPECT_EQ(fake_nvenc::Pictures().back().version, 0xF104000Bu);
}

TEST_F(EncodeSessionTest, RingOfNHoldsBackNMinusOnePackets)
{
    OpenAndCreate(2); // ring of 1 + 2
    ASSERT_EQ(session->GetEncoderBufferCount(), 3);
    EXPECT_EQ(fake_nvenc::Registrations().size(), 3u);
    EXPECT_EQ(fake_nvenc::BitstreamBufferVersions().size(), 3u);

    std::vector<void*> slots;
    EncodedPackets packets;
    uint8_t pictureType = 0x55;
    for (uint32_t frame = 0; frame < 5; ++frame) {
        slots.push_back(session->NextInputSlot().devicePtr);
        session->EncodeFrame(packets, nullptr, &pictureType);
        if (frame < 2) {
            EXPECT_TRUE(packets.empty()) << frame;
            EXPECT_EQ(pictureType, 0x55) << "picture type kept while no packet comes";
        } else {
            ASSERT_EQ(packets.size(), 1u) << frame;
            EXPECT_EQ(packets[0], fake_nvenc::PacketFor(frame - 2));
        }
    }
    EXPECT_EQ(slots[0], slots[3]);
    EXPECT_NE(slots[0], slots[1]);
    EXPECT_NE(slots[1], slots[2]);

    session->EndEncode(packets);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], fake_nvenc::PacketFor(3));
    EXPECT_EQ(packets[1], fake_nvenc::PacketFor(4));
    EXPECT_EQ(fake_nvenc::LiveMappings(), 0u);
}

TEST_F(EncodeSessionTest, ExtraDelayAndIntraOnlyConfigurationsSizeTheRing)
{
    Open(NV_ENC_BUFFER_FORMAT_NV12, 64, 64, 2);
    Defaults();
    session->CreateEncoder(&params);
    EXPECT_EQ(session->GetEncoderBufferCount(), 3);
    session.reset();

    Open(NV_ENC_BUFFER_FORMAT_NV12, 64, 64);
    Defaults();
    config.frameIntervalP = 0; // intra only: still one slot
    session->CreateEncoder(&params);
    EXPECT_EQ(session->GetEncoderBufferCount(), 1);
    EncodedPackets packets;
    session->EncodeFrame(packets);
    EXPECT_EQ(packets.size(), 1u);
}

TEST_F(EncodeSessionTest, CreateEncoderWithoutConfigurationUsesP4LowLatencyAt23_26_20)
{
    Open();
    Defaults(nvenc::kCodecH264, nvenc::kPresetP7, NV_ENC_TUNING_INFO_HIGH_QUALITY);
    params.encodeConfig = nullptr;
    session->CreateEncoder(&params);
    ASSERT_EQ(fake_nvenc::PresetRequests().size(), 2u);
    EXPECT_TRUE(SameGuid(fake_nvenc::PresetRequests()[1].preset, nvenc::kPresetP4));
    EXPECT_EQ(fake_nvenc::PresetRequests()[1].tuning, NV_ENC_TUNING_INFO_LOW_LATENCY);
    EXPECT_TRUE(SameGuid(fake_nvenc::InitializeRequests().at(0).presetGUID, nvenc::kPresetP4));
    EXPECT_EQ(fake_nvenc::InitializeRequests().at(0).tuningInfo, NV_ENC_TUNING_INFO_LOW_LATENCY);
    EXPECT_EQ(session->GetEncoderBufferCount(), 1);
    const NV_ENC_CONFIG& used = fake_nvenc::InitializeConfigs().at(0);
    EXPECT_EQ(used.version, 0xF107000Bu);
    EXPECT_EQ(used.rcParams.rateControlMode, NV_ENC_PARAMS_RC_CONSTQP);
    EXPECT_EQ(used.rcParams.constQP.qpInterP, 23u);
    EXPECT_EQ(used.rcParams.constQP.qpInterB, 26u);
    EXPECT_EQ(used.rcParams.constQP.qpIntra, 20u);
}

// NV_ENC_CAPS_WIDTH_MIN and NV_ENC_CAPS_HEIGHT_MIN are asked before the
// hardware is initialised; below them the text says the size and the minimum.
TEST_F(EncodeSessionTest, SizesBelowTheEncoderMinimumAreRefused)
{
    for (const MinimumSizeCase& c : kMinimumSizeCases) {
        SetUp();
        fake_nvenc::SetMinimumSize(145, 48);
        Open(NV_ENC_BUFFER_FORMAT_NV12, c.width, c.height);
        Defaults(nvenc::kCodecHevc);
        if (c.refused) {
            ExpectNvencError([&] { session->CreateEncoder(&params); }, "EncodeSession::CreateEncoder",
                             BelowMinimumText(c.width, c.height, 145, 48), NV_ENC_ERR_UNSUPPORTED_PARAM);
            EXPECT_TRUE(fake_nvenc::InitializeRequests().empty());
        } else {
            EXPECT_NO_THROW(session->CreateEncoder(&params));
        }
        bool askedWidth = false, askedHeight = false;
        for (const auto& query : fake_nvenc::CapsQueries()) {
            askedWidth |= query.param.capsToQuery == NV_ENC_CAPS_WIDTH_MIN && SameGuid(query.codec, nvenc::kCodecHevc);
            askedHeight |= query.param.capsToQuery == NV_ENC_CAPS_HEIGHT_MIN && SameGuid(query.codec, nvenc::kCodecHevc);
        }
        EXPECT_TRUE(askedWidth && askedHeight);
        session.reset();
    }
}

extern "C" CUresult cuCtxPushCurrent_v2(CUcontext);
extern "C" CUresult cuCtxPopCurrent_v2(CUcontext*);

// A push that failed is not followed by a pop, which would take the caller's
// own context off its thread.
// NVENC on a CUDA device works in the context the session was opened on; a
// caller's thread may have another one current, which it gets back after
// every call, release and destruction included.
TEST_F(EncodeSessionTest, EveryEncoderCallRunsInTheSessionsContext)
{
    CUcontext const caller = reinterpret_cast<CUcontext>(0xCA11);
    ASSERT_EQ(cuCtxPushCurrent_v2(caller), CUDA_SUCCESS);
    auto expectCallersContext = [&](const char* step) {
        EXPECT_EQ(fake_cuda::CurrentContext(), caller) << step;
        EXPECT_EQ(fake_cuda::ContextDepth(), 1u) << step;
    };
    Open();
    Defaults();
    expectCallersContext("defaults");
    session->CreateEncoder(&params);
    expectCallersContext("create");
    EncodedPackets packets;
    session->EncodeFrame(packets);
    EXPECT_EQ(packets.size(), 1u);
    expectCallersContext("encode");
    NV_ENC_RECONFIGURE_PARAMS reconfigure{};
    reconfigure.version = nvenc::kReconfigureParamsVer;
    NV_ENC_CONFIG newConfig{};
    reconfigure.reInitEncodeParams.encodeConfig = &newConfig;
    session->GetInitializeParams(&reconfigure.reInitEncodeParams);
    EXPECT_TRUE(session->Reconfigure(&reconfigure));
    expectCallersContext("reconfigure");

    // A context that cannot be made current is the call's failure.
    fake_cuda::FailCall("cuCtxPushCurrent_v2", 201);
    ExpectNvencError([&] { session->EncodeFrame(packets); }, "EncodeSession::EncodeFrame",
                     "CUDA driver API error CUDA_ERROR_INVALID_CONTEXT", NV_ENC_ERR_GENERIC);
    ExpectNvencError([&] { session->EndEncode(packets); }, "EncodeSession::EndEncode",
                     "CUDA driver API error CUDA_ERROR_INVALID_CONTEXT", NV_ENC_ERR_GENERIC);
    expectCallersContext("failed push");
    fake_cuda::ClearFailures();

    session->EndEncode(packets);
    expectCallersContext("end");
    session.reset();
    expectCallersContext("destruction");
    EXPECT_EQ(fake_nvenc::LiveSessions(), 0u);
    EXPECT_EQ(fake_nvenc::LiveRegistrations(), 0u);
    EXPECT_EQ(fake_nvenc::LiveBitstreamBuffers(), 0u);
    CUcontext popped = nullptr;
    cuCtxPopCurrent_v2(&popped);
}

TEST_F(EncodeSessionTest, ReleasingTheInputsLeavesTheCallersContextWhenAPushFails)
{
    CUcontext const caller = reinterpret_cast<CUcontext>(0xCA11);
    OpenAndCreate();
    ASSERT_EQ(cuCtxPushCurrent_v2(caller), CUDA_SUCCESS);
    fake_cuda::FailCall("cuCtxPushCurrent_v2", 201);
    session->Shutdown();
    EXPECT_EQ(fake_cuda::CurrentContext(), caller);
    EXPECT_EQ(fake_cuda::ContextDepth(), 1u);
    // Without its context NVENC releases nothing, as the driver does not.
    EXPECT_EQ(fake_nvenc::LiveSessions(), 1u);
    fake_nvenc::Reset();
    fake_cuda::ClearFailures();
    CUcontext popped = nullptr;
    cuCtxPopCurrent_v2(&popped);
}

TEST_F(EncodeSessionTest, CreateEncoderChecksInOrder)
{
    struct Case {
        NV_ENC_BUFFER_FORMAT format;
        GUID codec;
        std::function<void(NV_ENC_INITIALIZE_PARAMS&, NV_ENC_CONFIG&)> edit;
        const char* message;
        int code;
    };
    const GUID h264 = nvenc::kCodecH264, hevc = nvenc::kCodecHevc;
    const Case cases[] = {
        {NV_ENC_BUFFER_FORMAT_NV12, h264, [](auto& p, auto&) { p.encodeWidth = 0; },
         "Invalid encoder width and height", 8},
        {NV_ENC_BUFFER_FORMAT_NV12, h264, [](auto& p, auto&) { p.encodeHeight = 0; },
         "Invalid encoder width and height", 8},
        {NV_ENC_BUFFER_FORMAT_NV12, h264, [](auto& p, auto&) { p.encodeGUID = nvenc::kPresetP4; },
         "Invalid codec guid", 8},
        {NV_ENC_BUFFER_FORMAT_YUV420_10BIT, h264, [](auto&, auto&) {},
         "10-bit format isn't supported by H264 encoder", 8},
        {NV_ENC_BUFFER_FORMAT_YUV444_10BIT, h264, [](auto&, auto&) {},
         "10-bit format isn't supported by H264 encoder", 8},
        {NV_ENC_BUFFER_FORMAT_YUV444, h264, [](auto&, auto& c) { c.encodeCodecConfig.h264Config.chromaFormatIDC = 1; },
         "Invalid ChromaFormatIDC", 8},
        {NV_ENC_BUFFER_FORMAT_YUV420_10BIT, hevc,
         [](auto&, auto& c) { c.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8 = 0; }, "Invalid PixelBitdepth", 8},
        {NV_ENC_BUFFER_FORMAT_YUV444_10BIT, hevc,
         [](auto&, auto& c) {
             c.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8 = 0;
             c.encodeCodecConfig.hevcConfig.chromaFormatIDC = 1;
         },
         "Invalid PixelBitdepth", 8},
        {NV_ENC_BUFFER_FORMAT_YUV444, hevc, [](auto&, auto& c) { c.encodeCodecConfig.hevcConfig.chromaFormatIDC = 1; },
         "Invalid ChromaFormatIDC", 8},
        // Without a configuration there is nothing that asks for 10 bits.
        {NV_ENC_BUFFER_FORMAT_YUV420_10BIT, hevc, [](auto& p, auto&) { p.encodeConfig = nullptr; },
         "Invalid PixelBitdepth", 8},
    };
    for (const Case& c : cases) {
        SetUp();
        Open(c.format);
        Defaults(c.codec);
        c.edit(params, config);
        ExpectNvencError([&] { session->CreateEncoder(&params); }, "EncodeSession::CreateEncoder", c.message,
                         c.code);
        EXPECT_TRUE(fake_nvenc::InitializeRequests().empty()) << c.message;
        EXPECT_TRUE(fake_cuda::PitchAllocations().empty()) << c.message;
        session.reset();
    }
    Open();
    ExpectNvencError([&] { session->CreateEncoder(nullptr); }, "EncodeSession::CreateEncoder",
                     "Invalid NV_ENC_INITIALIZE_PARAMS ptr", 6);
}

TEST_F(EncodeSessionTest, ZeroWidthTextIsTheComposedForm)
{
    Open();
    Defaults();
    params.encodeWidth = 0;
    try {
        session->CreateEncoder(&params);
        FAIL();
    } catch (const NVENCException& error) {
        const std::string& text = error.ErrorText();
        const std::string prefix = "EncodeSession::CreateEncoder : Invalid encoder width and height at ";
        EXPECT_EQ(text.substr(0, prefix.size()), prefix);
        const std::string file = "vidlane2/sessions/EncodeSession.cpp:";
        const size_t at = text.find(file);
        ASSERT_NE(at, std::string::npos) << text;
        const std::string line = text.substr(at + file.size());
        EXPECT_TRUE(IsFileAndLine("EncodeSession.cpp:" + line)) << error.ErrorText();
    }
}

TEST_F(EncodeSessionTest, DriverVersionBelow11_1IsRefused)
{
    for (uint32_t version : {0x90u, 0xA0u, 0xB0u}) {
        SetUp();
        fake_nvenc::SetMaxSupportedVersion(version);
        ExpectNvencError([&] { Open(); }, "EncodeSession::LoadNvEncApi",
                         "Current Driver Version does not support this NvEncodeAPI version, please upgrade driver",
                         15);
        EXPECT_EQ(fake_nvenc::CountCalls("NvEncodeAPICreateInstance"), 0u);
    }
    for (uint32_t version : {0xB1u, 0xC0u, 0xD0u}) {
        fake_nvenc::SetMaxSupportedVersion(version);
        EXPECT_NO_THROW(Open()) << version;
        session.reset();
    }
}

TEST_F(EncodeSessionTest, OpeningFailuresNameTheirCall)
{
    struct Case {
        std::function<void()> inject;
        const char* operation;
        std::string message;
        int code;
    };
    const Case cases[] = {
        {[] { fake_nvenc::FailCall("NvEncodeAPIGetMaxSupportedVersion", NV_ENC_ERR_INVALID_PTR); },
         "EncodeSession::LoadNvEncApi", "NvEncodeAPIGetMaxSupportedVersion(&version) returned error 6", 6},
        {[] { fake_nvenc::FailCall("NvEncodeAPICreateInstance", NV_ENC_ERR_INVALID_VERSION); },
         "EncodeSession::LoadNvEncApi", "NvEncodeAPICreateInstance(&m_nvenc) returned error 15", 15},
        {[] { fake_nvenc::LeaveEntryEmpty("nvEncOpenEncodeSession"); }, "EncodeSession::EncodeSession",
         "EncodeAPI not found", 1},
        {[] { fake_nvenc::FailCall("nvEncOpenEncodeSessionEx", NV_ENC_ERR_UNSUPPORTED_DEVICE); },
         "EncodeSession::EncodeSession",
         "m_nvenc.nvEncOpenEncodeSessionEx(&encodeSessionExParams, &hEncoder) returned error 2", 2},
        {[] { fake_nvenc::LeaveEntryEmpty("nvEncOpenEncodeSessionEx"); }, "EncodeSession::EncodeSession",
         "m_nvenc.nvEncOpenEncodeSessionEx(&encodeSessionExParams, &hEncoder) returned error 22", 22},
    };
    for (const Case& c : cases) {
        SetUp();
        c.inject();
        ExpectNvencError([&] { Open(); }, c.operation, c.message, c.code);
    }
}

TEST_F(EncodeSessionTest, NullContextClosesTheOpenedSession)
{
    ExpectNvencError(
        [&] { session = std::make_unique<CudaEncodeSession>(nullptr, 64, 64, NV_ENC_BUFFER_FORMAT_NV12); },
        "CudaEncodeSession::CudaEncodeSession", "Invalid Cuda Context", 4);
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncDestroyEncoder"), 1u);
}

TEST_F(EncodeSessionTest, FailuresPartWayThroughCreateEncoderLeaveNothingBehind)
{
    struct Case {
        std::function<void()> inject;
        const char* operation;
        std::string message;
        int code;
    };
    const Case cases[] = {
        {[] { fake_nvenc::FailCall("nvEncInitializeEncoder", NV_ENC_ERR_UNSUPPORTED_PARAM); },
         "EncodeSession::CreateEncoder",
         "m_nvenc.nvEncInitializeEncoder(m_hEncoder, &m_initializeParams) returned error 12", 12},
        {[] { fake_nvenc::FailCall("nvEncCreateBitstreamBuffer", NV_ENC_ERR_OUT_OF_MEMORY, 1); },
         "EncodeSession::InitializeBitstreamBuffer",
         "m_nvenc.nvEncCreateBitstreamBuffer(m_hEncoder, &createBitstreamBuffer) returned error 10", 10},
        {[] { fake_cuda::FailCall("cuMemAllocPitch_v2", 2, 1); }, "CudaEncodeSession::AllocateInputBuffers",
         "CUDA driver API error CUDA_ERROR_OUT_OF_MEMORY", 20},
        {[] { fake_cuda::FailCall("cuCtxPushCurrent_v2", 201); }, "EncodeSession::CreateEncoder",
         "CUDA driver API error CUDA_ERROR_INVALID_CONTEXT", 20},
        {[] { fake_cuda::FailCall("cuCtxPushCurrent_v2", 201, 1); }, "CudaEncodeSession::AllocateInputBuffers",
         "CUDA driver API error CUDA_ERROR_INVALID_CONTEXT", 20},
        {[] { fake_cuda::FailCall("cuMemAllocPitch_v2", 4242); }, "CudaEncodeSession::AllocateInputBuffers",
         "CUDA driver API error ", 20},
        {[] { fake_nvenc::FailCall("nvEncRegisterResource", NV_ENC_ERR_RESOURCE_REGISTER_FAILED, 1); },
         "EncodeSession::RegisterResource",
         "m_nvenc.nvEncRegisterResource(m_hEncoder, &registerResource) returned error 23", 23},
    };
    for (const Case& c : cases) {
        SetUp();
        Open();
        Defaults();
        config.rcParams.lookaheadDepth = 2;
        c.inject();
        ExpectNvencError([&] { session->CreateEncoder(&params); }, c.operation, c.message, c.code);
        EXPECT_EQ(fake_cuda::ContextDepth(), 0u) << c.message;
        EncodedPackets packets;
        ExpectNvencError([&] { session->EncodeFrame(packets); }, "EncodeSession::EncodeFrame",
                         "Encoder device not found", 1);
        fake_cuda::ClearFailures();
        fake_nvenc::ClearFailures();
        TearDown(); // everything created so far is released
    }
}

TEST_F(EncodeSessionTest, FrameFailuresNameTheirCallAndTheStreamGoesOn)
{
    struct Case {
        const char* entry;
        NVENCSTATUS status;
        const char* operation;
        std::string message;
    };
    const Case cases[] = {
        {"nvEncMapInputResource", NV_ENC_ERR_MAP_FAILED, "EncodeSession::MapResources",
         "m_nvenc.nvEncMapInputResource(m_hEncoder, &mapInputResource) returned error 16"},
        {"nvEncEncodePicture", NV_ENC_ERR_ENCODER_BUSY, "EncodeSession::EncodeFrame", "nvEncEncodePicture API failed"},
        {"nvEncLockBitstream", NV_ENC_ERR_LOCK_BUSY, "EncodeSession::GetEncodedPacket",
         "m_nvenc.nvEncLockBitstream(m_hEncoder, &lockBitstreamData) returned error 13"},
        {"nvEncUnlockBitstream", NV_ENC_ERR_INVALID_PTR, "EncodeSession::GetEncodedPacket",
         "m_nvenc.nvEncUnlockBitstream(m_hEncoder, lockBitstreamData.outputBitstream) returned error 6"},
        {"nvEncUnmapInputResource", NV_ENC_ERR_RESOURCE_NOT_MAPPED, "EncodeSession::GetEncodedPacket",
         "m_nvenc.nvEncUnmapInputResource(m_hEncoder, m_vMappedInputBuffers[m_iGot % m_nEncoderBuffer]) "
         "returned error 25"},
    };
    for (const Case& c : cases) {
        SetUp();
        OpenAndCreate();
        EncodedPackets packets;
        fake_nvenc::FailCall(c.entry, c.status);
        ExpectNvencError([&] { session->EncodeFrame(packets); }, c.operation, c.message, c.status);
        // Unlock and unmap fail after the packet was copied out.
        if (c.operation != std::string("EncodeSession::GetEncodedPacket") || c.status == NV_ENC_ERR_LOCK_BUSY) {
            EXPECT_TRUE(packets.empty()) << c.entry;
        }
        fake_nvenc::ClearFailures();
        TearDown();
    }

    // A refused submission is not counted: the next frame takes the same slot.
    SetUp();
    OpenAndCreate(1);
    EncodedPackets packets;
    fake_nvenc::FailCall("nvEncEncodePicture", NV_ENC_ERR_ENCODER_BUSY);
    EXPECT_THROW(session->EncodeFrame(packets), NVENCException);
    EXPECT_EQ(fake_nvenc::LiveMappings(), 0u);
    fake_nvenc::ClearFailures();
    session->EncodeFrame(packets);
    EXPECT_EQ(fake_nvenc::Pictures().back().outputBitstream, fake_nvenc::Pictures().front().outputBitstream);
    session->EndEncode(packets);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], fake_nvenc::PacketFor(0));
}

// A frame whose collection fails is dropped: its slot is released and counted,
// so the next frame maps the slot again and gets its own packet, not a stale one.
TEST_F(EncodeSessionTest, AFailedCollectionDropsOnlyThatFrame)
{
    for (const char* entry : {"nvEncLockBitstream", "nvEncUnlockBitstream", "nvEncUnmapInputResource"}) {
        SetUp();
        OpenAndCreate();
        EncodedPackets packets;
        fake_nvenc::FailCall(entry, NV_ENC_ERR_GENERIC);
        EXPECT_THROW(session->EncodeFrame(packets), NVENCException) << entry;
        fake_nvenc::ClearFailures();
        for (uint32_t frame = 1; frame < 3; ++frame) {
            ASSERT_NO_THROW(session->EncodeFrame(packets)) << entry;
            ASSERT_EQ(packets.size(), 1u) << entry;
            EXPECT_EQ(packets[0], fake_nvenc::PacketFor(frame)) << entry;
            EXPECT_EQ(fake_nvenc::LiveMappings(), 0u) << entry;
        }
        session->EndEncode(packets);
        EXPECT_TRUE(packets.empty()) << entry;
        TearDown();
    }
}

TEST_F(EncodeSessionTest, EndOfStreamFailureNamesSendEos)
{
    OpenAndCreate();
    EncodedPackets packets;
    fake_nvenc::FailCall("nvEncEncodePicture", NV_ENC_ERR_INVALID_PARAM);
    ExpectNvencError([&] { session->EndEncode(packets); }, "EncodeSession::SendEOS",
                     "m_nvenc.nvEncEncodePicture(m_hEncoder, &picParams) returned error 8", 8);
    fake_nvenc::ClearFailures();
}

TEST_F(EncodeSessionTest, UninitialisedAndClosedSessionsRefuseFrames)
{
    Open();
    EncodedPackets packets;
    auto refused = [&] {
        ExpectNvencError([&] { session->EncodeFrame(packets); }, "EncodeSession::EncodeFrame",
                         "Encoder device not found", 1);
        ExpectNvencError([&] { session->EndEncode(packets); }, "EncodeSession::EndEncode",
                         "Encoder device not initialized", 11);
    };
    refused();
    Defaults();
    session->CreateEncoder(&params);
    session->EncodeFrame(packets);
    session->Shutdown();
    refused();
    ExpectNvencError([&] { Defaults(); }, "EncodeSession::CreateDefaultEncoderParams",
                     "Encoder Initialization failed", 1);
    ExpectNvencError([&] { session->CreateEncoder(&params); }, "EncodeSession::CreateEncoder",
                     "Encoder Initialization failed", 1);
    session.reset();
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncDestroyEncoder"), 1u);
}

TEST_F(EncodeSessionTest, NullParameterChecks)
{
    Open();
    NV_ENC_INITIALIZE_PARAMS noConfig{};
    ExpectNvencError([&] { session->CreateDefaultEncoderParams(&noConfig, nvenc::kCodecH264, nvenc::kPresetP4,
                                                                        NV_ENC_TUNING_INFO_LOW_LATENCY); },
                     "EncodeSession::CreateDefaultEncoderParams",
                     "pInitializeParams and pInitializeParams->encodeConfig can't be NULL", 6);
    ExpectNvencError([&] { session->GetInitializeParams(&noConfig); }, "EncodeSession::GetInitializeParams",
                     "Both pInitializeParams and pInitializeParams->encodeConfig can't be NULL", 6);
    ExpectNvencError([&] { session->GetInitializeParams(nullptr); }, "EncodeSession::GetInitializeParams",
                     "Both pInitializeParams and pInitializeParams->encodeConfig can't be NULL", 6);
}

TEST_F(EncodeSessionTest, ReconfigureAppliesNewParametersToTheRunningSession)
{
    OpenAndCreate();
    NV_ENC_RECONFIGURE_PARAMS reconfigure{};
    reconfigure.version = nvenc::kReconfigureParamsVer;
    reconfigure.resetEncoder = 1;
    reconfigure.forceIDR = 1;
    NV_ENC_CONFIG newConfig{};
    reconfigure.reInitEncodeParams.encodeConfig = &newConfig;
    session->GetInitializeParams(&reconfigure.reInitEncodeParams);
    EXPECT_EQ(reconfigure.reInitEncodeParams.encodeConfig, &newConfig);
    EXPECT_EQ(reconfigure.reInitEncodeParams.encodeWidth, 1280u);
    EXPECT_EQ(newConfig.rcParams.constQP.qpIntra, 25u);

    reconfigure.reInitEncodeParams.frameRateNum = 60;
    newConfig.rcParams.averageBitRate = 8000000;
    EXPECT_TRUE(session->Reconfigure(&reconfigure));
    ASSERT_EQ(fake_nvenc::Reconfigurations().size(), 1u);
    EXPECT_EQ(fake_nvenc::Reconfigurations()[0].reInitEncodeParams.frameRateNum, 60u);

    // The session keeps its own copy, not the caller's configuration.
    newConfig = NV_ENC_CONFIG{};
    NV_ENC_CONFIG readBack{};
    NV_ENC_INITIALIZE_PARAMS readParams{};
    readParams.encodeConfig = &readBack;
    session->GetInitializeParams(&readParams);
    EXPECT_EQ(readParams.frameRateNum, 60u);
    EXPECT_EQ(readParams.encodeConfig, &readBack);
    EXPECT_EQ(readBack.rcParams.averageBitRate, 8000000u);

    fake_nvenc::FailCall("nvEncReconfigureEncoder", NV_ENC_ERR_INVALID_PARAM);
    ExpectNvencError([&] { session->Reconfigure(&reconfigure); }, "EncodeSession::Reconfigure",
                     "m_nvenc.nvEncReconfigureEncoder(m_hEncoder, "
                     "const_cast<NV_ENC_RECONFIGURE_PARAMS*>(pReconfigureParams)) returned error 8",
                     8);
    fake_nvenc::ClearFailures();

    EncodedPackets packets;
    session->EncodeFrame(packets);
    EXPECT_EQ(packets.size(), 1u);
}

TEST_F(EncodeSessionTest, ShutdownReleasesEverythingOnceAndIgnoresStatuses)
{
    OpenAndCreate(2);
    EncodedPackets packets;
    session->EncodeFrame(packets);
    session->EncodeFrame(packets);
    fake_nvenc::FailCall("nvEncUnregisterResource", NV_ENC_ERR_GENERIC);
    fake_nvenc::FailCall("nvEncDestroyBitstreamBuffer", NV_ENC_ERR_GENERIC);
    EXPECT_NO_THROW(session->Shutdown());
    fake_nvenc::ClearFailures();
    fake_cuda::ClearFailures();
    // The frames in flight were drained before the inputs went away.
    EXPECT_EQ(fake_nvenc::Locks().size(), 2u);
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncDestroyEncoder"), 1u);
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncUnregisterResource"), 3u);
    EXPECT_EQ(fake_cuda::CountCalls("cuMemFree_v2"), 3u);
    session.reset();
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncDestroyEncoder"), 1u);
    EXPECT_EQ(fake_cuda::CountCalls("cuMemFree_v2"), 3u);
    // The refused releases left the fake's books open; settle them for the fixture.
    fake_nvenc::Reset();
}

TEST(EncodeSessionFormats, LayoutOfEachFormat)
{
    using S = EncodeSession;
    EXPECT_EQ(S::GetChromaHeight(NV_ENC_BUFFER_FORMAT_NV12, 1081), 541u);
    EXPECT_EQ(S::GetNumChromaPlanes(NV_ENC_BUFFER_FORMAT_ABGR), 0u);
    EXPECT_TRUE(S::GetChromaSubPlaneOffsets(NV_ENC_BUFFER_FORMAT_ABGR, 512, 10).empty());
    EXPECT_EQ(S::GetWidthInBytes(NV_ENC_BUFFER_FORMAT_ABGR10, 100), 400u);
    EXPECT_EQ(S::GetWidthInBytes(NV_ENC_BUFFER_FORMAT_YUV420_10BIT, 100), 200u);
    EXPECT_EQ(S::GetChromaPitch(NV_ENC_BUFFER_FORMAT_YV12, 101), 51u);
    EXPECT_EQ(S::GetChromaSubPlaneOffsets(NV_ENC_BUFFER_FORMAT_IYUV, 100, 11),
              (std::vector<uint32_t>{1100, 1100 + 50 * 6}));
    EXPECT_EQ(S::GetChromaSubPlaneOffsets(NV_ENC_BUFFER_FORMAT_YUV444_10BIT, 256, 10),
              (std::vector<uint32_t>{2560, 5120}));
    EXPECT_EQ(S::GetChromaHeight(NV_ENC_BUFFER_FORMAT_YUV444, 7), 7u);

    const auto bad = static_cast<NV_ENC_BUFFER_FORMAT>(0x40000000);
    ExpectSessionError<NVENCException>([&] { S::GetWidthInBytes(bad, 1); }, "EncodeSession::GetWidthInBytes",
                                       "Invalid Buffer format", 8);
    ExpectSessionError<NVENCException>([&] { S::GetNumChromaPlanes(bad); }, "EncodeSession::GetNumChromaPlanes",
                                       "Invalid Buffer format", 8);
    ExpectSessionError<NVENCException>([&] { S::GetChromaPitch(bad, 1); }, "EncodeSession::GetChromaPitch",
                                       "Invalid Buffer format", 8);
    ExpectSessionError<NVENCException>([&] { S::GetChromaHeight(bad, 1); }, "EncodeSession::GetChromaHeight",
                                       "Invalid Buffer format", 8);
    ExpectSessionError<NVENCException>([&] { S::GetChromaSubPlaneOffsets(bad, 1, 1); },
                                       "EncodeSession::GetChromaSubPlaneOffsets", "Invalid Buffer format", 8);
}

} // namespace
