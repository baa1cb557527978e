// Decoding through the public interface on a real GPU, judged against
// FFmpeg's software decode of the same streams (reference NV12 files).
#include "AccessUnits.h"
#include "GpuDevice.h"
#include "KernelReference.h"

#include <Vidlane2.h>

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::string& name)
{
    std::ifstream in(std::string(VIDLANE2_GPU_STREAMS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << "missing test stream " << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Stream {
    Bytes bytes;
    std::vector<vidlane2::ByteRange> units;
    Bytes reference; // NV12 frames, one after another
    uint32_t width, height;

    Stream(const std::string& name, bool hevc, uint32_t w, uint32_t h)
        : bytes(readFile(name)), reference(readFile(name + ".nv12")), width(w), height(h)
    {
        units = vidlane2::splitAccessUnits(bytes.data(), bytes.size(), hevc);
    }
    size_t nv12Bytes() const { return size_t{width} * height * 3 / 2; }
    const uint8_t* frame(size_t i) const { return reference.data() + i * nv12Bytes(); }
};

// The CPU rules applied to FFmpeg's decode.
Bytes expectedFrame(uint32_t format, const uint8_t* nv12, uint32_t width, uint32_t height)
{
    namespace ref = vidlane2::reference;
    Bytes out;
    switch (format) {
    case VIDLANE_RGBA32:
        out.assign(size_t{width} * height * 4, 0);
        ref::yuv_to_rgba(nv12, static_cast<int>(width), out.data(), static_cast<int>(width * 4),
                         static_cast<int>(width), static_cast<int>(height));
        break;
    case VIDLANE_UINT8:
        out.assign(size_t{width} * height, 0);
        ref::nv12_to_uint8(nv12, width, out.data(), width, width, height);
        break;
    case VIDLANE_UINT16: // the stream is twice as wide as the frame
        out.assign(size_t{width / 2} * height * 2, 0);
        ref::nv12_to_uint16(nv12, width, out.data(), width, width / 2, height);
        break;
    case VIDLANE_UINT4:
        out.assign(size_t{width} * height / 2, 0);
        ref::nv12_to_uint4(nv12, width, out.data(), width / 2, width, height);
        break;
    }
    return out;
}

// Managed memory is read on the host as soon as the call returns, with no
// synchronisation of the caller's own.
enum class Target { Host, Device, Managed };

struct Case {
    const char* stream;
    bool hevc;
    uint32_t format;
    Target target;
};

// Names the case in test output, instead of its raw bytes.
void PrintTo(const Case& c, std::ostream* os)
{
    const char* target = c.target == Target::Host ? " host" : c.target == Target::Device ? " device" : " managed";
    *os << c.stream << " format " << c.format << target;
}

class DecodeGpu : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeGpu, EveryPictureEqualsTheCpuRuleOnFfmpegsDecode)
{
    REQUIRE_CUDA_DEVICE();
    const Case c = GetParam();
    const Stream stream(c.stream, c.hevc, 320, 240);
    ASSERT_FALSE(stream.units.empty());
    const uint32_t frameWidth = c.format == VIDLANE_UINT16 ? 160 : 320;
    CodecHandle* decoder = Vidlane_CreateDecoder(c.format, c.hevc ? VIDLANE_HEVC : VIDLANE_H264, 0, 0);
    ASSERT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);

    const size_t size = expectedFrame(c.format, stream.frame(0), 320, 240).size();
    void* device = nullptr;
    const cudaError_t allocated = c.target == Target::Managed ? cudaMallocManaged(&device, size, cudaMemAttachGlobal)
                                                                : cudaMalloc(&device, size);
    ASSERT_EQ(allocated, cudaSuccess);
    Bytes out(size);
    for (size_t i = 0; i < stream.units.size(); ++i) {
        SCOPED_TRACE("picture " + std::to_string(i));
        const auto& unit = stream.units[i];
        if (c.target == Target::Managed)
            std::memset(device, 0xEE, size); // an unfinished frame shows
        const uint64_t result = Vidlane_Decode(decoder, stream.bytes.data() + unit.offset, unit.size,
                                               c.target == Target::Host ? out.data() : device, frameWidth, 240);
        ASSERT_EQ(result, size) << Vidlane_GetError(decoder);
        if (c.target == Target::Device) {
            ASSERT_EQ(cudaMemcpy(out.data(), device, size, cudaMemcpyDeviceToHost), cudaSuccess);
        } else if (c.target == Target::Managed) {
            std::memcpy(out.data(), device, size);
        }
        EXPECT_EQ(out, expectedFrame(c.format, stream.frame(i), 320, 240));
    }
    cudaFree(device);
    Vidlane_Destroy(decoder);
}

INSTANTIATE_TEST_SUITE_P(Streams, DecodeGpu,
                         ::testing::Values(Case{"h264_320x240.h264", false, VIDLANE_RGBA32, Target::Host},
                                           Case{"h264_320x240.h264", false, VIDLANE_RGBA32, Target::Device},
                                           Case{"hevc_320x240.hevc", true, VIDLANE_RGBA32, Target::Host},
                                           Case{"hevc_320x240.hevc", true, VIDLANE_RGBA32, Target::Device},
                                           Case{"h264_320x240.h264", false, VIDLANE_UINT8, Target::Host},
                                           Case{"hevc_320x240.hevc", true, VIDLANE_UINT8, Target::Device},
                                           Case{"h264_320x240.h264", false, VIDLANE_UINT16, Target::Device},
                                           Case{"hevc_320x240.hevc", true, VIDLANE_UINT4, Target::Host},
                                           Case{"h264_320x240.h264", false, VIDLANE_RGBA32, Target::Managed},
                                           Case{"hevc_320x240.hevc", true, VIDLANE_UINT8, Target::Managed}));

TEST(DecodeGpuSizes, ASizeChangeMidStreamReopensTheSession)
{
    REQUIRE_CUDA_DEVICE();
    const Stream large("h264_320x240.h264", false, 320, 240);
    const Stream small("h264_160x120.h264", false, 160, 120);
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_UINT8, VIDLANE_H264, 320, 240);
    ASSERT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);
    for (const Stream* s : {&large, &small, &large}) {
        Bytes out(size_t{s->width} * s->height);
        for (size_t i = 0; i < s->units.size(); ++i) {
            const auto& unit = s->units[i];
            ASSERT_EQ(Vidlane_Decode(decoder, s->bytes.data() + unit.offset, unit.size, out.data(), s->width,
                                     s->height),
                      out.size())
                << Vidlane_GetError(decoder);
            EXPECT_EQ(out, expectedFrame(VIDLANE_UINT8, s->frame(i), s->width, s->height));
        }
    }
    // A size that does not match the stream is refused instead of read out of bounds.
    const auto& unit = large.units[0];
    Bytes out(640 * 480);
    EXPECT_EQ(Vidlane_Decode(decoder, large.bytes.data() + unit.offset, unit.size, out.data(), 640, 480), 0u);
    EXPECT_STREQ(Vidlane_GetError(decoder), "Decoded picture is 320 x 240, the call expects 640 x 480");
    Vidlane_Destroy(decoder);
}

// NVDEC has a smallest picture (H.264: 48 x 16 on the GPUs we know). Below
// the GPU's own minimum the call fails with the size and the minimum; a GPU
// that takes the picture must decode it as FFmpeg does. The handle goes on.
TEST(DecodeGpuSizes, APictureBelowTheDecodersMinimumFailsWithItsSizeOrDecodesRight)
{
    REQUIRE_CUDA_DEVICE();
    const Stream tiny("h264_32x16.h264", false, 32, 16);
    const Stream stream("h264_320x240.h264", false, 320, 240);
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_UINT8, VIDLANE_H264, 0, 0);
    ASSERT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);
    Bytes small(32 * 16, 0xEE);
    const auto& first = tiny.units.at(0);
    if (Vidlane_Decode(decoder, tiny.bytes.data() + first.offset, first.size, small.data(), 32, 16) == 0) {
        const std::string text = Vidlane_GetError(decoder);
        EXPECT_EQ(text.rfind("Decode failed (", 0), 0u) << text;
        EXPECT_NE(text.find("\nResolution          : 32x16\nMin Supported (wxh) : "), std::string::npos) << text;
        EXPECT_NE(text.find("\nResolution not supported on this GPU"), std::string::npos) << text;
        EXPECT_EQ(small, Bytes(small.size(), 0xEE));
        std::printf("[ figures  ] 32 x 16 H.264 refused: %s\n", text.c_str());
    } else {
        EXPECT_EQ(small, expectedFrame(VIDLANE_UINT8, tiny.frame(0), 32, 16));
    }
    Bytes out(320 * 240);
    const auto& unit = stream.units[0];
    EXPECT_EQ(Vidlane_Decode(decoder, stream.bytes.data() + unit.offset, unit.size, out.data(), 320, 240),
              out.size())
        << Vidlane_GetError(decoder);
    EXPECT_EQ(out, expectedFrame(VIDLANE_UINT8, stream.frame(0), 320, 240));
    Vidlane_Destroy(decoder);
}

TEST(DecodeGpuFeeding, APacketWithoutAPictureEndsWithTheNoFrameTextAndTheHandleStaysUsable)
{
    REQUIRE_CUDA_DEVICE();
    const Stream stream("h264_320x240.h264", false, 320, 240);
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_UINT8, VIDLANE_H264, 320, 240);
    ASSERT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);
    Bytes out(320 * 240);
    const uint8_t garbage[] = {0x00, 0x00, 0x00, 0x01, 0x09, 0xF0}; // an access unit delimiter alone
    EXPECT_EQ(Vidlane_Decode(decoder, garbage, sizeof garbage, out.data(), 320, 240), 0u);
    EXPECT_STREQ(Vidlane_GetError(decoder),
                 "No frame decoded (Decoder expects encoded bitstream for a single complete frame. Accumulating "
                 "partial data or combining multiple frames is not supported.)");
    const auto& unit = stream.units[0];
    EXPECT_EQ(Vidlane_Decode(decoder, stream.bytes.data() + unit.offset, unit.size, out.data(), 320, 240),
              out.size());
    EXPECT_EQ(out, expectedFrame(VIDLANE_UINT8, stream.frame(0), 320, 240));
    Vidlane_Destroy(decoder);
}

// Streams with B-frames, as encoders make them by default: every access unit
// once, then flushes until nothing is left. The pictures come out in display
// order, as many as FFmpeg decodes, each luma byte for byte FFmpeg's.
class DecodeGpuReordering : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeGpuReordering, EveryPictureOnceInDisplayOrderLikeFfmpeg)
{
    REQUIRE_CUDA_DEVICE();
    const Case c = GetParam();
    const Stream stream(c.stream, c.hevc, 320, 240);
    ASSERT_FALSE(stream.units.empty());
    const size_t frames = stream.reference.size() / stream.nv12Bytes();
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_UINT8, c.hevc ? VIDLANE_HEVC : VIDLANE_H264, 0, 0);
    ASSERT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);

    std::vector<Bytes> decoded;
    Bytes out(320 * 240);
    const auto call = [&](const void* src, uint64_t size) {
        const uint64_t written = Vidlane_Decode(decoder, src, size, out.data(), 320, 240);
        if (written == 0) {
            EXPECT_EQ(std::string(Vidlane_GetError(decoder)).rfind("No frame decoded", 0), 0u)
                << Vidlane_GetError(decoder);
            return false;
        }
        EXPECT_EQ(written, out.size());
        decoded.push_back(out);
        return true;
    };
    for (const vidlane2::ByteRange& unit : stream.units)
        call(stream.bytes.data() + unit.offset, unit.size);
    EXPECT_LT(decoded.size(), frames) << "every picture came before the flush: the stream does not reorder";
    while (decoded.size() <= frames && call(nullptr, 0)) {
    }

    ASSERT_EQ(decoded.size(), frames);
    for (size_t i = 0; i < frames; ++i)
        EXPECT_EQ(decoded[i], expectedFrame(VIDLANE_UINT8, stream.frame(i), 320, 240)) << "picture " << i;
    Vidlane_Destroy(decoder);
}

INSTANTIATE_TEST_SUITE_P(Streams, DecodeGpuReordering,
                         ::testing::Values(Case{"h264_bframes.h264", false, VIDLANE_UINT8, Target::Host},
                                           Case{"h264_bframes_no_pyramid.h264", false, VIDLANE_UINT8, Target::Host},
                                           Case{"hevc_bframes.hevc", true, VIDLANE_UINT8, Target::Host}));

} // namespace
