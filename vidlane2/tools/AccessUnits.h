#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vidlane2 {

struct ByteRange {
    std::size_t offset;
    std::size_t size;
};

// A NAL unit of an Annex B stream: where its start code begins (with the
// leading zero byte of a four-byte one), and where its header begins.
struct NalUnit {
    std::size_t start;
    std::size_t header;
};

std::vector<NalUnit> findNalUnits(const std::uint8_t* data, std::size_t size);

// Splits an Annex B elementary stream (H.264 or HEVC) into access units, one
// picture each with the parameter sets and SEI that precede it: what one
// decode call takes.
std::vector<ByteRange> splitAccessUnits(const std::uint8_t* data, std::size_t size, bool hevc);

} // namespace vidlane2
