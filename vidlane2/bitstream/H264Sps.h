#pragma once

#include "bitstream/SequenceInfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vidlane2 {

// Reads an H.264 sequence parameter set: nal starts at the NAL header byte
// (type 7), without start code. Nothing if it is not one or cannot be read.
std::optional<SequenceInfo> readH264Sps(const std::uint8_t* nal, std::size_t size);

} // namespace vidlane2
