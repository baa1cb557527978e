#include "ObjectFixture.h"

#include "ColourKernels.h"
#include "ColourMatrices.h"
#include "KernelReference.h"
#include "StreamColourKernels.h"
#include "Yuv420Pattern.h"
#include "codec/FrameLayout.h"

namespace {

using vidlane2::effectiveWidth;
using vidlane2::frameSize;
namespace reference = vidlane2::reference;

constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;

// A sequence of exactly the session size (no cropping), then the records.
std::string Packet(uint32_t sessionWidth, uint32_t height, const std::string& records)
{
    return fake_nvdec::Seq(cudaVideoCodec_H264, sessionWidth, height, 0, 0, static_cast<int>(sessionWidth),
                           static_cast<int>(height)) +
           records;
}

// The NV12 frame the fake decoder's decodeNumber-th picture holds, packed.
Bytes DecodedNv12(int decodeNumber, uint32_t width, uint32_t height)
{
    Bytes nv12(std::size_t{width} * (height + height / 2));
    for (uint32_t r = 0; r < height + height / 2; ++r)
        for (uint32_t c = 0; c < width; ++c)
            nv12[std::size_t{r} * width + c] = fake_nvdec::PictureByte(decodeNumber, r, c);
    return nv12;
}

// What the handle's format makes of that frame, by the CPU rules.
Bytes Expected(uint32_t format, int decodeNumber, uint32_t width, uint32_t height)
{
    const uint32_t sessionWidth = effectiveWidth(format, width);
    const Bytes nv12 = DecodedNv12(decodeNumber, sessionWidth, height);
    Bytes out(frameSize(format, width, height), 0);
    const uint32_t rowBytes = frameSize(format, width, 1);
    switch (format) {
    case VIDLANE_UINT4: reference::nv12_to_uint4(nv12.data(), sessionWidth, out.data(), rowBytes, width, height); break;
    case VIDLANE_UINT8: reference::nv12_to_uint8(nv12.data(), sessionWidth, out.data(), rowBytes, width, height); break;
    case VIDLANE_UINT16: reference::nv12_to_uint16(nv12.data(), sessionWidth, out.data(), rowBytes, width, height); break;
    case VIDLANE_UINT32: reference::nv12_to_uint32(nv12.data(), sessionWidth, out.data(), rowBytes, width, height); break;
    default:
        reference::yuv_to_rgba(nv12.data(), static_cast<int>(sessionWidth), out.data(), static_cast<int>(rowBytes),
                               static_cast<int>(width), static_cast<int>(height));
    }
    return out;
}

uint64_t Decode(CodecHandle* decoder, const std::string& packet, void* dst, uint32_t width, uint32_t height)
{
    return Vidlane_Decode(decoder, packet.data(), packet.size(), dst, width, height);
}

class DecoderObject : public ObjectTest {};

TEST_F(DecoderObject, EveryFormatIntoHostAndDeviceMemoryFollowsTheCpuRules)
{
    const Vidlane_Format formats[] = {VIDLANE_RGBA32, VIDLANE_UINT4, VIDLANE_UINT8, VIDLANE_UINT16, VIDLANE_UINT32,
                                      VIDLANE_R16G16B16A16};
    for (const Vidlane_Format format : formats) {
        for (const bool onDevice : {false, true}) {
            SCOPED_TRACE(testing::Message() << "format " << format << (onDevice ? " device" : " host"));
            ResetFakes();
            CodecHandle* decoder = Decoder(format);
            ASSERT_NE(decoder, nullptr);
            const std::string packet = Packet(effectiveWidth(format, kWidth), kHeight, fake_nvdec::Frame(0));
            const uint64_t size = frameSize(format, kWidth, kHeight);
            Bytes out(size, 0xEE);
            if (onDevice) {
                DeviceBuffer device(size);
                ASSERT_EQ(Decode(decoder, packet, device.get(), kWidth, kHeight), size) << Vidlane_GetError(decoder);
                out = device.bytes();
            } else {
                ASSERT_EQ(Decode(decoder, packet, out.data(), kWidth, kHeight), size) << Vidlane_GetError(decoder);
            }
            EXPECT_EQ(out, Expected(format, 0, kWidth, kHeight));
            DestroyAll();
        }
    }
}

// On a GPU a launch returns before its kernel has run. A caller reads managed
// memory on the host as soon as the call returns, so the frame must be
// complete by then; plain device memory stays asynchronous.
TEST_F(DecoderObject, AManagedDestinationHoldsTheWholeFrameWhenTheCallReturns)
{
    for (const Vidlane_Format format : {VIDLANE_RGBA32, VIDLANE_UINT8, VIDLANE_UINT32}) {
        SCOPED_TRACE(testing::Message() << "format " << format);
        ResetFakes();
        fake_cuda_runtime::DeferKernels(true);
        CodecHandle* decoder = Decoder(format);
        ASSERT_NE(decoder, nullptr);
        const std::string packet = Packet(effectiveWidth(format, kWidth), kHeight, fake_nvdec::Frame(0));
        const uint64_t size = frameSize(format, kWidth, kHeight);
        void* managed = nullptr;
        ASSERT_EQ(cudaMallocManaged(&managed, size, cudaMemAttachGlobal), cudaSuccess);
        std::memset(managed, 0xEE, size);
        ASSERT_EQ(Decode(decoder, packet, managed, kWidth, kHeight), size) << Vidlane_GetError(decoder);
        const auto* bytes = static_cast<const uint8_t*>(managed);
        EXPECT_EQ(Bytes(bytes, bytes + size), Expected(format, 0, kWidth, kHeight));

        DeviceBuffer device(size);
        ASSERT_EQ(Decode(decoder, Packet(effectiveWidth(format, kWidth), kHeight, fake_nvdec::Frame(1)), device.get(),
                         kWidth, kHeight),
                  size);
        EXPECT_EQ(fake_cuda_runtime::PendingKernels(), 1u) << "a device destination is not waited for";

        // A failed wait is the call's failure.
        fake_cuda_runtime::FailCall("cudaStreamSynchronize", cudaErrorIllegalAddress);
        const std::string third = Packet(effectiveWidth(format, kWidth), kHeight, fake_nvdec::Frame(2));
        EXPECT_EQ(Decode(decoder, third, managed, kWidth, kHeight), 0u);
        EXPECT_STREQ(Vidlane_GetError(decoder), "Failed to finish the frame in managed memory (Error 700: an illegal "
                                                "memory access was encountered)");
        fake_cuda_runtime::ClearFailures();
        cudaFree(managed);
        DestroyAll();
    }
}

TEST_F(DecoderObject, APacketIsFedUpToThreeTimesAndTheNewestFrameIsReturned)
{
    CodecHandle* decoder = Decoder(VIDLANE_UINT8);
    Bytes out(kWidth * kHeight);

    // Two frames out of one packet: the newer one is the result.
    ASSERT_EQ(Decode(decoder, Packet(kWidth, kHeight, fake_nvdec::Frame(0) + fake_nvdec::Frame(1)), out.data(), kWidth,
                     kHeight),
              out.size());
    EXPECT_EQ(out, Expected(VIDLANE_UINT8, 1, kWidth, kHeight));
    EXPECT_EQ(fake_nvdec::Packets().size(), 1u);

    // A picture that is never displayed: three feedings, then the text.
    EXPECT_EQ(Decode(decoder, fake_nvdec::Pic(2), out.data(), kWidth, kHeight), 0u);
    EXPECT_STREQ(Vidlane_GetError(decoder),
                 "No frame decoded (Decoder expects encoded bitstream for a single complete frame. "
                 "Accumulating partial data or combining multiple frames is not supported.)");
    EXPECT_EQ(fake_nvdec::Packets().size(), 4u);

    // Every feeding carries the next picture count as its timestamp.
    ASSERT_EQ(Decode(decoder, fake_nvdec::Frame(3), out.data(), kWidth, kHeight), out.size());
    const auto& packets = fake_nvdec::Packets();
    ASSERT_EQ(packets.size(), 5u);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].timestamp, static_cast<CUvideotimestamp>(i));
        EXPECT_EQ(packets[i].flags & CUVID_PKT_ENDOFPICTURE, CUVID_PKT_ENDOFPICTURE);
    }
}

TEST_F(DecoderObject, ASizeChangeMidStreamOpensANewSession)
{
    CodecHandle* decoder = Decoder(VIDLANE_UINT8);
    Bytes small(kWidth * kHeight);
    ASSERT_EQ(Decode(decoder, Packet(kWidth, kHeight, fake_nvdec::Frame(0)), small.data(), kWidth, kHeight),
              small.size());
    Bytes large(4 * kWidth * kHeight);
    ASSERT_EQ(Decode(decoder, Packet(2 * kWidth, 2 * kHeight, fake_nvdec::Frame(0)), large.data(), 2 * kWidth,
                     2 * kHeight),
              large.size())
        << Vidlane_GetError(decoder);
    EXPECT_EQ(large, Expected(VIDLANE_UINT8, 1, 2 * kWidth, 2 * kHeight));
    EXPECT_EQ(fake_nvdec::CountCalls("cuvidCreateVideoParser"), 2u);
    EXPECT_EQ(fake_nvdec::LiveParsers(), 1u);
}

TEST_F(DecoderObject, EachInjectedFailureLeavesTheNextCallWorking)
{
    const char* entries[] = {"cudaMalloc", "cudaDeviceSynchronize", "cudaMemcpy"};
    for (const char* entry : entries) {
        SCOPED_TRACE(entry);
        ResetFakes();
        CodecHandle* decoder = Decoder(VIDLANE_UINT8);
        Bytes out(kWidth * kHeight);
        fake_cuda_runtime::FailCall(entry, cudaErrorMemoryAllocation);
        EXPECT_EQ(Decode(decoder, Packet(kWidth, kHeight, fake_nvdec::Frame(0)), out.data(), kWidth, kHeight), 0u);
        fake_cuda_runtime::ClearFailures();
        const int next = static_cast<int>(fake_nvdec::DecodedPictures().size());
        ASSERT_EQ(Decode(decoder, Packet(kWidth, kHeight, fake_nvdec::Frame(0)), out.data(), kWidth, kHeight),
                  out.size())
            << Vidlane_GetError(decoder);
        EXPECT_EQ(out, Expected(VIDLANE_UINT8, next, kWidth, kHeight));
        DestroyAll();
    }
    // A parser that could not be made leaves no size behind.
    ResetFakes();
    CodecHandle* decoder = Decoder(VIDLANE_UINT8);
    Bytes out(kWidth * kHeight);
    fake_nvdec::FailCall("cuvidCreateVideoParser", 999);
    EXPECT_EQ(Decode(decoder, Packet(kWidth, kHeight, fake_nvdec::Frame(0)), out.data(), kWidth, kHeight), 0u);
    fake_nvdec::ClearFailures();
    EXPECT_EQ(Decode(decoder, Packet(kWidth, kHeight, fake_nvdec::Frame(0)), out.data(), kWidth, kHeight),
              out.size())
        << Vidlane_GetError(decoder);
}

TEST_F(DecoderObject, TheColourMatrixIsUploadedOnceForManyFrames)
{
    CodecHandle* decoder = Decoder(VIDLANE_RGBA32);
    Bytes out(kWidth * kHeight * 4);
    for (int frame = 0; frame < 5; ++frame) {
        ASSERT_EQ(Decode(decoder, Packet(kWidth, kHeight, fake_nvdec::Frame(0)), out.data(), kWidth, kHeight),
                  out.size());
        EXPECT_EQ(out, Expected(VIDLANE_RGBA32, frame, kWidth, kHeight));
    }
    // At most the first conversion of the process uploads; an earlier test may have.
    EXPECT_LE(cpu_kernels::MatrixUploads().size(), 1u);
    EXPECT_EQ(std::count(cpu_kernels::Launches().begin(), cpu_kernels::Launches().end(), "yuv_to_rgba"), 5);
}

TEST_F(DecoderObject, StreamsDecodeWithTheirOwnDepthMatrixAndRange)
{
    using vidlane2::ColourSpace;
    using vidlane2::OutputScale;
    using vidlane2::YuvMatrix;
    using vidlane2::YuvRange;
    struct Case {
        const char* name;
        Vidlane_Codec codec;
        int depthMinus8;
        fake_nvdec::SeqSignal signal;
        Vidlane_Format format;
        ColourSpace space;
    };
    const Case cases[] = {
        {"HEVC Main10 BT.709 into 10:10:10:2", VIDLANE_HEVC, 2, {0, 0, 1, 1, 1}, VIDLANE_R16G16B16A16_HDR10,
         {YuvMatrix::Bt709, YuvRange::Limited}},
        {"HEVC Main10 BT.2020 full range into RGBA", VIDLANE_HEVC, 2, {0, 1, 9, 9, 16}, VIDLANE_RGBA32,
         {YuvMatrix::Bt2020Ncl, YuvRange::Full}},
        {"H.264 BT.601 full range into RGBA", VIDLANE_H264, 0, {0, 1, 6, 6, 6}, VIDLANE_RGBA32,
         {YuvMatrix::Bt601, YuvRange::Full}},
        {"H.264 without a description into 10:10:10:2", VIDLANE_H264, 0, {}, VIDLANE_R16G16B16A16_HDR10,
         {YuvMatrix::Bt709, YuvRange::Limited}},
        {"AV1 10-bit BT.601 limited into format 5", VIDLANE_AV1, 2, {0, 0, 5, 5, 6}, VIDLANE_R16G16B16A16,
         {YuvMatrix::Bt601, YuvRange::Limited}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetFakes();
        CodecHandle* decoder = Decoder(c.format, c.codec);
        ASSERT_NE(decoder, nullptr);
        const cudaVideoCodec nvdec = c.codec == VIDLANE_HEVC  ? cudaVideoCodec_HEVC
                                     : c.codec == VIDLANE_AV1 ? cudaVideoCodec_AV1
                                                              : cudaVideoCodec_H264;
        const std::string packet =
            fake_nvdec::Seq(nvdec, kWidth, kHeight, c.depthMinus8, c.signal) + fake_nvdec::Frame(0);
        // Every RGB output is four bytes a pixel, packed 10:10:10:2 words included.
        const uint64_t size = uint64_t{kWidth} * kHeight * 4;
        Bytes out(size + 16, 0xEE);
        ASSERT_EQ(Decode(decoder, packet, out.data(), kWidth, kHeight), size) << Vidlane_GetError(decoder);
        EXPECT_EQ(Bytes(out.begin() + size, out.end()), Bytes(16, 0xEE)) << "written past the frame";

        const int depth = 8 + c.depthMinus8;
        const uint32_t sampleBytes = depth == 8 ? 1 : 2;
        const Bytes yuv = DecodedNv12(0, kWidth * sampleBytes, kHeight);
        Bytes expected(size, 0);
        const int yuvPitch = static_cast<int>(kWidth * sampleBytes), rgbPitch = static_cast<int>(kWidth * 4);
        if (c.format == VIDLANE_R16G16B16A16_HDR10)
            reference::stream_yuv_to_abgr10(yuv.data(), yuvPitch, depth,
                                            vidlane2::yuvToRgb(c.space, depth, OutputScale::Ten), expected.data(),
                                            rgbPitch, kWidth, kHeight);
        else
            reference::stream_yuv_to_rgba8(yuv.data(), yuvPitch, depth,
                                           vidlane2::yuvToRgb(c.space, depth, OutputScale::Eight), expected.data(),
                                           rgbPitch, kWidth, kHeight);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + size), expected);
        DestroyAll();
    }
}

// AV1 and VP9 pictures may have odd sides. The session's frame then has an
// even pitch, which keeps the last column's chroma pair, and a chroma row for
// the last luma row; the conversions read it as such.
TEST_F(DecoderObject, OddSizedAv1AndVp9PicturesDecodeFromAnEvenPitch)
{
    constexpr uint32_t width = kWidth - 1, height = kHeight - 1, pitch = kWidth;
    // 7 luma rows and 4 chroma rows, 16 bytes apart; the chroma plane starts at coded row 8.
    Bytes nv12(std::size_t{pitch} * (height + (height + 1) / 2));
    for (uint32_t r = 0; r < height + (height + 1) / 2; ++r)
        for (uint32_t c = 0; c < pitch; ++c)
            nv12[std::size_t{r} * pitch + c] = fake_nvdec::PictureByte(0, r < height ? r : kHeight + r - height, c);
    // Filled unlike the decode's destination and staging buffer, so that a pixel
    // left unwritten shows.
    Bytes rgba(frameSize(VIDLANE_RGBA32, width, height), 0xA5);
    reference::yuv_to_rgba(nv12.data(), static_cast<int>(pitch), rgba.data(), static_cast<int>(width * 4),
                           static_cast<int>(width), static_cast<int>(height));
    Bytes abgr(rgba.size(), 0xA5);
    reference::stream_yuv_to_abgr10(nv12.data(), static_cast<int>(pitch), 8,
                                    vidlane2::yuvToRgb(vidlane2::kBt709Limited, 8, vidlane2::OutputScale::Ten),
                                    abgr.data(), static_cast<int>(width * 4), static_cast<int>(width),
                                    static_cast<int>(height));
    Bytes luma(frameSize(VIDLANE_UINT8, width, height), 0);
    reference::nv12_to_uint8(nv12.data(), pitch, luma.data(), width, width, height);

    const struct {
        Vidlane_Codec codec;
        cudaVideoCodec nvdec;
        Vidlane_Format format;
        const Bytes& expected;
    } cases[] = {{VIDLANE_AV1, cudaVideoCodec_AV1, VIDLANE_RGBA32, rgba},
                 {VIDLANE_VP9, cudaVideoCodec_VP9, VIDLANE_RGBA32, rgba},
                 {VIDLANE_AV1, cudaVideoCodec_AV1, VIDLANE_R16G16B16A16_HDR10, abgr},
                 {VIDLANE_AV1, cudaVideoCodec_AV1, VIDLANE_UINT8, luma}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "codec " << c.codec << " format " << c.format);
        ResetFakes();
        CodecHandle* decoder = Decoder(c.format, c.codec);
        ASSERT_NE(decoder, nullptr);
        const std::string packet =
            fake_nvdec::Seq(c.nvdec, kWidth, kHeight, 0, 0, static_cast<int>(width), static_cast<int>(height)) +
            fake_nvdec::Frame(0);
        Bytes out(c.expected.size(), 0xEE);
        ASSERT_EQ(Decode(decoder, packet, out.data(), width, height), out.size()) << Vidlane_GetError(decoder);
        EXPECT_EQ(out, c.expected);
        DestroyAll();
    }
}

// The launchers the decoder converts with, on odd and even sizes: every pixel
// takes its own luma and its block's chroma pair, even in a block an odd last
// column or row cuts, and the destination's row padding keeps its fill.
TEST_F(DecoderObject, TheColourLaunchersWriteEveryPixelOfOddAndEvenFrames)
{
    namespace test = vidlane2::test;
    using vidlane2::YuvToRgb;
    ASSERT_EQ(vidlane2::LoadYuvToRgbMatrix(), cudaSuccess);
    const vidlane2::YuvToRgbMatrix original = vidlane2::computeYuvToRgbMatrix();
    enum class Launcher { Nv12ToRgba, Rgba8, Abgr10 };
    const struct {
        Launcher launcher;
        int depth;
    } launchers[] = {{Launcher::Nv12ToRgba, 8}, {Launcher::Rgba8, 8},  {Launcher::Rgba8, 10},
                     {Launcher::Abgr10, 8},     {Launcher::Abgr10, 10}};
    const vidlane2::ColourSpace space{vidlane2::YuvMatrix::Bt2020Ncl, vidlane2::YuvRange::Limited};
    for (const test::FrameSize k : test::kOddAndEvenSizes)
        for (const auto& l : launchers) {
            SCOPED_TRACE(testing::Message() << k.w << "x" << k.h << " launcher " << static_cast<int>(l.launcher)
                                            << " " << l.depth << "-bit");
            const bool ten = l.launcher == Launcher::Abgr10;
            const test::Yuv420Pattern frame(k.w, k.h, l.depth);
            const YuvToRgb conversion =
                vidlane2::yuvToRgb(space, l.depth, ten ? vidlane2::OutputScale::Ten : vidlane2::OutputScale::Eight);
            const int outPitch = 4 * k.w + 8;
            const DeviceBuffer yuv(frame.bytes);
            const DeviceBuffer rgb(Bytes(static_cast<std::size_t>(outPitch) * k.h, 0xEE));
            const cudaError_t status =
                l.launcher == Launcher::Nv12ToRgba
                    ? vidlane2::ConvertNv12ToRgba(yuv.get(), frame.pitch, rgb.get(), outPitch, k.w, k.h)
                : ten ? vidlane2::ConvertYuvToAbgr10(yuv.get(), frame.pitch, l.depth, conversion, rgb.get(), outPitch,
                                                     k.w, k.h)
                      : vidlane2::ConvertYuvToRgba8(yuv.get(), frame.pitch, l.depth, conversion, rgb.get(), outPitch,
                                                    k.w, k.h);
            ASSERT_EQ(status, cudaSuccess);
            const Bytes out = rgb.bytes();
            for (int r = 0; r < k.h; ++r) {
                for (int c = 0; c < k.w; ++c) {
                    const int y = frame.luma(r, c), u = frame.u(r, c), v = frame.v(r, c);
                    const uint32_t expected = l.launcher == Launcher::Nv12ToRgba
                                                  ? vidlane2::rule::rgbaWord(original.m, y, u, v)
                                                  : test::streamPixelWord(conversion, l.depth, ten, y, u, v);
                    EXPECT_EQ(test::pixelAt(out, outPitch, r, c), expected) << "row " << r << " column " << c;
                }
                for (int b = 4 * k.w; b < outPitch; ++b) EXPECT_EQ(out[r * outPitch + b], 0xEE) << "row " << r;
            }
        }
}

TEST_F(DecoderObject, TheScalarFormatsRefuseATenBitStreamAndStayUsable)
{
    CodecHandle* decoder = Decoder(VIDLANE_UINT8, VIDLANE_HEVC);
    Bytes out(kWidth * kHeight, 0xEE);
    const std::string tenBit = fake_nvdec::Seq(cudaVideoCodec_HEVC, kWidth, kHeight, 2, {}) + fake_nvdec::Frame(0);
    EXPECT_EQ(Decode(decoder, tenBit, out.data(), kWidth, kHeight), 0u);
    EXPECT_NE(std::string(Vidlane_GetError(decoder))
                  .find("Decoded picture is 10-bit: the scalar formats (UINT4, UINT8, UINT16, UINT32) take 8-bit "
                        "streams only"),
              std::string::npos)
        << Vidlane_GetError(decoder);
    EXPECT_EQ(out, Bytes(out.size(), 0xEE));
}

} // namespace

