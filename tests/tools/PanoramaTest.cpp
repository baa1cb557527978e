// The embedded sky panorama: a progressive JPEG of 6000 × 3000 pixels in three
// 8-bit channels, holding a star field with the Milky Way along its middle.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include <stb_image.h>

#include "SkyAssets.h"

namespace {

struct FrameHeader {
    int marker = 0; // the SOFn marker's second byte
    int precision = 0;
    int height = 0;
    int width = 0;
    int components = 0;
    int frames = 0;
};

// Walks the marker segments up to the first scan.
FrameHeader ReadFrameHeader(const unsigned char* bytes, size_t size)
{
    FrameHeader header;
    if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return header;
    }
    size_t at = 2;
    while (at + 4 <= size && bytes[at] == 0xFF) {
        const int marker = bytes[at + 1];
        const size_t length = (static_cast<size_t>(bytes[at + 2]) << 8) | bytes[at + 3];
        const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame && at + 10 <= size) {
            header.marker = marker;
            header.precision = bytes[at + 4];
            header.height = (bytes[at + 5] << 8) | bytes[at + 6];
            header.width = (bytes[at + 7] << 8) | bytes[at + 8];
            header.components = bytes[at + 9];
            ++header.frames;
        }
        if (marker == 0xDA) {
            break; // start of scan: the header segments are behind us
        }
        at += 2 + length;
    }
    return header;
}

TEST(Panorama, IsAProgressiveThreeChannelJpegOf6000By3000)
{
    const FrameHeader header = ReadFrameHeader(skyPanorama, skyPanoramaSize);
    EXPECT_EQ(header.frames, 1);
    EXPECT_EQ(header.marker, 0xC2) << "SOF2, progressive Huffman";
    EXPECT_EQ(header.precision, 8);
    EXPECT_EQ(header.width, 6000);
    EXPECT_EQ(header.height, 3000);
    EXPECT_EQ(header.components, 3);
    EXPECT_EQ(skyPanorama[skyPanoramaSize - 2], 0xFF);
    EXPECT_EQ(skyPanorama[skyPanoramaSize - 1], 0xD9) << "ends with EOI";
}

TEST(Panorama, DecodesToAStarFieldWithABandAcrossTheMiddle)
{
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(skyPanorama, static_cast<int>(skyPanoramaSize), &width, &height, &channels, 0);
    ASSERT_NE(pixels, nullptr) << stbi_failure_reason();
    ASSERT_EQ(width, 6000);
    ASSERT_EQ(height, 3000);
    ASSERT_EQ(channels, 3);

    // Mean brightness of a band of rows, and the share of star-bright pixels in it.
    auto rows = [&](int first, int last, double& mean, double& starShare) {
        uint64_t sum = 0, stars = 0, count = 0;
        for (int y = first; y < last; ++y) {
            const unsigned char* row = pixels + static_cast<size_t>(y) * width * 3;
            for (int x = 0; x < width * 3; x += 3) {
                const int value = (row[x] + row[x + 1] + row[x + 2]) / 3;
                sum += value;
                stars += value > 120;
                ++count;
            }
        }
        mean = static_cast<double>(sum) / count;
        starShare = static_cast<double>(stars) / count;
    };
    double middle = 0, middleStars = 0, north = 0, northStars = 0, south = 0, southStars = 0;
    rows(1450, 1550, middle, middleStars);
    rows(300, 400, north, northStars);
    rows(2600, 2700, south, southStars);
    stbi_image_free(pixels);

    EXPECT_GT(middle, 2.0 * north) << "the Milky Way should light the middle rows";
    EXPECT_GT(middle, 2.0 * south);
    EXPECT_LT(north, 40.0) << "the sky away from the band should be dark";
    EXPECT_GT(northStars, 1e-4) << "stars away from the band";
    EXPECT_GT(southStars, 1e-4);
}

} // namespace
