#pragma once

#include "AccessUnits.h"

#include <cstdint>
#include <vector>

namespace vidlane2 {

// What decoding takes from an input file: where each picture lies (one decode
// call each), and the picture size the stream gives.
struct CompressedStream {
    std::vector<ByteRange> pictures;
    std::uint32_t width = 0; // 0 x 0: the stream gives no size that can be read
    std::uint32_t height = 0;
};

// H.264 and HEVC come as Annex B elementary streams, their size from the first
// sequence parameter set; AV1 and VP9 as IVF files, their size from its header.
// codec is a Vidlane_Codec. Throws std::runtime_error for a file in the wrong
// container or a malformed IVF file.
CompressedStream openCompressedStream(const std::vector<std::uint8_t>& bytes, std::uint32_t codec);

} // namespace vidlane2
