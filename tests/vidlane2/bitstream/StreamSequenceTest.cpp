#include "SpsBytes.h"

#include "bitstream/StreamSequence.h"

#include <gtest/gtest.h>

namespace vidlane2 {
namespace {

using test::Bytes;
using test::fromHex;

void append(Bytes& stream, const Bytes& nal, bool longStartCode = true)
{
    if (longStartCode)
        stream.push_back(0);
    stream.insert(stream.end(), {0, 0, 1});
    stream.insert(stream.end(), nal.begin(), nal.end());
}

TEST(StreamSequence, FindsTheFirstSequenceParameterSetAmongOtherUnits)
{
    Bytes h264;
    append(h264, {0x09, 0xf0});                           // access unit delimiter
    append(h264, {0x06, 0x05, 0x01, 0x00, 0x80}, false);  // SEI
    append(h264, fromHex(test::sps::h264Baseline));
    append(h264, {0x68, 0xce, 0x3c, 0x80});               // PPS
    append(h264, fromHex(test::sps::h264HighBFrames));    // a later one does not count
    auto info = readStreamSequence(h264.data(), h264.size(), false);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 320u);
    EXPECT_FALSE(info->reorders);

    Bytes hevc;
    append(hevc, {0x40, 0x01, 0x0c, 0x01});                // VPS
    Bytes otherLayer = fromHex(test::sps::hevcNoBFrames);
    otherLayer[1] |= 0x08;
    append(hevc, otherLayer);                              // skipped: not the base layer
    append(hevc, fromHex(test::sps::hevcDefaults));
    info = readStreamSequence(hevc.data(), hevc.size(), true);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 1920u);
    EXPECT_EQ(info->height, 1080u);
}

TEST(StreamSequence, NoneOrAnUnreadableFirstOneGivesNothing)
{
    Bytes slicesOnly;
    append(slicesOnly, {0x65, 0x88, 0x84, 0x00});
    EXPECT_FALSE(readStreamSequence(slicesOnly.data(), slicesOnly.size(), false));
    EXPECT_FALSE(readStreamSequence(nullptr, 0, true));

    Bytes broken;
    append(broken, {0x67, 0x64, 0x00}); // cut short
    append(broken, fromHex(test::sps::h264Baseline));
    EXPECT_FALSE(readStreamSequence(broken.data(), broken.size(), false));

    const Bytes startCodeAtTheEnd = {0x00, 0x00, 0x01};
    EXPECT_FALSE(readStreamSequence(startCodeAtTheEnd.data(), startCodeAtTheEnd.size(), false));
}

TEST(StreamSequence, APacketIsReadUpToItsFirstSlice)
{
    // H.264: an IDR slice (type 5) before the set, then a non-IDR one (type 1);
    // HEVC: a trailing picture's slice (type 1) before the set.
    for (const std::uint8_t slice : {0x65, 0x41}) {
        Bytes packet;
        append(packet, {0x09, 0xf0});
        append(packet, {slice, 0x88, 0x84, 0x00});
        append(packet, fromHex(test::sps::h264HighBFrames));
        EXPECT_TRUE(readStreamSequence(packet.data(), packet.size(), false));
        EXPECT_FALSE(readPacketSequence(packet.data(), packet.size(), false));
    }
    Bytes hevc;
    append(hevc, {0x02, 0x01, 0xd0});
    append(hevc, fromHex(test::sps::hevcDefaults));
    EXPECT_TRUE(readStreamSequence(hevc.data(), hevc.size(), true));
    EXPECT_FALSE(readPacketSequence(hevc.data(), hevc.size(), true));

    // The parameter sets of an access unit come first: read as in a stream.
    Bytes unit;
    append(unit, {0x09, 0xf0});
    append(unit, fromHex(test::sps::h264HighBFrames));
    append(unit, {0x68, 0xce, 0x3c, 0x80});
    append(unit, {0x65, 0x88, 0x84, 0x00});
    const auto info = readPacketSequence(unit.data(), unit.size(), false);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->reorders);
}

} // namespace
} // namespace vidlane2
