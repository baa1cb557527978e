#pragma once

#include "bitstream/SequenceInfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vidlane2 {

// Reads an HEVC sequence parameter set: nal starts at the two-byte NAL header
// (type 33), without start code. Nothing if it is not one or cannot be read.
std::optional<SequenceInfo> readHevcSps(const std::uint8_t* nal, std::size_t size);

} // namespace vidlane2
