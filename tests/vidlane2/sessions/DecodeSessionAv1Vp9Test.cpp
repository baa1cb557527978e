// AV1 and VP9 sequences through the fake parser: surface counts, bit depths,
// the AV1 operating point and film grain, and the colour fields the decoder
// object reads.
#include "DecodeSessionFixture.h"

namespace {

using vidlane2::DecodeSession;
using namespace fake_nvdec;

TEST_F(DecodeSessionTest, Av1AndVp9TakeTheSurfaceCountTheParserAsksFor)
{
    const struct {
        cudaVideoCodec codec;
        int minSurfaces;
        int surfaces;
    } cases[] = {
        {cudaVideoCodec_AV1, 9, 9},   {cudaVideoCodec_VP9, 10, 10}, {cudaVideoCodec_AV1, 17, 17},
        {cudaVideoCodec_AV1, 0, 20},  {cudaVideoCodec_VP9, 0, 20},  // a parser that names none
        {cudaVideoCodec_H264, 3, 20}, {cudaVideoCodec_HEVC, 30, 20}, // the table, not the parser
    };
    for (const auto& c : cases) {
        Reset();
        Open(c.codec);
        SeqSignal signal;
        signal.minSurfaces = c.minSurfaces;
        Feed(Seq(c.codec, 640, 360, 0, signal));
        EXPECT_EQ(SequenceResults(), std::vector<int>{c.surfaces}) << c.codec << " asking " << c.minSurfaces;
        ASSERT_EQ(CreatedDecoders().size(), 1u);
        EXPECT_EQ(CreatedDecoders()[0].ulNumDecodeSurfaces, static_cast<unsigned long>(c.surfaces));
        EXPECT_EQ(CreatedDecoders()[0].CodecType, c.codec);
        session.reset();
    }

    // A smaller picture later in the stream reconfigures with the parser's new count.
    Reset();
    Open(cudaVideoCodec_VP9);
    SeqSignal first, second;
    first.minSurfaces = 10;
    second.minSurfaces = 12;
    Feed(Seq(cudaVideoCodec_VP9, 1280, 720, 0, first) + Frame(0));
    Feed(Seq(cudaVideoCodec_VP9, 640, 360, 0, second) + Frame(5));
    ASSERT_EQ(Reconfigurations().size(), 1u);
    EXPECT_EQ(Reconfigurations()[0].ulNumDecodeSurfaces, 12u);
    EXPECT_EQ(SequenceResults(), (std::vector<int>{10, 12}));
}

TEST_F(DecodeSessionTest, TenBitAv1AndVp9GiveP016AndKeepTheirBitDepth)
{
    for (const cudaVideoCodec codec : {cudaVideoCodec_AV1, cudaVideoCodec_VP9}) {
        Reset();
        Open(codec);
        SeqSignal signal;
        signal.minSurfaces = 9;
        const Result result = Feed(Seq(codec, 64, 32, 2, signal) + Frame(0));
        ASSERT_EQ(CreatedDecoders().size(), 1u);
        EXPECT_EQ(CreatedDecoders()[0].OutputFormat, cudaVideoSurfaceFormat_P016);
        EXPECT_EQ(CreatedDecoders()[0].bitDepthMinus8, 2u);
        EXPECT_EQ(session->GetBitDepth(), 10);
        EXPECT_EQ(session->GetBytesPerSample(), 2);
        EXPECT_EQ(session->FramePitch(), 128u);
        EXPECT_EQ(result.count, 1);
        ExpectNvdecError([&] { Feed(Seq(codec, 64, 32, 0, signal)); }, "DecodeSession::ReconfigureDecoder",
                         "Reconfigure Not supported for bit depth change", 801);
        ExpectNvdecError([&] { Feed(Seq(codec, 64, 32, 4, signal)); }, "DecodeSession::ReconfigureDecoder",
                         "Reconfigure Not supported for bit depth change", 801);
        EXPECT_EQ(session->GetBitDepth(), 10) << "a refused sequence changes nothing";
        session.reset();
    }
}

TEST_F(DecodeSessionTest, Av1DecodesOperatingPointZeroWithoutAllLayers)
{
    Open(cudaVideoCodec_AV1);
    ASSERT_NE(ParserParams().at(0).pfnGetOperatingPoint, nullptr);
    Feed(OperatingPoint(1) + OperatingPoint(3) + OperatingPoint(32));
    // Bits 0-9 are the operating point, bit 10 asks for all layers.
    EXPECT_EQ(OperatingPointResults(), (std::vector<int>{0, 0, 0}));
}

TEST_F(DecodeSessionTest, FilmGrainReachesTheDecoderAsTheStreamSignalsIt)
{
    Open(cudaVideoCodec_AV1);
    SeqSignal signal;
    signal.minSurfaces = 9;
    Feed(Seq(cudaVideoCodec_AV1, 64, 32, 0, signal) + Av1Pic(0, 1) + Out(0));
    Feed(Av1Pic(1, 0) + Out(1));
    ASSERT_EQ(DecodedPictureParams().size(), 2u);
    EXPECT_EQ(DecodedPictureParams()[0].CodecSpecific.av1.apply_grain, 1u);
    EXPECT_EQ(DecodedPictureParams()[1].CodecSpecific.av1.apply_grain, 0u);
}

TEST_F(DecodeSessionTest, ColourFieldsFollowTheNewestSequenceAndVp9Picture)
{
    Open(cudaVideoCodec_VP9);
    SeqSignal signal;
    signal.minSurfaces = 9;
    Feed(Seq(cudaVideoCodec_VP9, 64, 32, 0, signal));
    EXPECT_EQ(session->GetVp9ColourSpace(), -1) << "no picture yet";
    Feed(Vp9Pic(0, 0) + Out(0));
    EXPECT_EQ(session->GetVp9ColourSpace(), 0);
    Feed(Vp9Pic(1, 1) + Out(1));
    EXPECT_EQ(session->GetVp9ColourSpace(), 1);
    Feed(Vp9Pic(2, 5) + Out(2));
    EXPECT_EQ(session->GetVp9ColourSpace(), 5);

    signal.fullRange = 1;
    signal.matrix = 6;
    signal.primaries = 6;
    signal.transfer = 6;
    Feed(Seq(cudaVideoCodec_VP9, 64, 32, 0, signal));
    const auto& description = session->GetVideoFormat().video_signal_description;
    EXPECT_EQ(description.video_full_range_flag, 1u);
    EXPECT_EQ(description.matrix_coefficients, 6u);
    EXPECT_EQ(Reconfigurations().size(), 0u) << "same size: no driver call";
    session.reset();

    // H.264 pictures never touch the VP9 field.
    Reset();
    Open(cudaVideoCodec_H264);
    Feed(Seq1080p() + Vp9Pic(0, 2) + Out(0));
    EXPECT_EQ(session->GetVp9ColourSpace(), -1);
}

} // namespace
