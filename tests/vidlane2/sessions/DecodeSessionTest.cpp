#include "DecodeSessionFixture.h"

#include <cstring>

namespace {

using vidlane2::DecodeSession;
using namespace fake_nvdec;

TEST_F(DecodeSessionTest, CreatesLockAndParserWithoutDisplayDelay)
{
    Open(cudaVideoCodec_HEVC);
    ASSERT_EQ(ParserParams().size(), 1u);
    const CUVIDPARSERPARAMS& params = ParserParams()[0];
    EXPECT_EQ(params.CodecType, cudaVideoCodec_HEVC);
    EXPECT_EQ(params.ulMaxNumDecodeSurfaces, 1u);
    EXPECT_EQ(params.ulMaxDisplayDelay, 0u);
    EXPECT_EQ(params.pUserData, session.get());
    EXPECT_NE(params.pfnSequenceCallback, nullptr);
    EXPECT_NE(params.pfnDecodePicture, nullptr);
    EXPECT_NE(params.pfnDisplayPicture, nullptr);
    EXPECT_EQ(LiveLocks(), 1u);
    EXPECT_EQ(LiveParsers(), 1u);
}

TEST_F(DecodeSessionTest, SurfaceCountsFollowTheHevcPictureSize)
{
    const struct {
        cudaVideoCodec codec;
        unsigned width, height;
        int surfaces;
    } cases[] = {
        {cudaVideoCodec_H264, 7680, 4320, 20},   {cudaVideoCodec_HEVC, 1920, 1080, 20},
        {cudaVideoCodec_HEVC, 3840, 2160, 20},   {cudaVideoCodec_HEVC, 4096, 2176, 20}, // 8,912,896
        {cudaVideoCodec_HEVC, 4096, 2184, 16},   {cudaVideoCodec_HEVC, 4096, 4352, 16}, // 17,825,792
        {cudaVideoCodec_HEVC, 4096, 4360, 12},   {cudaVideoCodec_HEVC, 6144, 4352, 12}, // 26,738,688
        {cudaVideoCodec_HEVC, 7680, 4320, 10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeSession::CountDecodeSurfaces(c.codec, c.width, c.height), c.surfaces)
            << c.width << "x" << c.height;

    Open(cudaVideoCodec_HEVC);
    Feed(Seq(cudaVideoCodec_HEVC, 4096, 4352, 0, 0, 4096, 4352));
    EXPECT_EQ(SequenceResults(), std::vector<int>{16});
    EXPECT_EQ(CreatedDecoders().at(0).ulNumDecodeSurfaces, 16u);
}

TEST_F(DecodeSessionTest, DisplayAreaOf1080LinesOnA1088LineSurface)
{
    Open();
    const Result result = Feed(Seq1080p() + Frame(0), 77);
    ASSERT_EQ(result.count, 1);

    const CUVIDDECODECAPS& caps = CapsQueries().at(0);
    EXPECT_EQ(caps.eCodecType, cudaVideoCodec_H264);
    EXPECT_EQ(caps.eChromaFormat, cudaVideoChromaFormat_420);
    EXPECT_EQ(caps.nBitDepthMinus8, 0u);

    const CUVIDDECODECREATEINFO& info = CreatedDecoders().at(0);
    EXPECT_EQ(info.ulWidth, 1920u);
    EXPECT_EQ(info.ulHeight, 1088u);
    EXPECT_EQ(info.ulNumDecodeSurfaces, 20u);
    EXPECT_EQ(info.CodecType, cudaVideoCodec_H264);
    EXPECT_EQ(info.ChromaFormat, cudaVideoChromaFormat_420);
    EXPECT_EQ(info.ulCreationFlags, static_cast<tcu_ulong>(cudaVideoCreate_PreferCUVID));
    EXPECT_EQ(info.bitDepthMinus8, 0u);
    EXPECT_EQ(info.ulIntraDecodeOnly, 0u);
    EXPECT_EQ(info.ulMaxWidth, 1920u);
    EXPECT_EQ(info.ulMaxHeight, 1088u);
    EXPECT_EQ(info.display_area.left, 0);
    EXPECT_EQ(info.display_area.top, 0);
    EXPECT_EQ(info.display_area.right, 1920);
    EXPECT_EQ(info.display_area.bottom, 1080);
    EXPECT_EQ(info.OutputFormat, cudaVideoSurfaceFormat_NV12);
    EXPECT_EQ(info.DeinterlaceMode, cudaVideoDeinterlaceMode_Weave);
    EXPECT_EQ(info.ulTargetWidth, 1920u);
    EXPECT_EQ(info.ulTargetHeight, 1080u);
    EXPECT_EQ(info.ulNumOutputSurfaces, 2u);
    EXPECT_NE(info.vidLock, nullptr);

    EXPECT_EQ(session->GetWidth(), 1920u);
    EXPECT_EQ(session->GetLumaRows(), 1080u);
    EXPECT_EQ(session->GetChromaRows(), 540u);
    EXPECT_EQ(session->GetChromaPlanes(), 1u);
    EXPECT_EQ(session->FramePitch(), 1920u);

    // A tightly packed NV12 frame: 1080 luma rows from the picture's top, then
    // 540 chroma rows of its chroma plane, which starts at coded row 1088.
    const uint8_t* frame = result.frames[0];
    EXPECT_EQ(fake_cuda::AllocationSize(reinterpret_cast<uintptr_t>(frame)), 1920u * 1620);
    for (size_t row : {size_t{0}, size_t{1}, size_t{1079}})
        for (size_t column : {size_t{0}, size_t{777}, size_t{1919}})
            ASSERT_EQ(frame[row * 1920 + column], PictureByte(0, row, column)) << row << "," << column;
    for (size_t row : {size_t{0}, size_t{539}})
        for (size_t column : {size_t{0}, size_t{1919}})
            ASSERT_EQ(frame[(1080 + row) * 1920 + column], PictureByte(0, 1088 + row, column));

    const auto& copies = fake_cuda::Copies();
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].srcPitch, SurfacePitch());
    EXPECT_EQ(copies[0].dstPitch, 1920u);
    EXPECT_EQ(copies[0].WidthInBytes, 1920u);
    EXPECT_EQ(copies[0].Height, 1080u);
    EXPECT_EQ(copies[1].srcDevice - copies[0].srcDevice, SurfacePitch() * 1080); // the target's height
    EXPECT_EQ(copies[1].Height, 540u);
    EXPECT_EQ(fake_cuda::SynchronizedStreams().size(), 1u);

    const CUVIDPROCPARAMS& proc = MapRequests().at(0).params;
    EXPECT_EQ(proc.progressive_frame, 1);
    EXPECT_EQ(proc.second_field, 1);
    EXPECT_EQ(proc.unpaired_field, 0);
    EXPECT_EQ(result.timestamps, std::vector<int64_t>{77});
    EXPECT_EQ(Packets().at(0).flags, static_cast<tcu_ulong>(CUVID_PKT_ENDOFPICTURE | CUVID_PKT_TIMESTAMP));
    EXPECT_EQ(fake_cuda::ContextDepth(), 0u);
}

TEST_F(DecodeSessionTest, TenBit444StreamsCopyThreePlanesOfTwoByteSamples)
{
    Open(cudaVideoCodec_HEVC);
    const Result result = Feed(Seq(cudaVideoCodec_HEVC, 64, 32, 0, 0, 64, 30, cudaVideoChromaFormat_444, 2) + Frame(1));
    ASSERT_EQ(result.count, 1);
    EXPECT_EQ(CreatedDecoders().at(0).OutputFormat, cudaVideoSurfaceFormat_YUV444_16Bit);
    EXPECT_EQ(session->GetBytesPerSample(), 2);
    EXPECT_EQ(session->FramePitch(), 128u);
    EXPECT_EQ(session->GetChromaRows(), 30u);
    ASSERT_EQ(fake_cuda::Copies().size(), 3u);
    EXPECT_EQ(fake_cuda::Copies()[2].srcDevice - fake_cuda::Copies()[0].srcDevice, 2 * SurfacePitch() * 30);
    EXPECT_EQ(result.frames[0][2 * 30 * 128 + 5], PictureByte(0, 2 * 32, 5));
    EXPECT_EQ(fake_cuda::AllocationSize(reinterpret_cast<uintptr_t>(result.frames[0])), 128u * 90);
}

TEST_F(DecodeSessionTest, SmallerCodedSizeReconfiguresLargerIsRefused)
{
    Open();
    Feed(Seq1080p() + Frame(0));
    Feed(Seq(cudaVideoCodec_H264, 1280, 720, 0, 0, 1280, 720) + Frame(1));
    ASSERT_EQ(Reconfigurations().size(), 1u);
    const CUVIDRECONFIGUREDECODERINFO& info = Reconfigurations()[0];
    EXPECT_EQ(info.ulWidth, 1280u);
    EXPECT_EQ(info.ulHeight, 720u);
    EXPECT_EQ(info.ulTargetWidth, 1920u);
    EXPECT_EQ(info.ulTargetHeight, 1080u);
    EXPECT_EQ(info.ulNumDecodeSurfaces, 20u);
    EXPECT_EQ(info.display_area.right, 1280);
    EXPECT_EQ(info.display_area.bottom, 720);
    EXPECT_EQ(CreatedDecoders().size(), 1u);
    EXPECT_EQ(session->GetWidth(), 1920u); // NVDEC scales to the first size
    EXPECT_EQ(session->GetLumaRows(), 1080u);

    ExpectNvdecError([&] { Feed(Seq(cudaVideoCodec_H264, 1920, 1096, 0, 0, 1920, 1096)); },
                     "DecodeSession::ReconfigureDecoder",
                     "Reconfigure Not supported when width/height > maxwidth/maxheight", 801);
    // Back to the first size is within the ceiling.
    EXPECT_EQ(Feed(Seq1080p() + Frame(2)).count, 1);
    EXPECT_EQ(Reconfigurations().size(), 2u);
}

TEST_F(DecodeSessionTest, BitDepthAndChromaFormatCannotChange)
{
    Open(cudaVideoCodec_HEVC);
    Feed(Seq(cudaVideoCodec_HEVC, 640, 480, 0, 0, 640, 480));
    ExpectNvdecError([&] { Feed(Seq(cudaVideoCodec_HEVC, 640, 480, 0, 0, 640, 480, cudaVideoChromaFormat_420, 2)); },
                     "DecodeSession::ReconfigureDecoder", "Reconfigure Not supported for bit depth change", 801);
    ExpectNvdecError(
        [&] { Feed(Seq(cudaVideoCodec_HEVC, 640, 480, 0, 0, 640, 480, cudaVideoChromaFormat_420, 0, 2)); },
        "DecodeSession::ReconfigureDecoder", "Reconfigure Not supported for bit depth change", 801);
    ExpectNvdecError([&] { Feed(Seq(cudaVideoCodec_HEVC, 640, 480, 0, 0, 640, 480, cudaVideoChromaFormat_444)); },
                     "DecodeSession::ReconfigureDecoder", "Reconfigure Not supported for chroma format change", 801);
}

TEST_F(DecodeSessionTest, DisplayAreaChangesAtTheSameCodedSizeStayWithinThePoolFrames)
{
    Open();
    Feed(Seq(cudaVideoCodec_H264, 1920, 1088, 0, 0, 1920, 720) + Frame(0));
    EXPECT_EQ(session->GetLumaRows(), 720u);
    // Shrinking fits the frames; NVDEC crops the new area into a target of its size.
    Feed(Seq(cudaVideoCodec_H264, 1920, 1088, 0, 0, 1280, 720) + Frame(1));
    EXPECT_EQ(session->GetWidth(), 1280u);
    EXPECT_EQ(session->FramePitch(), 1280u);
    ASSERT_EQ(Reconfigurations().size(), 1u);
    EXPECT_EQ(Reconfigurations()[0].ulWidth, 1920u);
    EXPECT_EQ(Reconfigurations()[0].ulTargetWidth, 1280u);
    EXPECT_EQ(Reconfigurations()[0].ulTargetHeight, 720u);
    EXPECT_EQ(Reconfigurations()[0].display_area.right, 1280);
    // Back to the first area is seen as a change again.
    Feed(Seq(cudaVideoCodec_H264, 1920, 1088, 0, 0, 1920, 720) + Frame(2));
    EXPECT_EQ(session->GetWidth(), 1920u);
    // Growing past the frames' size is refused; the output stays as it was.
    ExpectNvdecError([&] { Feed(Seq1080p() + Frame(3)); }, "DecodeSession::ReconfigureDecoder",
                     "Reconfigure Not supported when the display area outgrows the frames", 801);
    EXPECT_EQ(session->GetLumaRows(), 720u);
    EXPECT_EQ(Reconfigurations().size(), 2u);
    EXPECT_EQ(Feed(Frame(4)).count, 1);
}

// NVDEC crops the display area and scales it into an even target; the
// copies take the target from its top left, so a frame holds the display
// area once, neither shifted by a crop nor cut to the coded size.
TEST_F(DecodeSessionTest, DisplayAreaIsCroppedByNvdecAndCopiedFromTheTargetsTopLeft)
{
    const struct {
        cudaVideoCodec codec;
        unsigned codedWidth, codedHeight;
        int left, top, right, bottom;
        int areaRight, areaBottom; // what NVDEC is asked to crop
        unsigned targetWidth, targetHeight, chromaRows;
        bool unscaled; // the target is the area's size: picture bytes come through as they are
    } cases[] = {
        {cudaVideoCodec_H264, 64, 64, 8, 4, 56, 60, 56, 60, 48, 56, 28, true},      // crop on every side
        {cudaVideoCodec_HEVC, 1920, 1088, 0, 0, 1920, 1080, 1920, 1080, 1920, 1080, 540, true},
        {cudaVideoCodec_AV1, 648, 488, 0, 0, 641, 481, 642, 482, 642, 482, 241, true}, // odd, room to grow
        {cudaVideoCodec_VP9, 356, 290, 2, 0, 355, 289, 356, 290, 354, 290, 145, true},
        {cudaVideoCodec_AV1, 641, 481, 0, 0, 641, 481, 641, 481, 642, 482, 241, false}, // odd coded size
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.codedWidth) + "x" + std::to_string(c.codedHeight));
        SetUp();
        Open(c.codec);
        const Result result = Feed(Seq(c.codec, c.codedWidth, c.codedHeight, c.left, c.top, c.right, c.bottom) +
                                   Frame(0));
        ASSERT_EQ(result.count, 1);
        const CUVIDDECODECREATEINFO& info = CreatedDecoders().at(0);
        EXPECT_EQ(info.ulWidth, c.codedWidth);
        EXPECT_EQ(info.display_area.left, c.left);
        EXPECT_EQ(info.display_area.top, c.top);
        EXPECT_EQ(info.display_area.right, c.areaRight);
        EXPECT_EQ(info.display_area.bottom, c.areaBottom);
        EXPECT_EQ(info.ulTargetWidth, c.targetWidth);
        EXPECT_EQ(info.ulTargetHeight, c.targetHeight);

        const unsigned width = static_cast<unsigned>(c.right - c.left), rows = static_cast<unsigned>(c.bottom - c.top);
        EXPECT_EQ(session->GetWidth(), width);
        EXPECT_EQ(session->GetLumaRows(), rows);
        EXPECT_EQ(session->GetChromaRows(), c.chromaRows);
        const size_t pitch = session->FramePitch();
        EXPECT_EQ(pitch, c.targetWidth) << "whole chroma pairs";
        EXPECT_EQ(fake_cuda::AllocationSize(reinterpret_cast<uintptr_t>(result.frames[0])),
                  pitch * (rows + c.chromaRows));
        const auto& copies = fake_cuda::Copies();
        ASSERT_EQ(copies.size(), 2u);
        EXPECT_EQ(copies[1].srcDevice - copies[0].srcDevice, SurfacePitch() * c.targetHeight);
        EXPECT_EQ(copies[1].Height, c.chromaRows);
        if (!c.unscaled)
            continue;
        const uint8_t* frame = result.frames[0];
        for (size_t row : {size_t{0}, size_t{rows / 2}, size_t{rows - 1}})
            for (size_t column : {size_t{0}, size_t{width - 1}})
                ASSERT_EQ(frame[row * pitch + column], PictureByte(0, c.top + row, c.left + column))
                    << row << "," << column;
        const uint8_t* chroma = frame + pitch * rows;
        for (size_t row : {size_t{0}, size_t{c.chromaRows - 1}})
            for (size_t column : {size_t{0}, size_t{pitch - 1}})
                ASSERT_EQ(chroma[row * pitch + column],
                          PictureByte(0, c.codedHeight + c.top / 2 + row, c.left + column))
                    << "chroma " << row << "," << column;
        session.reset();
    }
}

// The output keeps the first sequence's size; NVDEC scales the new display
// area into it, never the whole coded picture.
TEST_F(DecodeSessionTest, AStreamThatShrinksIsScaledFromItsNewDisplayArea)
{
    Open();
    ASSERT_EQ(Feed(Seq1080p() + Frame(0)).count, 1);
    const Result result = Feed(Seq(cudaVideoCodec_H264, 1280, 736, 0, 8, 1280, 728) + Frame(1));
    ASSERT_EQ(result.count, 1);
    const CUVIDRECONFIGUREDECODERINFO& info = Reconfigurations().at(0);
    EXPECT_EQ(info.display_area.top, 8);
    EXPECT_EQ(info.display_area.bottom, 728);
    EXPECT_EQ(info.ulTargetHeight, 1080u);
    ASSERT_EQ(session->GetLumaRows(), 1080u);
    const uint8_t* frame = result.frames[0];
    for (size_t row : {size_t{0}, size_t{540}, size_t{1079}})
        for (size_t column : {size_t{0}, size_t{999}, size_t{1919}})
            ASSERT_EQ(frame[row * 1920 + column], PictureByte(1, 8 + row * 720 / 1080, column * 1280 / 1920))
                << row << "," << column;
}

TEST_F(DecodeSessionTest, PoolGrowsOnlyWhenACallYieldsMoreFramesThanBefore)
{
    Open();
    const Result two = Feed(Seq1080p() + Frame(0) + Frame(1), 5);
    ASSERT_EQ(two.count, 2);
    EXPECT_EQ(fake_cuda::CountCalls("cuMemAlloc_v2"), 2u);
    EXPECT_NE(two.frames[0], two.frames[1]);
    const Result one = Feed(Frame(2), 6);
    ASSERT_EQ(one.count, 1);
    EXPECT_EQ(one.frames[0], two.frames[0]);
    EXPECT_EQ(fake_cuda::CountCalls("cuMemAlloc_v2"), 2u);
    const Result three = Feed(Frame(3) + Frame(4) + Frame(5), 7);
    ASSERT_EQ(three.count, 3);
    EXPECT_EQ(fake_cuda::CountCalls("cuMemAlloc_v2"), 3u);
    EXPECT_EQ(three.frames[1], two.frames[1]);
    EXPECT_EQ(three.frames[2][0], PictureByte(5, 0, 0));
    EXPECT_EQ(fake_cuda::SynchronizedStreams().size(), 6u); // once per picture
}

TEST_F(DecodeSessionTest, TimestampsComeBackWithTheirFrames)
{
    Open();
    uint8_t* sentinelFrame = reinterpret_cast<uint8_t*>(0x1);
    uint8_t** frames = &sentinelFrame;
    int64_t sentinelTime = -7;
    int64_t* timestamps = &sentinelTime;
    int count = -1;
    const std::string first = Seq1080p() + Pic(0);
    session->Decode(reinterpret_cast<const uint8_t*>(first.data()), static_cast<int>(first.size()), &frames, &count,
                    CUVID_PKT_ENDOFPICTURE, &timestamps, 100);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(frames, &sentinelFrame) << "no frame leaves the outputs untouched";
    EXPECT_EQ(timestamps, &sentinelTime);

    const Result both = Feed(Pic(1) + Out(0) + Out(1), 200);
    ASSERT_EQ(both.count, 2);
    EXPECT_EQ(both.timestamps, (std::vector<int64_t>{100, 200}));
    EXPECT_EQ(both.frames[0][0], PictureByte(0, 0, 0));
    EXPECT_EQ(both.frames[1][0], PictureByte(1, 0, 0));

    // End of stream hands out what the parser still holds.
    Feed(Pic(2), 300);
    session->Decode(nullptr, 0, &frames, &count, 0, &timestamps, 400);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(timestamps[0], 300);
    EXPECT_EQ(Packets().back().flags, static_cast<tcu_ulong>(CUVID_PKT_ENDOFSTREAM | CUVID_PKT_TIMESTAMP));
}

TEST_F(DecodeSessionTest, SizeAndMacroblockMessagesSpanFourLines)
{
    Open();
    Caps().nMaxWidth = 4096;
    Caps().nMaxHeight = 2304;
    ExpectNvdecError([&] { Feed(Seq(cudaVideoCodec_H264, 4112, 2160, 0, 0, 4112, 2160)); },
                     "DecodeSession::HandleVideoSequence",
                     "\nResolution          : 4112x2160\nMax Supported (wxh) : 4096x2304\n"
                     "Resolution not supported on this GPU",
                     801);
    Caps().nMaxMBCount = 8000;
    ExpectNvdecError([&] { Feed(Seq1080p()); }, "DecodeSession::HandleVideoSequence",
                     "\nMBCount             : 8160\nMax Supported mbcnt : 8000\nMBCount not supported on this GPU", 801);
    Caps().bIsSupported = 0;
    ExpectNvdecError([&] { Feed(Seq1080p()); }, "DecodeSession::HandleVideoSequence",
                     "Codec not supported on this GPU", 801);
    EXPECT_TRUE(CreatedDecoders().empty());
}

// Real hardware has minimums (the header's example: 48 x 16); below them the
// text says the size and the minimum, in the form of the maximum's.
TEST_F(DecodeSessionTest, SizesBelowTheGpuMinimumAreRefused)
{
    for (const MinimumSizeCase& c : kMinimumSizeCases) {
        SetUp();
        Open();
        Caps().nMinWidth = 145;
        Caps().nMinHeight = 48;
        const std::string sequence = Seq(cudaVideoCodec_HEVC, c.width, c.height, 0, 0, c.width, c.height);
        if (c.refused) {
            ExpectNvdecError([&] { Feed(sequence); }, "DecodeSession::HandleVideoSequence",
                             BelowMinimumText(c.width, c.height, 145, 48), 801);
            EXPECT_TRUE(CreatedDecoders().empty());
        } else {
            Feed(sequence);
            EXPECT_EQ(CreatedDecoders().size(), 1u);
        }
        session.reset();
    }
}

extern "C" CUresult cuCtxPushCurrent_v2(CUcontext);
extern "C" CUresult cuCtxPopCurrent_v2(CUcontext*);

// A push that failed is not followed by a pop, which would take the caller's
// own context off its thread.
TEST_F(DecodeSessionTest, DestructionLeavesTheCallersContextWhenAPushFails)
{
    CUcontext const caller = reinterpret_cast<CUcontext>(0xCA11);
    Open();
    ASSERT_EQ(Feed(Seq1080p() + Frame(0)).count, 1); // a frame in the pool
    ASSERT_EQ(cuCtxPushCurrent_v2(caller), CUDA_SUCCESS);
    fake_cuda::FailCall("cuCtxPushCurrent_v2", 201);
    session.reset();
    EXPECT_EQ(fake_cuda::CurrentContext(), caller);
    EXPECT_EQ(fake_cuda::ContextDepth(), 1u);
    fake_cuda::ClearFailures();
    CUcontext popped = nullptr;
    cuCtxPopCurrent_v2(&popped);
}

TEST_F(DecodeSessionTest, StreamsWithoutOutputSurfacesAreRefused)
{
    Open();
    for (cudaVideoChromaFormat chroma : {cudaVideoChromaFormat_Monochrome, cudaVideoChromaFormat_422})
        ExpectNvdecError([&] { Feed(Seq(cudaVideoCodec_H264, 64, 64, 0, 0, 64, 64, chroma)); },
                         "DecodeSession::HandleVideoSequence",
                         "Chroma format not supported: only 4:2:0 and 4:4:4 are decoded", 801);
    for (const std::string& area : {Seq(cudaVideoCodec_H264, 64, 64, 0, 0, 65, 64),
                                    Seq(cudaVideoCodec_H264, 64, 64, 0, 0, 0, 0),
                                    Seq(cudaVideoCodec_H264, 64, 64, -2, 0, 64, 64)})
        ExpectNvdecError([&] { Feed(area); }, "DecodeSession::HandleVideoSequence",
                         "Display area outside the coded picture", 1);
    EXPECT_TRUE(CreatedDecoders().empty());
}

TEST_F(DecodeSessionTest, DriverFailuresNameTheirCall)
{
    struct Case {
        std::function<void()> inject;
        std::string packet;
        const char* operation;
        std::string message;
        int code;
    };
    const std::string good = Seq1080p() + Frame(0);
    const Case cases[] = {
        {[] { FailCall("cuvidParseVideoData", 999); }, good, "DecodeSession::Decode",
         "cuvidParseVideoData(m_hParser, &packet) returned error 999", 999},
        {[] { FailCall("cuvidGetDecoderCaps", 3); }, good, "DecodeSession::HandleVideoSequence",
         "cuvidGetDecoderCaps(&decodecaps) returned error 3", 3},
        {[] { FailCall("cuvidCreateDecoder", 2); }, good, "DecodeSession::HandleVideoSequence",
         "cuvidCreateDecoder(&m_hDecoder, &videoDecodeCreateInfo) returned error 2", 2},
        {[] { FailCall("cuvidDecodePicture", 700); }, good, "DecodeSession::HandlePictureDecode",
         "cuvidDecodePicture(m_hDecoder, pPicParams) returned error 700", 700},
        {[] { FailCall("cuvidMapVideoFrame64", 1); }, good, "DecodeSession::HandlePictureDisplay",
         "cuvidMapVideoFrame(m_hDecoder, pDispInfo->picture_index, &dpSrcFrame, &nSrcPitch, "
         "&videoProcessingParameters) returned error 1",
         1},
        {[] { FailCall("cuvidUnmapVideoFrame64", 1); }, good, "DecodeSession::HandlePictureDisplay",
         "cuvidUnmapVideoFrame(m_hDecoder, dpSrcFrame) returned error 1", 1},
        {[] { fake_cuda::FailCall("cuMemAlloc_v2", 2); }, good, "DecodeSession::HandlePictureDisplay",
         "CUDA driver API error CUDA_ERROR_OUT_OF_MEMORY", 2},
        {[] { fake_cuda::FailCall("cuMemcpy2DAsync_v2", 700, 1); }, good, "DecodeSession::HandlePictureDisplay",
         "CUDA driver API error CUDA_ERROR_ILLEGAL_ADDRESS", 700},
        {[] { fake_cuda::FailCall("cuStreamSynchronize", 4321); }, good, "DecodeSession::HandlePictureDisplay",
         "CUDA driver API error ", 4321},
        {[] { fake_cuda::FailCall("cuCtxPushCurrent_v2", 201); }, good, "DecodeSession::HandleVideoSequence",
         "CUDA driver API error CUDA_ERROR_INVALID_CONTEXT", 201},
        {[] {}, Pic(0), "DecodeSession::HandlePictureDecode", "Decoder not initialized.", 3},
    };
    for (const Case& c : cases) {
        SetUp();
        Open();
        c.inject();
        ExpectNvdecError([&] { Feed(c.packet); }, c.operation, c.message, c.code);
        // A refused unmap is the one failure that must leave the mapping.
        if (c.message.find("cuvidUnmapVideoFrame") == std::string::npos) {
            EXPECT_EQ(LiveMappings(), 0u) << c.message;
        }
        EXPECT_EQ(fake_cuda::ContextDepth(), 0u) << c.message;
        fake_cuda::ClearFailures();
        ClearFailures();
        session.reset();
        SetUp();
        TearDown();
    }

    SetUp();
    Open();
    Feed(good);
    FailCall("cuvidReconfigureDecoder", 801);
    ExpectNvdecError([&] { Feed(Seq(cudaVideoCodec_H264, 640, 480, 0, 0, 640, 480)); },
                     "DecodeSession::ReconfigureDecoder",
                     "cuvidReconfigureDecoder(m_hDecoder, &reconfigParams) returned error 801", 801);
}

TEST_F(DecodeSessionTest, ConstructionFailuresNameTheirCall)
{
    FailCall("cuvidCtxLockCreate", 3);
    ExpectNvdecError([&] { Open(); }, "DecodeSession::DecodeSession",
                     "cuvidCtxLockCreate(&m_ctxLock, cuContext) returned error 3", 3);
    ClearFailures();
    FailCall("cuvidCreateVideoParser", 2);
    ExpectNvdecError([&] { Open(); }, "DecodeSession::DecodeSession",
                     "cuvidCreateVideoParser(&m_hParser, &videoParserParameters) returned error 2", 2);
    ClearFailures();
    EXPECT_EQ(LiveLocks(), 0u);
}

TEST_F(DecodeSessionTest, PicturesDecodedWithErrorsArePrintedAndStillReturned)
{
    Open();
    SetDecodeStatus(3, cuvidDecodeStatus_Error_Concealed);
    testing::internal::CaptureStdout();
    const Result result = Feed(Seq1080p() + Pic(5) + Frame(3));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Decode Error occurred for picture 1\n");
    EXPECT_EQ(result.count, 1);
}

TEST_F(DecodeSessionTest, NegativeSizeIsRefused)
{
    Open();
    ExpectNvdecError([&] { session->Decode(reinterpret_cast<const uint8_t*>("x"), -1, nullptr, nullptr); },
                     "DecodeSession::Decode", "Invalid packet size -1", 1);
}

} // namespace

// A destroy on a thread with no context of its own must still release the
// hardware decoder, and leave that thread as it found it.
TEST_F(DecodeSessionTest, DestructionPushesTheSessionContext)
{
    Open();
    Feed(Seq1080p() + ";" + fake_nvdec::Frame(0));
    ASSERT_EQ(fake_nvdec::LiveDecoders(), 1u);
    ASSERT_EQ(fake_cuda::ContextDepth(), 0u);
    session.reset();
    EXPECT_EQ(fake_nvdec::LiveParsers(), 0u);
    EXPECT_EQ(fake_nvdec::LiveDecoders(), 0u);
    EXPECT_EQ(fake_cuda::ContextDepth(), 0u);
}
