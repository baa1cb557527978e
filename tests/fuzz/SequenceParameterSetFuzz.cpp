// Fuzzes the sequence parameter set reader: any bytes, either codec, as one NAL
// unit, as a stream and as one packet. What it accepts must be a picture it could describe.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "bitstream/H264Sps.h"
#include "bitstream/HevcSps.h"
#include "bitstream/StreamSequence.h"

namespace {

void check(const std::optional<vidlane2::SequenceInfo>& info)
{
    if (info && (info->width == 0 || info->height == 0 || info->width > vidlane2::kMaxPictureSide ||
                 info->height > vidlane2::kMaxPictureSide)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const bool hevc = data[0] & 1;
    const std::uint8_t* bytes = data + 1;
    const std::size_t length = size - 1;
    check(hevc ? vidlane2::readHevcSps(bytes, length) : vidlane2::readH264Sps(bytes, length));
    check(vidlane2::readStreamSequence(bytes, length, hevc));
    check(vidlane2::readPacketSequence(bytes, length, hevc));
    return 0;
}
