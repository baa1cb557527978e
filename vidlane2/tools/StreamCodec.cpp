#include "StreamCodec.h"

#include "AccessUnits.h"

#include <Vidlane2.h>

namespace vidlane2 {

namespace {

// H.264's one-byte header: forbidden bit, nal_ref_idc (2 bits), type (5 bits).
// Parameter sets and IDR slices are referenced (nal_ref_idc above 0); a
// delimiter never is.
bool h264Landmark(std::uint8_t header)
{
    if (header & 0x80)
        return false;
    const unsigned type = header & 0x1f;
    const bool referenced = (header & 0x60) != 0;
    return ((type == 5 || type == 7 || type == 8) && referenced) || header == 0x09;
}

// HEVC's two-byte header: forbidden bit, type (6 bits), nuh_layer_id (6 bits),
// TemporalId + 1 (3 bits). Parameter sets, delimiters and IRAP pictures of the
// base layer have TemporalId 0, so the second byte is 1.
bool hevcLandmark(std::uint8_t first, std::uint8_t second)
{
    if ((first & 0x81) != 0 || second != 0x01)
        return false;
    const unsigned type = first >> 1;
    return (type >= 32 && type <= 35) || (type >= 19 && type <= 21);
}

} // namespace

std::optional<std::uint32_t> elementaryStreamCodec(const std::uint8_t* data, std::size_t size)
{
    for (const NalUnit& unit : findNalUnits(data, size)) {
        if (size - unit.header < 2)
            break;
        const std::uint8_t* header = data + unit.header;
        const bool h264 = h264Landmark(header[0]);
        const bool hevc = hevcLandmark(header[0], header[1]);
        if (h264 != hevc)
            return h264 ? VIDLANE_H264 : VIDLANE_HEVC;
    }
    return std::nullopt;
}

} // namespace vidlane2
