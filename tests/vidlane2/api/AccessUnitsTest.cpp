#include "AccessUnits.h"

#include <gtest/gtest.h>

#include <vector>

namespace vidlane2 {
namespace {

using Bytes = std::vector<uint8_t>;

void append(Bytes& stream, const Bytes& nal, bool longStartCode = true)
{
    if (longStartCode)
        stream.push_back(0);
    stream.insert(stream.end(), {0, 0, 1});
    stream.insert(stream.end(), nal.begin(), nal.end());
}

std::vector<size_t> sizes(const Bytes& stream, bool hevc)
{
    std::vector<size_t> out;
    size_t next = 0;
    for (const ByteRange& unit : splitAccessUnits(stream.data(), stream.size(), hevc)) {
        EXPECT_EQ(unit.offset, next); // units tile the stream
        next = unit.offset + unit.size;
        out.push_back(unit.size);
    }
    EXPECT_EQ(next, stream.size());
    return out;
}

TEST(AccessUnits, H264PicturesStartAtParameterSetsOrAFirstSlice)
{
    Bytes s;
    append(s, {0x67, 0x42, 0x00}); // SPS
    append(s, {0x68, 0xCE});       // PPS
    append(s, {0x65, 0x88, 0x84}); // IDR slice, first_mb_in_slice 0
    append(s, {0x65, 0x21, 0x11}); // second slice of the same picture
    const size_t first = s.size();
    append(s, {0x41, 0x9A, 0x02}, false); // P slice, first of the next picture
    append(s, {0x06, 0x05, 0x01});        // SEI opens the third picture
    append(s, {0x41, 0x9B, 0x03});
    EXPECT_EQ(sizes(s, false), (std::vector<size_t>{first, 6, 14}));
}

TEST(AccessUnits, HevcUsesTheFirstSliceSegmentFlag)
{
    Bytes s;
    append(s, {0x40, 0x01, 0x0C}); // VPS
    append(s, {0x42, 0x01, 0x01}); // SPS
    append(s, {0x44, 0x01, 0xC1}); // PPS
    append(s, {0x26, 0x01, 0xAF}); // IDR_W_RADL, first segment
    append(s, {0x26, 0x01, 0x2F}); // a later segment of it
    const size_t first = s.size();
    append(s, {0x02, 0x01, 0xD0}); // TRAIL_R, first segment
    EXPECT_EQ(sizes(s, true), (std::vector<size_t>{first, 7}));
}

TEST(AccessUnits, GarbageWithoutStartCodesYieldsNothingAndTruncatedNalsDoNotOverrun)
{
    const Bytes garbage = {0xFF, 0x00, 0x00, 0x02, 0x13};
    EXPECT_TRUE(splitAccessUnits(garbage.data(), garbage.size(), false).empty());
    const Bytes cut = {0x00, 0x00, 0x01, 0x65}; // header byte only
    EXPECT_EQ(splitAccessUnits(cut.data(), cut.size(), false).size(), 1u);
    EXPECT_EQ(splitAccessUnits(cut.data(), cut.size(), true).size(), 1u);
    EXPECT_TRUE(splitAccessUnits(nullptr, 0, true).empty());
}

} // namespace
} // namespace vidlane2
