#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vidlane2 {

// Whether an Annex B elementary stream is H.264 or HEVC (a Vidlane_Codec), told
// by the headers of its parameter sets, access unit delimiters and IDR pictures,
// whose header bytes the two codecs never share. Nothing when the stream has
// no such NAL unit.
std::optional<std::uint32_t> elementaryStreamCodec(const std::uint8_t* data, std::size_t size);

} // namespace vidlane2
