// Which colour space a decoded stream converts with.
#include "codec/StreamColour.h"

#include <gtest/gtest.h>

namespace vidlane2 {
namespace {

CUVIDEOFORMAT formatOf(cudaVideoCodec codec, int matrix, int fullRange)
{
    CUVIDEOFORMAT format{};
    format.codec = codec;
    format.video_signal_description.matrix_coefficients = static_cast<unsigned char>(matrix);
    format.video_signal_description.video_full_range_flag = static_cast<unsigned char>(fullRange);
    return format;
}

TEST(StreamColour, MatrixAndRangeFollowTheSignalDescription)
{
    const struct {
        int matrix, fullRange;
        ColourSpace expected;
    } cases[] = {
        {1, 0, {YuvMatrix::Bt709, YuvRange::Limited}},    {1, 1, {YuvMatrix::Bt709, YuvRange::Full}},
        {5, 0, {YuvMatrix::Bt601, YuvRange::Limited}},    {6, 1, {YuvMatrix::Bt601, YuvRange::Full}},
        {9, 0, {YuvMatrix::Bt2020Ncl, YuvRange::Limited}}, {9, 1, {YuvMatrix::Bt2020Ncl, YuvRange::Full}},
        // No description, unspecified, and matrices without a rule of their own: BT.709.
        {0, 0, kBt709Limited},                             {2, 0, kBt709Limited},
        {2, 1, {YuvMatrix::Bt709, YuvRange::Full}},        {10, 0, kBt709Limited},
        {7, 1, {YuvMatrix::Bt709, YuvRange::Full}},
    };
    for (const cudaVideoCodec codec : {cudaVideoCodec_H264, cudaVideoCodec_HEVC, cudaVideoCodec_AV1})
        for (const auto& c : cases)
            EXPECT_TRUE(streamColourSpace(formatOf(codec, c.matrix, c.fullRange), -1) == c.expected)
                << "codec " << codec << " matrix " << c.matrix << " full range " << c.fullRange;
}

TEST(StreamColour, Vp9ColourSpaceFieldStandsInForAMissingMatrix)
{
    const struct {
        int matrix, vp9ColourSpace, fullRange;
        ColourSpace expected;
    } cases[] = {
        {0, 1, 0, {YuvMatrix::Bt601, YuvRange::Limited}},    {0, 3, 1, {YuvMatrix::Bt601, YuvRange::Full}},
        {2, 2, 0, kBt709Limited},                             {0, 5, 0, {YuvMatrix::Bt2020Ncl, YuvRange::Limited}},
        {0, 0, 0, kBt709Limited},                             {0, 7, 1, {YuvMatrix::Bt709, YuvRange::Full}},
        {0, -1, 0, kBt709Limited},
        // A described matrix wins over the picture field.
        {9, 1, 0, {YuvMatrix::Bt2020Ncl, YuvRange::Limited}},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(streamColourSpace(formatOf(cudaVideoCodec_VP9, c.matrix, c.fullRange), c.vp9ColourSpace) ==
                    c.expected)
            << "matrix " << c.matrix << " colour space " << c.vp9ColourSpace;
    // Other codecs never read the VP9 field.
    EXPECT_TRUE(streamColourSpace(formatOf(cudaVideoCodec_H264, 0, 0), 1) == kBt709Limited);
}

} // namespace
} // namespace vidlane2
