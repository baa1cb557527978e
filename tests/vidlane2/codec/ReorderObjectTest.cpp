// Streams whose pictures are shown in another order than decoded: each packet
// is fed once, the pictures wait in display order, and a flush hands out the
// rest. The scripted packets carry a real sequence parameter set after their
// records, which the fake parser skips and the decoder reads.
#include "ObjectFixture.h"

namespace {

namespace sps = vidlane2::test::sps;

constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;
constexpr const char* kNoFrame = "No frame decoded (Decoder expects encoded bitstream for a single complete frame. "
                                 "Accumulating partial data or combining multiple frames is not supported.)";

std::string Seq(uint32_t width = kWidth, uint32_t height = kHeight)
{
    return fake_nvdec::Seq(cudaVideoCodec_H264, width, height, 0, 0, static_cast<int>(width),
                           static_cast<int>(height));
}

// The 8-bit luma of the fake decoder's decodeNumber-th picture, as UINT8 gives it.
Bytes Picture(int decodeNumber)
{
    Bytes luma(std::size_t{kWidth} * kHeight);
    for (uint32_t r = 0; r < kHeight; ++r)
        for (uint32_t c = 0; c < kWidth; ++c)
            luma[std::size_t{r} * kWidth + c] = fake_nvdec::PictureByte(decodeNumber, r, c);
    return luma;
}

class ReorderObject : public ObjectTest {
protected:
    // One call: the decode number of the picture it handed out, or -1 for the no-frame text.
    int Call(CodecHandle* decoder, const std::string* packet)
    {
        Bytes out(std::size_t{kWidth} * kHeight, 0xEE);
        const uint64_t written = packet ? Vidlane_Decode(decoder, packet->data(), packet->size(), out.data(), kWidth,
                                                         kHeight)
                                        : Vidlane_Decode(decoder, nullptr, 0, out.data(), kWidth, kHeight);
        if (written == 0) {
            EXPECT_STREQ(Vidlane_GetError(decoder), kNoFrame);
            return -1;
        }
        EXPECT_EQ(written, out.size());
        for (int n = 0; n < 16; ++n)
            if (out == Picture(n))
                return n;
        ADD_FAILURE() << "a picture that no decode made";
        return -2;
    }

    // Decode order I0 P4 B2 b1 b3 P8 B6 b5 b7 (a pyramid two deep), surface =
    // decode number; each packet shows what a decoder two pictures behind shows.
    static std::vector<std::string> PyramidStream(const char* spsHex)
    {
        using fake_nvdec::Out;
        using fake_nvdec::Pic;
        return {WithSps(Seq() + Pic(0), spsHex), Pic(1), Pic(2) + Out(0), Pic(3) + Out(3), Pic(4) + Out(2) + Out(4),
                Pic(5) + Out(1), Pic(6), Pic(7) + Out(7), Pic(8) + Out(6) + Out(8)};
    }
};

TEST_F(ReorderObject, APyramidStreamYieldsEveryPictureOnceInDisplayOrderAcrossTheFlush)
{
    CodecHandle* decoder = Decoder(VIDLANE_UINT8);
    const std::vector<std::string> stream = PyramidStream(sps::h264HighBFrames);
    std::vector<int> handedOut;
    for (const std::string& packet : stream)
        handedOut.push_back(Call(decoder, &packet));
    for (int flush = 0; flush < 3; ++flush)
        handedOut.push_back(Call(decoder, nullptr));

    // Display order: I0 b1 B2 b3 P4 b5 B6 b7 P8, by decode number.
    EXPECT_EQ(handedOut, (std::vector<int>{-1, -1, 0, 3, 2, 4, 1, 7, 6, 8, 5, -1}));
    // Each packet reached the parser once, then one end of stream; the later flushes fed nothing.
    const auto& packets = fake_nvdec::Packets();
    ASSERT_EQ(packets.size(), stream.size() + 1);
    EXPECT_EQ(packets.back().flags & CUVID_PKT_ENDOFSTREAM, CUVID_PKT_ENDOFSTREAM);
    EXPECT_EQ(fake_nvdec::DecodedPictures(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(ReorderObject, StreamsInDisplayOrderKeepTheRepeatedFeedingsAndTheNewestPicture)
{
    // Baseline never reorders; neither does a packet without a parameter set
    // that could be read (the records alone).
    const struct {
        const char* name;
        std::string first;
    } cases[] = {{"Baseline", WithSps(Seq() + fake_nvdec::Pic(0), sps::h264Baseline)},
                 {"no parameter set", Seq() + fake_nvdec::Pic(0)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetFakes();
        CodecHandle* decoder = Decoder(VIDLANE_UINT8);
        EXPECT_EQ(Call(decoder, &c.first), -1);
        EXPECT_EQ(fake_nvdec::Packets().size(), 3u);
        // The three feedings decoded the first picture three times (decode
        // numbers 0 to 2); of the two pictures the next packet shows, the newer.
        const std::string two = fake_nvdec::Out(0) + fake_nvdec::Frame(1);
        EXPECT_EQ(Call(decoder, &two), 3);
        EXPECT_EQ(fake_nvdec::Packets().size(), 4u);
        DestroyAll();
    }
}

TEST_F(ReorderObject, FlushesOnANewHandleAfterTheQueueAndBeforeANewStream)
{
    CodecHandle* decoder = Decoder(VIDLANE_UINT8);
    // On a new handle: nothing waits; the handle stays usable.
    EXPECT_EQ(Call(decoder, nullptr), -1);
    const std::vector<std::string> stream = PyramidStream(sps::h264HighBFrames);
    for (std::size_t i = 0; i < 5; ++i)
        Call(decoder, &stream[i]);
    // The stream ends early: what waits and what the session holds comes out in order.
    std::vector<int> rest;
    for (int flush = 0; flush < 4; ++flush)
        rest.push_back(Call(decoder, nullptr));
    EXPECT_EQ(rest, (std::vector<int>{4, 1, -1, -1}));

    // The next packet starts a new stream, in a new session, read afresh:
    // Baseline, so it takes the display-order path.
    const std::size_t parsers = fake_nvdec::CountCalls("cuvidCreateVideoParser");
    const std::string next = WithSps(Seq() + fake_nvdec::Frame(0), sps::h264Baseline);
    EXPECT_EQ(Call(decoder, &next), 5); // the sixth picture decoded since the start
    EXPECT_EQ(fake_nvdec::CountCalls("cuvidCreateVideoParser"), parsers + 1);

    // A null packet with a size is refused as before, with a flush's sibling left alone.
    Bytes out(std::size_t{kWidth} * kHeight);
    EXPECT_EQ(Vidlane_Decode(decoder, nullptr, 7, out.data(), kWidth, kHeight), 0u);
    EXPECT_STREQ(Vidlane_GetError(decoder), "Invalid compressed picture: the pointer is null or the size is 0");
}

TEST_F(ReorderObject, ASizeChangeDropsTheWaitingPictures)
{
    CodecHandle* decoder = Decoder(VIDLANE_UINT8);
    const std::vector<std::string> stream = PyramidStream(sps::h264HighBFrames);
    for (std::size_t i = 0; i < 5; ++i)
        Call(decoder, &stream[i]); // b3 (decode number 4) waits
    Bytes large(4 * kWidth * kHeight);
    const std::string other = Seq(2 * kWidth, 2 * kHeight) + fake_nvdec::Frame(0);
    ASSERT_EQ(Vidlane_Decode(decoder, other.data(), other.size(), large.data(), 2 * kWidth, 2 * kHeight),
              large.size());
    EXPECT_EQ(Vidlane_Decode(decoder, nullptr, 0, large.data(), 2 * kWidth, 2 * kHeight), 0u);
    EXPECT_STREQ(Vidlane_GetError(decoder), kNoFrame);
}

} // namespace
