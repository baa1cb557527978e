// What the tool finds out from an input's first bytes: the containers it does
// not read, and whether an elementary stream is H.264 or HEVC.
#include "ForeignContainer.h"
#include "StreamCodec.h"

#include <Vidlane2.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vidlane2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes transportPackets(std::size_t count, std::size_t stampBytes)
{
    Bytes b;
    for (std::size_t i = 0; i < count; ++i) {
        b.insert(b.end(), stampBytes, 0x00);
        b.push_back(0x47);
        b.insert(b.end(), 187, 0xff);
    }
    return b;
}

TEST(ForeignContainer, KnownByTheirFirstBytes)
{
    Bytes brokenSync = transportPackets(3, 0);
    brokenSync[188] = 0x46;
    const struct {
        const char* name;
        Bytes bytes;
        const char* container;
    } cases[] = {
        {"MP4", {0, 0, 0, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'}, "MP4/MOV"},
        {"QuickTime opening with its movie box", {0, 0, 0x10, 0, 'm', 'o', 'o', 'v'}, "MP4/MOV"},
        {"QuickTime opening with a wide box", {0, 0, 0, 8, 'w', 'i', 'd', 'e'}, "MP4/MOV"},
        {"Matroska or WebM", {0x1a, 0x45, 0xdf, 0xa3, 0x9f, 0x42, 0x86}, "Matroska/WebM"},
        {"MPEG-TS", transportPackets(3, 0), "MPEG-TS"},
        {"MPEG-TS of one packet", transportPackets(1, 0), "MPEG-TS"},
        {"M2TS (time-stamped packets)", transportPackets(3, 4), "MPEG-TS"},
        {"packets whose second sync byte is wrong", brokenSync, ""},
        {"a sync byte and too little after it", {0x47, 0x40, 0x00}, ""},
        {"an elementary stream", {0, 0, 0, 1, 0x67, 0x42, 0, 0x1e}, ""},
        {"an IVF file", {'D', 'K', 'I', 'F', 0, 0, 32, 0, 'V', 'P', '9', '0'}, ""},
        {"a box type cut short", {0, 0, 0, 0x20, 'f', 't', 'y'}, ""},
        {"nothing", {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(foreignContainer(c.bytes.data(), c.bytes.size()), c.container) << c.name;
}

TEST(ForeignContainer, AdviceNamesTheContainerAndTheFfmpegCommandForTheFile)
{
    const std::string advice = foreignContainerAdvice("Matroska/WebM", "videos/clip.v1.mkv");
    EXPECT_NE(advice.find("the file is Matroska/WebM, a container vidlane-cli does not read"), std::string::npos);
    EXPECT_NE(advice.find("ffmpeg -i videos/clip.v1.mkv -map 0:v:0 -c copy videos/clip.v1.h264 "
                          "(videos/clip.v1.hevc for HEVC, videos/clip.v1.ivf for AV1 or VP9"),
              std::string::npos)
        << advice;
    // A dot in a folder's name is no extension.
    EXPECT_NE(foreignContainerAdvice("MPEG-TS", "my.videos/clip").find("-c copy my.videos/clip.h264"),
              std::string::npos);
}

TEST(StreamCodec, ToldByTheFirstUnitThatOnlyOneCodecCanHave)
{
    const std::optional<std::uint32_t> none;
    const struct {
        const char* name;
        Bytes bytes;
        std::optional<std::uint32_t> codec;
    } cases[] = {
        {"H.264 sequence parameter set", {0, 0, 0, 1, 0x67, 0x64, 0, 0x1f}, VIDLANE_H264},
        {"H.264 after an SEI, with three-byte start codes", {0, 0, 1, 0x06, 0x05, 0x10, 0, 0, 1, 0x68, 0xce}, VIDLANE_H264},
        {"H.264 delimiter", {0, 0, 0, 1, 0x09, 0xf0, 0, 0, 0, 1, 0x41, 0x9a}, VIDLANE_H264},
        {"H.264 IDR picture without parameter sets", {0, 0, 1, 0x65, 0x88, 0x84}, VIDLANE_H264},
        {"HEVC video parameter set", {0, 0, 0, 1, 0x40, 0x01, 0x0c, 0x01}, VIDLANE_HEVC},
        {"HEVC delimiter", {0, 0, 0, 1, 0x46, 0x01, 0x50}, VIDLANE_HEVC},
        {"HEVC CRA picture", {0, 0, 1, 0x2a, 0x01, 0xaf}, VIDLANE_HEVC},
        // 28 01 is an HEVC IDR picture's header and could begin an H.264 picture
        // parameter set: the next unit decides.
        {"a unit both could have, then HEVC", {0, 0, 1, 0x28, 0x01, 0xaf, 0, 0, 1, 0x42, 0x01, 0x01}, VIDLANE_HEVC},
        {"a unit both could have, then H.264", {0, 0, 1, 0x28, 0x01, 0xaf, 0, 0, 1, 0x67, 0x42, 0x00}, VIDLANE_H264},
        {"an HEVC parameter set of another layer", {0, 0, 1, 0x42, 0x09, 0x01}, none},
        {"only H.264 non-IDR slices", {0, 0, 1, 0x41, 0x9a, 0x00, 0, 0, 1, 0x01, 0x9e}, none},
        {"no start code", {'n', 'o', 't', ' ', 'v', 'i', 'd', 'e', 'o'}, none},
        {"a header cut off at the end", {0, 0, 0, 1, 0x40}, none},
        {"nothing", {}, none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(elementaryStreamCodec(c.bytes.data(), c.bytes.size()), c.codec) << c.name;
}

} // namespace
} // namespace vidlane2
