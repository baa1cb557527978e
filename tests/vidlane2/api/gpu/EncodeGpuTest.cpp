// Encoding through the public interface on real CUDA memory, with the fake
// NVENC library standing in for the encoder the GPU lacks: what reaches the
// session's input buffer must equal the CPU rules byte for byte.
#include "FakeNvenc.h"
#include "GpuDevice.h"
#include "KernelReference.h"

#include <Vidlane2.h>

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kWidth = 192; // above the smallest sizes real encoders take (up to 145 a side)
constexpr uint32_t kHeight = 160;

uint64_t frameBytes(uint32_t format)
{
    const uint64_t halfBytes[] = {8, 1, 2, 4, 8, 8, 16};
    return uint64_t{kWidth} * kHeight * halfBytes[format] / 2;
}

Bytes pattern(size_t size)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(i * 37 + (i >> 7) * 11 + 5);
    return b;
}

// The session's input buffer as the encoder last saw it.
Bytes inputBuffer(size_t rows)
{
    const NV_ENC_REGISTER_RESOURCE& r = fake_nvenc::Registrations().back();
    Bytes out(size_t{r.pitch} * rows);
    EXPECT_EQ(cudaMemcpy(out.data(), r.resourceToRegister, out.size(), cudaMemcpyDeviceToHost), cudaSuccess);
    return out;
}

// What the input buffer must hold, by the CPU rules; bytes outside the
// written region are copied from actual so they compare equal.
Bytes expectedInput(uint32_t format, const Bytes& frame, const Bytes& actual, uint32_t pitch)
{
    namespace ref = vidlane2::reference;
    Bytes out = actual;
    const uint32_t rowBytes = static_cast<uint32_t>(frameBytes(format) / kHeight);
    switch (format) {
    case VIDLANE_RGBA32:
    case VIDLANE_R16G16B16A16:
    case VIDLANE_R16G16B16A16_HDR10:
        for (uint32_t y = 0; y < kHeight; ++y)
            std::copy(frame.begin() + y * rowBytes, frame.begin() + (y + 1) * rowBytes, out.begin() + y * pitch);
        break;
    case VIDLANE_UINT4:
        ref::uint4_to_nv12(frame.data(), rowBytes, out.data(), pitch, kWidth, kHeight);
        break;
    case VIDLANE_UINT8:
        ref::uint8_to_nv12(frame.data(), rowBytes, out.data(), pitch, kWidth, kHeight);
        break;
    case VIDLANE_UINT16:
        ref::uint16_to_nv12(frame.data(), rowBytes, out.data(), pitch, kWidth, kHeight);
        break;
    case VIDLANE_UINT32:
        ref::uint32_to_nv12(frame.data(), rowBytes, out.data(), pitch, kWidth, kHeight);
        break;
    }
    return out;
}

struct Case {
    uint32_t format;
    bool device;
};

// Names the case in test output, instead of its raw bytes.
void PrintTo(const Case& c, std::ostream* os)
{
    *os << "format " << c.format << (c.device ? " device" : " host");
}

class EncodeGpu : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        REQUIRE_CUDA_DEVICE();
        fake_nvenc::Reset();
    }
};

TEST_P(EncodeGpu, TheInputBufferHoldsTheCpuRulesResultAndThePacketReachesDst)
{
    const Case c = GetParam();
    CodecHandle* encoder = Vidlane_CreateEncoder(c.format, VIDLANE_HEVC, VIDLANE_LOSSY, 8000000, 30, 0, 0);
    ASSERT_NE(encoder, nullptr) << Vidlane_GetError(nullptr);
    const Bytes frame = pattern(frameBytes(c.format));
    const uint64_t pitch = frameBytes(c.format) / kHeight;
    void* device = nullptr;
    ASSERT_EQ(cudaMalloc(&device, frame.size()), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(device, frame.data(), frame.size(), cudaMemcpyHostToDevice), cudaSuccess);

    Bytes dst(256, 0);
    const uint64_t written = Vidlane_Encode(encoder, c.device ? device : frame.data(), pitch, dst.data(), dst.size(),
                                            kWidth, kHeight, false);
    ASSERT_EQ(written, fake_nvenc::PacketFor(0).size()) << Vidlane_GetError(encoder);
    EXPECT_EQ(Bytes(dst.begin(), dst.begin() + written), fake_nvenc::PacketFor(0));

    const NV_ENC_REGISTER_RESOURCE& r = fake_nvenc::Registrations().back();
    const bool nv12 = r.bufferFormat == NV_ENC_BUFFER_FORMAT_NV12;
    const Bytes actual = inputBuffer(nv12 ? kHeight * 3 / 2 : kHeight);
    EXPECT_EQ(actual, expectedInput(c.format, frame, actual, r.pitch));
    cudaFree(device);
    Vidlane_Destroy(encoder);
    EXPECT_EQ(fake_nvenc::LiveSessions(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, EncodeGpu,
                         ::testing::Values(Case{VIDLANE_RGBA32, false}, Case{VIDLANE_RGBA32, true},
                                           Case{VIDLANE_UINT4, false}, Case{VIDLANE_UINT4, true},
                                           Case{VIDLANE_UINT8, false}, Case{VIDLANE_UINT8, true},
                                           Case{VIDLANE_UINT16, false}, Case{VIDLANE_UINT16, true},
                                           Case{VIDLANE_UINT32, false}, Case{VIDLANE_UINT32, true},
                                           Case{VIDLANE_R16G16B16A16, false},
                                           Case{VIDLANE_R16G16B16A16_HDR10, true}));

class EncodeGpuStream : public EncodeGpu {};

TEST_F(EncodeGpuStream, OverflowRuleAtExactlyDstSizeAndOneByteLess)
{
    CodecHandle* encoder = Vidlane_CreateEncoder(VIDLANE_UINT8, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, kWidth,
                                                 kHeight);
    ASSERT_NE(encoder, nullptr) << Vidlane_GetError(nullptr);
    const Bytes frame = pattern(frameBytes(VIDLANE_UINT8));
    Bytes dst(256);
    const uint64_t exact = fake_nvenc::PacketFor(0).size();
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, dst.data(), exact, kWidth, kHeight, true), exact)
        << Vidlane_GetError(encoder);
    const uint64_t next = fake_nvenc::PacketFor(1).size();
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, dst.data(), next - 1, kWidth, kHeight, false), 0u);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Encode output buffer overflow");
    // The stream goes on with the next picture.
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, dst.data(), dst.size(), kWidth, kHeight, false),
              fake_nvenc::PacketFor(2).size());
    Vidlane_Destroy(encoder);
}

TEST_F(EncodeGpuStream, SetBitrateReconfiguresTheRunningSessionWithAnIdr)
{
    CodecHandle* encoder = Vidlane_CreateEncoder(VIDLANE_RGBA32, VIDLANE_HEVC, VIDLANE_LOSSY, 8000000, 30, kWidth,
                                                 kHeight);
    ASSERT_NE(encoder, nullptr) << Vidlane_GetError(nullptr);
    Vidlane_SetBitrate(encoder, (1ull << 32) + 2000000, 60);
    EXPECT_STREQ(Vidlane_GetError(encoder), "");
    ASSERT_EQ(fake_nvenc::Reconfigurations().size(), 1u);
    const NV_ENC_RECONFIGURE_PARAMS& r = fake_nvenc::Reconfigurations().back();
    EXPECT_EQ(r.version, 0xF0010009u);
    EXPECT_EQ(r.resetEncoder, 1u);
    EXPECT_EQ(r.forceIDR, 1u);
    EXPECT_EQ(r.reInitEncodeParams.frameRateNum, 60u);
    EXPECT_EQ(r.reInitEncodeParams.encodeWidth, kWidth);
    ASSERT_NE(r.reInitEncodeParams.encodeConfig, nullptr);
    Vidlane_Destroy(encoder);
}

TEST_F(EncodeGpuStream, ASizeChangeReopensTheSessionWithTheSettings)
{
    CodecHandle* encoder = Vidlane_CreateEncoder(VIDLANE_UINT16, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, kWidth,
                                                 kHeight);
    ASSERT_NE(encoder, nullptr) << Vidlane_GetError(nullptr);
    ASSERT_EQ(fake_nvenc::InitializeRequests().size(), 1u);
    EXPECT_EQ(fake_nvenc::InitializeRequests()[0].encodeWidth, kWidth); // created without widening
    const Bytes frame = pattern(frameBytes(VIDLANE_UINT16));
    Bytes dst(256);
    for (int i = 0; i < 2; ++i) {
        ASSERT_GT(Vidlane_Encode(encoder, frame.data(), kWidth * 2, dst.data(), dst.size(), kWidth, kHeight, false),
                  0u)
            << Vidlane_GetError(encoder);
    }
    ASSERT_EQ(fake_nvenc::InitializeRequests().size(), 2u); // re-created once, then reused
    EXPECT_EQ(fake_nvenc::InitializeRequests()[1].encodeWidth, kWidth * 2);
    const NV_ENC_CONFIG& config = fake_nvenc::InitializeConfigs()[1];
    EXPECT_EQ(config.rcParams.averageBitRate, 8000000u);
    EXPECT_EQ(config.rcParams.vbvBufferSize, 266666u);
    EXPECT_EQ(config.gopLength, 30u);
    EXPECT_EQ(fake_nvenc::LiveSessions(), 1u);
    Vidlane_Destroy(encoder);
    EXPECT_EQ(fake_nvenc::LiveSessions(), 0u);
}

} // namespace
