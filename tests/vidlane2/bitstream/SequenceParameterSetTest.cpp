#include "SpsBytes.h"

#include "bitstream/BitReader.h"
#include "bitstream/H264Sps.h"
#include "bitstream/HevcSps.h"

#include <gtest/gtest.h>

#include <optional>

namespace vidlane2 {
namespace {

using test::Bytes;
using test::fromHex;

std::optional<SequenceInfo> read(const Bytes& nal, bool hevc)
{
    return hevc ? readHevcSps(nal.data(), nal.size()) : readH264Sps(nal.data(), nal.size());
}

struct Case {
    const char* name;
    const char* hex;
    bool hevc;
    std::uint32_t width;
    std::uint32_t height;
    bool reorders;
};

TEST(SequenceParameterSet, OurEncodesGiveTheirShownSizeAndReordering)
{
    const Case cases[] = {
        {"x264 with B-frames", test::sps::h264HighBFrames, false, 1920, 1080, true},
        {"x264 without B-frames", test::sps::h264HighNoBFrames, false, 1920, 1080, false},
        {"x264 Baseline", test::sps::h264Baseline, false, 320, 240, false},
        {"x264 4:4:4 odd size", test::sps::h264Odd444, false, 161, 97, true},
        {"x264 field-coded", test::sps::h264Interlaced, false, 1920, 1080, true},
        {"x265 defaults", test::sps::hevcDefaults, true, 1920, 1080, true},
        {"x265 bframes=0", test::sps::hevcNoBFrames, true, 202, 142, false},
        {"x265 4:4:4 odd size", test::sps::hevcOdd444, true, 161, 97, true},
        {"x265 two sub-layers", test::sps::hevcTwoSubLayers, true, 202, 142, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<SequenceInfo> info = read(fromHex(c.hex), c.hevc);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->width, c.width);
        EXPECT_EQ(info->height, c.height);
        EXPECT_EQ(info->reorders, c.reorders);
    }
}

// Writes an H.264 sequence parameter set field by field, for the cases the
// encoders here never write (x264 always gives bitstream_restriction).
class H264SpsWriter {
public:
    void bits(std::uint32_t value, unsigned count)
    {
        while (count-- > 0)
            m_bits.push_back((value >> count) & 1u);
    }
    void ue(std::uint32_t value)
    {
        const std::uint64_t code = std::uint64_t{value} + 1;
        unsigned length = 0;
        while ((code >> length) > 1)
            ++length;
        bits(0, length);
        bits(static_cast<std::uint32_t>(code), length + 1);
    }
    // NAL header, payload with stop bit, emulation prevention.
    Bytes nal() const
    {
        std::vector<bool> all = m_bits;
        all.push_back(true);
        while (all.size() % 8)
            all.push_back(false);
        Bytes out = {0x67};
        unsigned zeros = 0;
        for (std::size_t i = 0; i < all.size(); i += 8) {
            std::uint8_t byte = 0;
            for (std::size_t b = 0; b < 8; ++b)
                byte = static_cast<std::uint8_t>(byte << 1 | all[i + b]);
            if (zeros >= 2 && byte <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            zeros = byte == 0 ? zeros + 1 : 0;
            out.push_back(byte);
        }
        return out;
    }

private:
    std::vector<bool> m_bits;
};

struct Fields {
    std::uint32_t profile = 100;
    std::uint32_t constraints = 0; // constraint_set0..5 flags and reserved bits
    std::uint32_t chromaFormat = 1;
    std::uint32_t pocType = 0;
    bool frameMbsOnly = true;
    std::uint32_t widthMbs = 20, heightMapUnits = 15;
    std::uint32_t crop[4] = {0, 0, 0, 0};
    int reorderFrames = -1; // -1: no VUI
};

Bytes h264Sps(const Fields& f)
{
    H264SpsWriter w;
    w.bits(f.profile, 8);
    w.bits(f.constraints, 8);
    w.bits(30, 8); // level
    w.ue(0);
    if (f.profile == 100) {
        w.ue(f.chromaFormat);
        if (f.chromaFormat == 3)
            w.bits(0, 1);
        w.ue(0);
        w.ue(0);
        w.bits(0, 2); // no bypass, no scaling matrix
    }
    w.ue(0); // log2_max_frame_num_minus4
    w.ue(f.pocType);
    if (f.pocType == 0)
        w.ue(2);
    if (f.pocType == 1) {
        w.bits(1, 1);
        w.ue(0);
        w.ue(0);
        w.ue(0);
    }
    w.ue(1);
    w.bits(0, 1);
    w.ue(f.widthMbs - 1);
    w.ue(f.heightMapUnits - 1);
    w.bits(f.frameMbsOnly, 1);
    if (!f.frameMbsOnly)
        w.bits(0, 1);
    w.bits(1, 1);
    const bool cropping = f.crop[0] || f.crop[1] || f.crop[2] || f.crop[3];
    w.bits(cropping, 1);
    if (cropping)
        for (std::uint32_t c : f.crop)
            w.ue(c);
    w.bits(f.reorderFrames >= 0, 1);
    if (f.reorderFrames >= 0) {
        w.bits(0, 8); // aspect, overscan, signal type, chroma location, timing, two HRDs, pic_struct
        w.bits(1, 1); // bitstream_restriction_flag
        w.bits(1, 1);
        for (int i = 0; i < 4; ++i)
            w.ue(i);
        w.ue(static_cast<std::uint32_t>(f.reorderFrames));
        w.ue(4);
    }
    return w.nal();
}

TEST(SequenceParameterSet, H264ReorderDepthDecidesElseProfileAndPictureOrderType)
{
    struct {
        const char* name;
        Fields fields;
        bool reorders;
    } cases[] = {
        {"High, order count type 0", {}, true},
        {"High, order count type 1", [] { Fields f; f.pocType = 1; return f; }(), true},
        {"High, order count type 2", [] { Fields f; f.pocType = 2; return f; }(), false},
        {"Main", [] { Fields f; f.profile = 77; return f; }(), true},
        {"Baseline", [] { Fields f; f.profile = 66; return f; }(), false},
        {"Constrained Baseline", [] { Fields f; f.profile = 66; f.constraints = 0x40; return f; }(), false},
        {"High, reorder depth 0 given", [] { Fields f; f.reorderFrames = 0; return f; }(), false},
        {"Baseline, reorder depth 1 given", [] { Fields f; f.profile = 66; f.reorderFrames = 1; return f; }(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<SequenceInfo> info = read(h264Sps(c.fields), false);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->width, 320u);
        EXPECT_EQ(info->height, 240u);
        EXPECT_EQ(info->reorders, c.reorders);
    }
}

TEST(SequenceParameterSet, H264CropUnitsFollowChromaFormatAndFieldCoding)
{
    struct {
        const char* name;
        std::uint32_t chromaFormat;
        bool frameMbsOnly;
        std::uint32_t width, height;
    } cases[] = {
        // crop left 1, right 2, top 3, bottom 4 on 320x240 coded
        {"4:2:0 frames", 1, true, 320 - 6, 240 - 14},
        {"4:2:0 fields", 1, false, 320 - 6, 480 - 28},
        {"4:2:2", 2, true, 320 - 6, 240 - 7},
        {"4:4:4", 3, true, 320 - 3, 240 - 7},
        {"monochrome", 0, true, 320 - 3, 240 - 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fields f;
        f.chromaFormat = c.chromaFormat;
        f.frameMbsOnly = c.frameMbsOnly;
        f.crop[0] = 1, f.crop[1] = 2, f.crop[2] = 3, f.crop[3] = 4;
        const std::optional<SequenceInfo> info = read(h264Sps(f), false);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->width, c.width);
        EXPECT_EQ(info->height, c.height);
    }
}

TEST(SequenceParameterSet, RefusesWhatItCannotRead)
{
    Fields cropAll;
    cropAll.crop[0] = 80, cropAll.crop[1] = 80; // 320 columns cropped away
    Fields badChroma;
    badChroma.chromaFormat = 4;
    Fields huge;
    huge.widthMbs = 5000;
    struct {
        const char* name;
        Bytes nal;
        bool hevc;
    } cases[] = {
        {"nothing", {}, false},
        {"header only", {0x67}, false},
        {"not an SPS", fromHex("68ce3c80"), false},
        {"HEVC bytes read as H.264", fromHex(test::sps::hevcDefaults), false},
        {"H.264 bytes read as HEVC", fromHex(test::sps::h264HighBFrames), true},
        {"cropped to nothing", h264Sps(cropAll), false},
        {"chroma format 4", h264Sps(badChroma), false},
        {"80000 columns", h264Sps(huge), false},
        {"an Exp-Golomb code of 32 zeros", {0x67, 0x64, 0, 0x28, 0, 0, 0, 0, 1, 0xff}, false},
        // found by the fuzzer: the delta overflowed the scale arithmetic before it was refused
        {"a scaling-list delta out of range", fromHex("67642820a3591d1d00000000ffffff0a59ffffffff1e"), false},
        {"HEVC of another layer", [] { Bytes b = fromHex(test::sps::hevcDefaults); b[1] |= 0x08; return b; }(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(read(c.nal, c.hevc));
    }
}

TEST(SequenceParameterSet, CutSetsAreRefusedOrReadAsWholeAndNeverReadOutside)
{
    // Each set cut at every length: under ASan a read past the cut fails the test.
    const Case sets[] = {
        {"x264", test::sps::h264HighBFrames, false, 1920, 1080, true},
        {"x265", test::sps::hevcDefaults, true, 1920, 1080, true},
    };
    for (const Case& c : sets) {
        SCOPED_TRACE(c.name);
        const Bytes whole = fromHex(c.hex);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            const std::optional<SequenceInfo> info = read(cut, c.hevc);
            if (length <= 12) { // inside the size (H.264) or the profile (HEVC)
                EXPECT_FALSE(info) << length << " bytes";
            } else if (info) { // only the trailing bits were lost
                EXPECT_EQ(info->width, c.width) << length << " bytes";
                EXPECT_EQ(info->height, c.height) << length << " bytes";
                EXPECT_EQ(info->reorders, c.reorders) << length << " bytes";
            }
        }
    }
}

TEST(BitReader, RemovesEmulationPreventionAndReadsExpGolomb)
{
    const auto unescaped = [](const Bytes& escaped) {
        const Rbsp rbsp(escaped.data(), escaped.size());
        return Bytes(rbsp.data(), rbsp.data() + rbsp.size());
    };
    EXPECT_EQ(unescaped(fromHex("0000030100000300")), fromHex("000001000000"));
    EXPECT_EQ(unescaped(fromHex("000003")), fromHex("0000"));
    // Beyond the room held in place: the same rule.
    Bytes large, expected;
    for (int i = 0; i < 700; ++i) {
        large.insert(large.end(), {0, 0, 3, static_cast<std::uint8_t>(i)});
        expected.insert(expected.end(), {0, 0, static_cast<std::uint8_t>(i)});
    }
    EXPECT_EQ(unescaped(large), expected);

    // 1 | 010 | 011 | 00100 | 00101 : ue 0, 1, 2, 3, se -2
    const Bytes bits = fromHex("a6428000");
    BitReader in(bits.data(), bits.size());
    EXPECT_EQ(in.ue(), 0u);
    EXPECT_EQ(in.ue(), 1u);
    EXPECT_EQ(in.ue(), 2u);
    EXPECT_EQ(in.ue(), 3u);
    EXPECT_EQ(in.se(), -2);
    EXPECT_FALSE(in.failed());
    in.bits(15);
    EXPECT_FALSE(in.failed());
    EXPECT_EQ(in.bits(1), 0u);
    EXPECT_TRUE(in.failed()); // 33rd bit
}

} // namespace
} // namespace vidlane2
