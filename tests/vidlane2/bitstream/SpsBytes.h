#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vidlane2::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes fromHex(const std::string& hex)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Sequence parameter sets (NAL header on, start code off) of streams made with
// Debian's FFmpeg, libx264 and libx265 from its testsrc2 pattern.
namespace sps {
// -preset veryfast (3 B-frames), 1920x1080 coded as 1088 rows.
inline const char* const h264HighBFrames = "67640028acd940780227e5c044000003000400000300f03c60c658";
// -preset veryfast -bf 0: High, pic_order_cnt_type 2.
inline const char* const h264HighNoBFrames = "67640028acb403c0113f2e0220000003002000000781e30654";
// -preset ultrafast -profile:v baseline, 320x240.
inline const char* const h264Baseline = "6742c00dda0507ec0440000003004000000f03c50aa8";
// yuv444p 161x97, -bf 2: High 4:4:4, cropping in single samples.
inline const char* const h264Odd444 = "67f4000b919b2859fc21086022000003000200000300781e28532c";
// -flags +ildct+ilme: field-coded 1920x1080 (frame_mbs_only_flag 0).
inline const char* const h264Interlaced = "67640028acd94078044fde0220000003002000000783e2c5b2c0";
// x265 -preset ultrafast defaults, 1920x1080 coded as 1088 rows.
inline const char* const hevcDefaults = "420101016000000300900000030000030078a003c0801107cb965654a4c2f0168080000003008000000f04";
// bframes=0, 202x142 coded as 208x144.
inline const char* const hevcNoBFrames = "42010101600000030090000003000003003ca01a202472565ba4a4c2f0168080000003008000000f04";
// yuv444p 161x97 coded as 176x112.
inline const char* const hevcOdd444 = "4201010408000003009e0800000300003c9002c40e384210cb2b2a5261780b4040000003004000000782";
// Main10, temporal-layers=1: two sub-layers, 202x142.
inline const char* const hevcTwoSubLayers =
    "42010202200000030090000003000003003c0000a01a20247253659594aca94985e02d010000030001000003001e08";
} // namespace sps

} // namespace vidlane2::test
