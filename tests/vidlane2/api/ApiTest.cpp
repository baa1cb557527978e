// The exported interface on a machine without a GPU: handle checks,
// error texts and bad input. Every call must fail cleanly and leave the
// handle usable.
#include <Vidlane2.h>

#include <cuda.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the CUDA runtime says when the library first touches a device on a
// machine without a GPU, worked out from the driver as the runtime finds it:
// no driver library, or one of an older major version than the runtime, is
// error 35; a driver without a device (Debian's libcuda1 on a machine with no
// GPU) is error 100. Empty with `why` set where a device is there or the
// driver is in some other state.
struct RuntimeText {
    std::string text;
    std::string why;
};

RuntimeText ExpectedWithoutAGpu()
{
    const std::string prefix = "Failed to synchronize device (Error ";
    const std::string oldDriver = prefix + "35: CUDA driver version is insufficient for CUDA runtime version)";
    void* driver = dlopen("libcuda.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!driver)
        return {oldDriver, ""};
    using GetInt = CUresult (*)(int*);
    auto driverVersion = reinterpret_cast<GetInt>(dlsym(driver, "cuDriverGetVersion"));
    auto init = reinterpret_cast<CUresult (*)(unsigned)>(dlsym(driver, "cuInit"));
    auto deviceCount = reinterpret_cast<GetInt>(dlsym(driver, "cuDeviceGetCount"));
    if (!driverVersion || !init || !deviceCount)
        return {"", "libcuda.so.1 lacks cuDriverGetVersion, cuInit or cuDeviceGetCount"};
    int version = 0;
    if (driverVersion(&version) != CUDA_SUCCESS)
        return {"", "cuDriverGetVersion failed"};
    if (version / 1000 < CUDA_VERSION / 1000)
        return {oldDriver, ""};
    const CUresult initialised = init(0);
    int devices = 0;
    if (initialised == CUDA_ERROR_NO_DEVICE ||
        (initialised == CUDA_SUCCESS && deviceCount(&devices) == CUDA_SUCCESS && devices == 0))
        return {prefix + "100: no CUDA-capable device is detected)", ""};
    if (initialised == CUDA_SUCCESS)
        return {"", "a CUDA device is present; these cases need a machine without one"};
    return {"", "cuInit failed with " + std::to_string(initialised) + "; no known runtime text"};
}

const RuntimeText& WithoutAGpu()
{
    static const RuntimeText expected = ExpectedWithoutAGpu();
    return expected;
}

#define SKIP_WITH_GPU()                                                                        \
    if (WithoutAGpu().text.empty())                                                            \
    GTEST_SKIP() << WithoutAGpu().why

struct Handles : ::testing::Test {
    void SetUp() override
    {
        // 0 x 0 opens no session, so these work without a GPU.
        encoder = Vidlane_CreateEncoder(VIDLANE_RGBA32, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, 0, 0);
        decoder = Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 0, 0);
        ASSERT_NE(encoder, nullptr) << Vidlane_GetError(nullptr);
        ASSERT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);
    }
    void TearDown() override
    {
        Vidlane_Destroy(encoder);
        Vidlane_Destroy(decoder);
    }

    CodecHandle* encoder = nullptr;
    CodecHandle* decoder = nullptr;
    std::vector<uint8_t> host = std::vector<uint8_t>(64 * 64 * 8);
};

TEST(Api, ExportsTheOptimusSymbolWithValue1)
{
    void* self = dlopen(nullptr, RTLD_NOW);
    const auto* symbol = static_cast<const int32_t*>(dlsym(self, "NvOptimusEnablementCuda"));
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(*symbol, 1);
}

TEST(Api, NullHandlesAreHarmlessForGetErrorAndDestroy)
{
    ASSERT_NE(Vidlane_GetError(nullptr), nullptr);
    Vidlane_Destroy(nullptr);
}

// Create returns null on failure, so an unchecked caller passes null on.
TEST(Api, NullHandlesAreRefusedWithTheTextOfGetErrorNull)
{
    std::vector<uint8_t> host(64 * 64 * 4);
    const auto encoderCalls = {
        +[](std::vector<uint8_t>& b) { return Vidlane_Encode(nullptr, b.data(), 256, b.data(), b.size(), 64, 64, false); },
        +[](std::vector<uint8_t>& b) { return Vidlane_EncodePBO(nullptr, 1, b.data(), b.size(), 64, 64, false); },
        +[](std::vector<uint8_t>& b) {
            return Vidlane_EncodeTexture(nullptr, 1, 0x0DE1, b.data(), b.size(), 64, 64, 64, 64, false, nullptr, false);
        },
        +[](std::vector<uint8_t>&) {
            Vidlane_SetBitrate(nullptr, 1000, 30);
            return uint64_t{0};
        },
    };
    const auto decoderCalls = {
        +[](std::vector<uint8_t>& b) { return Vidlane_Decode(nullptr, b.data(), 16, b.data(), 64, 64); },
        +[](std::vector<uint8_t>& b) { return Vidlane_DecodePBO(nullptr, b.data(), 16, 1, 64, 64); },
        +[](std::vector<uint8_t>& b) { return Vidlane_DecodeTexture(nullptr, b.data(), 16, 1, 0x0DE1, 64, 64); },
    };
    for (auto call : encoderCalls) {
        Vidlane_CreateEncoder(9, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, 0, 0); // another text first
        EXPECT_EQ(call(host), 0u);
        EXPECT_STREQ(Vidlane_GetError(nullptr), "Invalid Vidlane encoder.");
    }
    for (auto call : decoderCalls) {
        Vidlane_CreateEncoder(9, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, 0, 0);
        EXPECT_EQ(call(host), 0u);
        EXPECT_STREQ(Vidlane_GetError(nullptr), "Invalid Vidlane decoder.");
    }
}

// 10-bit H.264 does not exist; the HEVC fields would land in H.264's half of the union.
TEST(Api, TheHdr10FormatNeedsHevc)
{
    EXPECT_EQ(Vidlane_CreateEncoder(VIDLANE_R16G16B16A16_HDR10, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, 0, 0),
              nullptr);
    EXPECT_STREQ(Vidlane_GetError(nullptr),
                 "The R16G16B16A16_HDR10 format needs the HEVC codec: it encodes 10-bit HEVC Main10 only");
    CodecHandle* hevc = Vidlane_CreateEncoder(VIDLANE_R16G16B16A16_HDR10, VIDLANE_HEVC, VIDLANE_LOSSY, 8000000, 30, 0, 0);
    EXPECT_NE(hevc, nullptr);
    Vidlane_Destroy(hevc);
}

TEST_F(Handles, AFreshHandleHasAnEmptyErrorText)
{
    EXPECT_STREQ(Vidlane_GetError(encoder), "");
    EXPECT_STREQ(Vidlane_GetError(decoder), "");
}

TEST_F(Handles, EncoderCallsOnADecoderHandleAreRefused)
{
    uint8_t type = 0xEE;
    EXPECT_EQ(Vidlane_Encode(decoder, host.data(), 256, host.data(), host.size(), 64, 64, false), 0u);
    EXPECT_STREQ(Vidlane_GetError(decoder), "Invalid Vidlane encoder.");
    EXPECT_EQ(Vidlane_EncodePBO(decoder, 1, host.data(), host.size(), 64, 64, false), 0u);
    EXPECT_EQ(Vidlane_EncodeTexture(decoder, 1, 0x0DE1, host.data(), host.size(), 64, 64, 64, 64, false, &type, false),
              0u);
    EXPECT_EQ(type, 0xEE);
    Vidlane_SetBitrate(decoder, 1000000, 30);
    EXPECT_STREQ(Vidlane_GetError(decoder), "Invalid Vidlane encoder.");
}

TEST_F(Handles, DecoderCallsOnAnEncoderHandleAreRefused)
{
    EXPECT_EQ(Vidlane_Decode(encoder, host.data(), 16, host.data(), 64, 64), 0u);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Invalid Vidlane decoder.");
    EXPECT_EQ(Vidlane_DecodePBO(encoder, host.data(), 16, 1, 64, 64), 0u);
    EXPECT_EQ(Vidlane_DecodeTexture(encoder, host.data(), 16, 1, 0x0DE1, 64, 64), 0u);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Invalid Vidlane decoder.");
}

TEST_F(Handles, BadEncodeInputIsRefusedBeforeAnySessionWork)
{
    struct Case {
        const void* src;
        void* dst;
        uint64_t pitch;
        uint32_t width, height;
        const char* error;
    };
    const Case cases[] = {
        {host.data(), host.data(), 256, 0, 0, "Invalid frame size 0 x 0: width and height must not be 0"},
        {host.data(), host.data(), 256, 64, 0, "Invalid frame size 64 x 0: width and height must not be 0"},
        {host.data(), host.data(), 256, 65536, 65536,
         "Invalid frame size 65536 x 65536: a frame must be smaller than 4 GiB"},
        {nullptr, host.data(), 256, 64, 64, "Invalid input frame: the pointer is null"},
        {host.data(), nullptr, 256, 64, 64, "Invalid output buffer: the pointer is null"},
        {host.data(), host.data(), 1ull << 32, 64, 64, "Invalid input pitch 4294967296: it must be below 4 GiB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Vidlane_Encode(encoder, c.src, c.pitch, c.dst, host.size(), c.width, c.height, false), 0u);
        EXPECT_STREQ(Vidlane_GetError(encoder), c.error);
    }
}

TEST_F(Handles, BadDecodeInputIsRefusedBeforeAnySessionWork)
{
    struct Case {
        const void* src;
        uint64_t size;
        void* dst;
        uint32_t width, height;
        const char* error;
    };
    const Case cases[] = {
        {host.data(), 16, host.data(), 0, 0, "Invalid frame size 0 x 0: width and height must not be 0"},
        {host.data(), 16, host.data(), 70000, 70000,
         "Invalid frame size 70000 x 70000: a frame must be smaller than 4 GiB"},
        {nullptr, 16, host.data(), 64, 64, "Invalid compressed picture: the pointer is null or the size is 0"},
        {host.data(), 0, host.data(), 64, 64, "Invalid compressed picture: the pointer is null or the size is 0"},
        {host.data(), 1ull << 31, host.data(), 64, 64,
         "Invalid compressed picture: 2147483648 bytes is more than one picture"},
        {host.data(), 16, nullptr, 64, 64, "Invalid output buffer: the pointer is null"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Vidlane_Decode(decoder, c.src, c.size, c.dst, c.width, c.height), 0u);
        EXPECT_STREQ(Vidlane_GetError(decoder), c.error);
    }
}

TEST_F(Handles, SetBitrateWithoutASessionOrWithAZeroFrameRateIsRefused)
{
    Vidlane_SetBitrate(encoder, 4000000, 30);
    EXPECT_STREQ(Vidlane_GetError(encoder), "No encoder session to change the bitrate of: encode a frame first");
    Vidlane_SetBitrate(encoder, 4000000, 0);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Invalid target frame rate 0: it must be at least 1 frame per second");
}

TEST_F(Handles, OpenGlCallsRefuseFormatsTheyDoNotCarry)
{
    CodecHandle* uint8Encoder = Vidlane_CreateEncoder(VIDLANE_UINT8, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, 0, 0);
    CodecHandle* halfDecoder = Vidlane_CreateDecoder(VIDLANE_R16G16B16A16, VIDLANE_H264, 0, 0);
    ASSERT_NE(uint8Encoder, nullptr);
    ASSERT_NE(halfDecoder, nullptr);
    EXPECT_EQ(Vidlane_EncodeTexture(uint8Encoder, 1, 0x0DE1, host.data(), host.size(), 64, 64, 64, 64, false, nullptr,
                                    false),
              0u);
    EXPECT_STREQ(Vidlane_GetError(uint8Encoder), "The OpenGL interface only supports the RGBA32 or R16G16B16A16 formats");
    EXPECT_EQ(Vidlane_EncodePBO(uint8Encoder, 1, host.data(), host.size(), 64, 64, false), 0u);
    EXPECT_STREQ(Vidlane_GetError(uint8Encoder), "The OpenGL interface only supports the RGBA32 format");
    EXPECT_EQ(Vidlane_DecodeTexture(halfDecoder, host.data(), 16, 1, 0x0DE1, 64, 64), 0u);
    EXPECT_STREQ(Vidlane_GetError(halfDecoder), "The OpenGL interface only supports the RGBA32 format");
    EXPECT_EQ(Vidlane_DecodePBO(halfDecoder, host.data(), 16, 1, 64, 64), 0u);
    EXPECT_STREQ(Vidlane_GetError(halfDecoder), "The OpenGL interface only supports the RGBA32 format");
    Vidlane_Destroy(uint8Encoder);
    Vidlane_Destroy(halfDecoder);
}

TEST_F(Handles, AV1AndVP9DecodersOpenAndEncodersRefuseThem)
{
    const struct {
        Vidlane_Codec codec;
        const char* text;
    } cases[] = {
        {VIDLANE_AV1, "Codec AV1 can only be decoded: the encoder makes H.264 and HEVC streams only; "
                      "encode with VIDLANE_H264 or VIDLANE_HEVC"},
        {VIDLANE_VP9, "Codec VP9 can only be decoded: the encoder makes H.264 and HEVC streams only; "
                      "encode with VIDLANE_H264 or VIDLANE_HEVC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Vidlane_CreateEncoder(VIDLANE_RGBA32, c.codec, VIDLANE_LOSSY, 8000000, 30, 0, 0), nullptr);
        EXPECT_STREQ(Vidlane_GetError(nullptr), c.text);
        EXPECT_EQ(Vidlane_CreateEncoder(VIDLANE_UINT8, c.codec, VIDLANE_LOSSLESS, 8000000, 30, 64, 64), nullptr);
        EXPECT_STREQ(Vidlane_GetError(nullptr), c.text) << "refused before any session work";
        for (const Vidlane_Format format : {VIDLANE_RGBA32, VIDLANE_UINT8, VIDLANE_R16G16B16A16_HDR10}) {
            CodecHandle* decoder = Vidlane_CreateDecoder(format, c.codec, 0, 0);
            EXPECT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);
            Vidlane_Destroy(decoder);
        }
    }
}

TEST_F(Handles, HDR10DecodingIsNoLongerRefusedUpFront)
{
    SKIP_WITH_GPU();
    CodecHandle* hdr = Vidlane_CreateDecoder(VIDLANE_R16G16B16A16_HDR10, VIDLANE_HEVC, 0, 0);
    ASSERT_NE(hdr, nullptr);
    EXPECT_EQ(Vidlane_Decode(hdr, host.data(), 16, host.data(), 64, 64), 0u);
    EXPECT_STREQ(Vidlane_GetError(hdr), WithoutAGpu().text.c_str());
    Vidlane_Destroy(hdr);
}

TEST_F(Handles, WithoutADriverEncodeAndDecodeFailWithTheRuntimeTextAndStayUsable)
{
    SKIP_WITH_GPU();
    const uint8_t garbage[] = {0, 0, 0, 1, 0x65, 0xFF, 0x13, 0x37};
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(Vidlane_Encode(encoder, host.data(), 256, host.data(), host.size(), 64, 64, true), 0u);
        EXPECT_STREQ(Vidlane_GetError(encoder), WithoutAGpu().text.c_str());
        EXPECT_EQ(Vidlane_Decode(decoder, garbage, sizeof garbage, host.data(), 64, 64), 0u);
        EXPECT_STREQ(Vidlane_GetError(decoder), WithoutAGpu().text.c_str());
    }
    // A later refusal replaces the text; nothing else was left behind.
    Vidlane_SetBitrate(encoder, 1000, 30);
    EXPECT_STREQ(Vidlane_GetError(encoder), "No encoder session to change the bitrate of: encode a frame first");
}

TEST(Api, AFailedCreateLeavesItsTextForGetErrorNullUntilTheNextFailedCreate)
{
    CodecHandle* invalid = Vidlane_CreateEncoder(9, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, 0, 0);
    EXPECT_EQ(invalid, nullptr);
    EXPECT_STREQ(Vidlane_GetError(nullptr), "Invalid Vidlane format 9");

    const char* held = Vidlane_GetError(nullptr);
    EXPECT_EQ(Vidlane_CreateEncoder(VIDLANE_UINT8, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 0, 0, 0), nullptr);
    EXPECT_STREQ(Vidlane_GetError(nullptr), "Invalid target frame rate 0: it must be at least 1 frame per second");
    EXPECT_STREQ(held, "Invalid Vidlane format 9"); // an earlier text stays readable

    // A successful create leaves the text alone.
    CodecHandle* ok = Vidlane_CreateDecoder(VIDLANE_UINT8, VIDLANE_HEVC, 0, 0);
    ASSERT_NE(ok, nullptr);
    EXPECT_STREQ(Vidlane_GetError(nullptr), "Invalid target frame rate 0: it must be at least 1 frame per second");
    Vidlane_Destroy(ok);

    EXPECT_EQ(Vidlane_CreateDecoder(7, VIDLANE_H264, 0, 0), nullptr);
    EXPECT_STREQ(Vidlane_GetError(nullptr), "Invalid Vidlane format 7");
}

TEST(Api, CreatingWithASizeWithoutADriverFailsWithTheRuntimeText)
{
    SKIP_WITH_GPU();
    for (uint32_t format : {VIDLANE_RGBA32, VIDLANE_UINT16, VIDLANE_R16G16B16A16_HDR10}) {
        EXPECT_EQ(Vidlane_CreateEncoder(format, VIDLANE_HEVC, VIDLANE_LOSSY, 8000000, 30, 640, 480), nullptr);
        EXPECT_STREQ(Vidlane_GetError(nullptr), WithoutAGpu().text.c_str());
        EXPECT_EQ(Vidlane_CreateDecoder(format, VIDLANE_HEVC, 640, 480), nullptr);
        EXPECT_STREQ(Vidlane_GetError(nullptr), WithoutAGpu().text.c_str());
    }
}

TEST(Api, FailingCreatesOnManyThreadsLeaveOneWholeText)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                Vidlane_CreateEncoder(t % 2 ? 8 : 10, VIDLANE_H264, VIDLANE_LOSSY, 1, 30, 0, 0);
                const std::string seen = Vidlane_GetError(nullptr);
                EXPECT_TRUE(seen == "Invalid Vidlane format 8" || seen == "Invalid Vidlane format 10") << seen;
            }
        });
    for (auto& thread : threads)
        thread.join();
}

} // namespace
