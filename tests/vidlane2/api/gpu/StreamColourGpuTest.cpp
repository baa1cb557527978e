// AV1, VP9, 10-bit, signalled colour spaces, a 1080p stream coded 1088 lines
// high and a picture of odd width and height decoded on a real GPU, judged
// against FFmpeg's software decode of the same streams (xz-compressed NV12 or
// p010le planes): luma byte-exact for 8-bit streams, RGBA and 10:10:10:2 within
// one code of the CPU rule applied to FFmpeg's planes.
#include "AccessUnits.h"
#include "GpuDevice.h"
#include "KernelReference.h"

#include <Vidlane2.h>

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using vidlane2::ColourSpace;
using vidlane2::YuvMatrix;
using vidlane2::YuvRange;

Bytes readFile(const std::string& name)
{
    std::ifstream in(std::string(VIDLANE2_GPU_STREAMS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << "missing test stream " << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes unxz(const Bytes& packed)
{
    lzma_stream stream = LZMA_STREAM_INIT;
    Bytes out;
    if (lzma_stream_decoder(&stream, UINT64_MAX, 0) != LZMA_OK) return out;
    stream.next_in = packed.data();
    stream.avail_in = packed.size();
    uint8_t chunk[1 << 16];
    lzma_ret ret = LZMA_OK;
    while (ret == LZMA_OK) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        ret = lzma_code(&stream, LZMA_FINISH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    }
    lzma_end(&stream);
    EXPECT_EQ(ret, LZMA_STREAM_END) << "broken reference";
    return out;
}

struct Unit {
    size_t offset, size;
};

// IVF: a 32-byte file header (its own length at byte 6), then frames of a
// 12-byte header (4-byte size, 8-byte timestamp) and the frame.
std::vector<Unit> ivfFrames(const Bytes& file)
{
    std::vector<Unit> frames;
    if (file.size() < 32 || std::memcmp(file.data(), "DKIF", 4) != 0) return frames;
    size_t at = file[6] | file[7] << 8;
    while (at + 12 <= file.size()) {
        const size_t size = file[at] | file[at + 1] << 8 | file[at + 2] << 16 | size_t{file[at + 3]} << 24;
        if (at + 12 + size > file.size()) break;
        frames.push_back({at + 12, size});
        at += 12 + size;
    }
    return frames;
}

struct Fixture {
    const char* name;
    Vidlane_Codec codec;
    int depth;
    ColourSpace space;
    uint32_t width = 128, height = 96;

    uint32_t sampleBytes() const { return depth == 8 ? 1 : 2; }
    // FFmpeg's chroma rows hold whole pairs, and so do the library's frames.
    uint32_t evenWidth() const { return width + (width & 1); }
    uint32_t chromaRows() const { return (height + 1) / 2; }
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

const char* codecName(Vidlane_Codec codec)
{
    switch (codec) {
    case VIDLANE_H264: return "H.264";
    case VIDLANE_HEVC: return "HEVC";
    case VIDLANE_AV1: return "AV1";
    case VIDLANE_VP9: return "VP9";
    }
    return "?";
}

struct Stream {
    Bytes bytes;
    std::vector<Unit> units;
    Bytes planes; // FFmpeg's frames, NV12 or P010, one after another
    size_t frameBytes;

    explicit Stream(const Fixture& f)
        : bytes(readFile(f.name)), planes(unxz(readFile(std::string(f.name) + ".yuv.xz"))),
          frameBytes((size_t{f.width} * f.height + size_t{f.evenWidth()} * f.chromaRows()) * f.sampleBytes())
    {
        if (f.codec == VIDLANE_AV1 || f.codec == VIDLANE_VP9) {
            units = ivfFrames(bytes);
        } else {
            for (const auto& u : vidlane2::splitAccessUnits(bytes.data(), bytes.size(), f.codec == VIDLANE_HEVC))
                units.push_back({u.offset, u.size});
        }
    }
    size_t frames() const { return planes.size() / frameBytes; }
    const uint8_t* frame(size_t i) const { return planes.data() + i * frameBytes; }
};

// FFmpeg's planes with every row at the chroma rows' pitch, as the kernels
// read a frame: the same bytes for an even width.
Bytes atEvenPitch(const Fixture& f, const uint8_t* yuv)
{
    const size_t luma = size_t{f.width} * f.sampleBytes(), pitch = size_t{f.evenWidth()} * f.sampleBytes();
    Bytes frame(pitch * (f.height + f.chromaRows()), 0);
    for (size_t row = 0; row < f.height; ++row)
        std::memcpy(frame.data() + row * pitch, yuv + row * luma, luma);
    std::memcpy(frame.data() + pitch * f.height, yuv + luma * f.height, pitch * f.chromaRows());
    return frame;
}

// The CPU rule on FFmpeg's planes: 8-bit RGBA words or 10:10:10:2 words, every
// pixel written, an odd last column or row included.
std::vector<uint32_t> expectedWords(const Fixture& f, const uint8_t* yuv, bool tenBit)
{
    namespace ref = vidlane2::reference;
    std::vector<uint32_t> words(size_t{f.width} * f.height, 0xEEEEEEEEu);
    auto* out = reinterpret_cast<uint8_t*>(words.data());
    const Bytes frame = atEvenPitch(f, yuv);
    const int pitch = static_cast<int>(f.evenWidth() * f.sampleBytes());
    const int w = static_cast<int>(f.width), h = static_cast<int>(f.height);
    const vidlane2::YuvToRgb conversion =
        vidlane2::yuvToRgb(f.space, f.depth, tenBit ? vidlane2::OutputScale::Ten : vidlane2::OutputScale::Eight);
    if (tenBit)
        ref::stream_yuv_to_abgr10(frame.data(), pitch, f.depth, conversion, out, w * 4, w, h);
    else
        ref::stream_yuv_to_rgba8(frame.data(), pitch, f.depth, conversion, out, w * 4, w, h);
    return words;
}

// Largest channel difference over a frame, alpha included.
unsigned largestDifference(const std::vector<uint32_t>& got, const std::vector<uint32_t>& expected, bool tenBit)
{
    unsigned worst = 0;
    const int bits = tenBit ? 10 : 8;
    const uint32_t mask = (1u << bits) - 1;
    for (size_t i = 0; i < got.size(); ++i)
        for (int c = 0; c < 4; ++c) {
            const int shift = c * bits;
            const uint32_t m = tenBit && c == 3 ? 3u : mask;
            const unsigned a = got[i] >> shift & m, b = expected[i] >> shift & m;
            worst = std::max(worst, a > b ? a - b : b - a);
        }
    return worst;
}

class StreamColourGpu : public ::testing::TestWithParam<Fixture> {
protected:
    // Decodes every unit into host memory; false (and a skip) when the GPU's
    // decoder refuses the codec.
    bool decodeAll(const Fixture& f, const Stream& stream, uint32_t format, std::vector<Bytes>& pictures)
    {
        CodecHandle* decoder = Vidlane_CreateDecoder(format, f.codec, 0, 0);
        EXPECT_NE(decoder, nullptr) << Vidlane_GetError(nullptr);
        if (!decoder) return false;
        const size_t size = size_t{f.width} * f.height * (format == VIDLANE_UINT8 ? 1 : 4);
        for (size_t i = 0; i < stream.units.size(); ++i) {
            Bytes out(size, 0xEE);
            const uint64_t result = Vidlane_Decode(decoder, stream.bytes.data() + stream.units[i].offset,
                                                   stream.units[i].size, out.data(), f.width, f.height);
            if (result == 0 && std::strstr(Vidlane_GetError(decoder), "not supported on this GPU")) {
                const std::string text = Vidlane_GetError(decoder);
                Vidlane_Destroy(decoder);
                unsupported = std::string(codecName(f.codec)) + " at " + std::to_string(f.depth) +
                              " bits is refused by this GPU's decoder: " + text;
                return false;
            }
            EXPECT_EQ(result, size) << "picture " << i << ": " << Vidlane_GetError(decoder);
            pictures.push_back(out);
        }
        Vidlane_Destroy(decoder);
        return true;
    }
    std::string unsupported;
};

TEST_P(StreamColourGpu, EveryPictureMatchesFfmpegsDecode)
{
    REQUIRE_CUDA_DEVICE();
    const Fixture f = GetParam();
    const Stream stream(f);
    ASSERT_FALSE(stream.units.empty());
    ASSERT_GT(stream.frames(), 0u);

    std::vector<Bytes> rgba, abgr, luma;
    if (!decodeAll(f, stream, VIDLANE_RGBA32, rgba)) {
        if (!unsupported.empty()) GTEST_SKIP() << unsupported;
        return;
    }
    ASSERT_TRUE(decodeAll(f, stream, VIDLANE_R16G16B16A16_HDR10, abgr));
    ASSERT_EQ(rgba.size(), stream.frames()) << "one picture a unit";
    ASSERT_EQ(abgr.size(), stream.frames());

    for (size_t i = 0; i < stream.frames(); ++i) {
        SCOPED_TRACE("picture " + std::to_string(i));
        for (const bool tenBit : {false, true}) {
            const Bytes& got = tenBit ? abgr[i] : rgba[i];
            std::vector<uint32_t> words(got.size() / 4);
            std::memcpy(words.data(), got.data(), got.size());
            const unsigned worst = largestDifference(words, expectedWords(f, stream.frame(i), tenBit), tenBit);
            EXPECT_LE(worst, 1u) << (tenBit ? "10:10:10:2" : "RGBA32");
            std::printf("[ figures  ] %s picture %zu %s: largest channel difference %u\n", f.name, i,
                        tenBit ? "10:10:10:2" : "RGBA32", worst);
        }
    }

    if (f.depth == 8) {
        ASSERT_TRUE(decodeAll(f, stream, VIDLANE_UINT8, luma));
        for (size_t i = 0; i < stream.frames(); ++i)
            EXPECT_TRUE(std::memcmp(luma[i].data(), stream.frame(i), luma[i].size()) == 0)
                << "luma of picture " << i << " differs from FFmpeg's";
    } else {
        // The scalar formats take 8-bit streams only.
        CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_UINT8, f.codec, 0, 0);
        ASSERT_NE(decoder, nullptr);
        Bytes out(size_t{f.width} * f.height);
        EXPECT_EQ(Vidlane_Decode(decoder, stream.bytes.data() + stream.units[0].offset, stream.units[0].size,
                                 out.data(), f.width, f.height),
                  0u);
        EXPECT_STREQ(Vidlane_GetError(decoder), "Decoded picture is 10-bit: the scalar formats (UINT4, UINT8, "
                                                "UINT16, UINT32) take 8-bit streams only");
        Vidlane_Destroy(decoder);
    }
}

constexpr ColourSpace kBt709Limited{YuvMatrix::Bt709, YuvRange::Limited};

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamColourGpu,
    ::testing::Values(Fixture{"av1_8bit.ivf", VIDLANE_AV1, 8, kBt709Limited},
                      Fixture{"av1_10bit.ivf", VIDLANE_AV1, 10, kBt709Limited},
                      Fixture{"av1_film_grain.ivf", VIDLANE_AV1, 8, kBt709Limited},
                      Fixture{"vp9_profile0_bt601_full.ivf", VIDLANE_VP9, 8, {YuvMatrix::Bt601, YuvRange::Full}},
                      Fixture{"vp9_profile2.ivf", VIDLANE_VP9, 10, kBt709Limited},
                      Fixture{"hevc_main10.hevc", VIDLANE_HEVC, 10, kBt709Limited},
                      Fixture{"h264_bt601_full.h264", VIDLANE_H264, 8, {YuvMatrix::Bt601, YuvRange::Full}},
                      Fixture{"h264_bt2020.h264", VIDLANE_H264, 8, {YuvMatrix::Bt2020Ncl, YuvRange::Limited}},
                      Fixture{"h264_1080p.h264", VIDLANE_H264, 8, kBt709Limited, 1920, 1080},
                      Fixture{"vp9_odd.ivf", VIDLANE_VP9, 8, kBt709Limited, 193, 145}),
    [](const ::testing::TestParamInfo<Fixture>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (c == '.') c = '_';
        return name;
    });

} // namespace
