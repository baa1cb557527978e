#pragma once

#include "AccessUnits.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vidlane2 {

// What decoding takes from an input file: its codec (a Vidlane_Codec), where
// each picture lies (one decode call each), and the picture size the stream gives.
struct CompressedStream {
    std::uint32_t codec = 0;
    std::vector<ByteRange> pictures;
    std::uint32_t width = 0; // 0 x 0: the stream gives no size that can be read
    std::uint32_t height = 0;
};

// H.264 and HEVC come as Annex B elementary streams, their size from the first
// sequence parameter set; AV1 and VP9 as IVF files, their size from its header.
// Without a codec it is found from the file: an IVF header's FourCC, or an
// elementary stream's NAL unit headers. Throws std::runtime_error, its text
// naming path where that helps, for a file in a container the tool does not
// read, one that contradicts the codec given, a malformed IVF file, and an
// elementary stream whose codec cannot be told.
CompressedStream openCompressedStream(const std::vector<std::uint8_t>& bytes, std::optional<std::uint32_t> codec,
                                      const std::string& path);

} // namespace vidlane2
