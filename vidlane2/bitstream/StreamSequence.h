#pragma once

#include "bitstream/SequenceInfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vidlane2 {

// The first sequence parameter set of an Annex B stream (H.264, or HEVC when
// hevc), read. Nothing if the stream has none or it cannot be read.
std::optional<SequenceInfo> readStreamSequence(const std::uint8_t* stream, std::size_t size, bool hevc);

// The same for one access unit, whose parameter sets come before its picture
// data: the reading stops at the first slice, so that a packet without
// parameter sets costs a look at its first units only.
std::optional<SequenceInfo> readPacketSequence(const std::uint8_t* packet, std::size_t size, bool hevc);

} // namespace vidlane2
