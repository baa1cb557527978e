#pragma once

#include "AccessUnits.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vidlane2 {

// An IVF file (the usual container of AV1 and VP9): its header and where each
// frame lies, one decode call each.
struct IvfFile {
    char fourcc[5];        // "AV01", "VP90", zero-terminated
    std::uint32_t width;   // as the header gives it; 0 when it gives none
    std::uint32_t height;
    std::vector<ByteRange> frames;
};

// Throws std::runtime_error saying what is wrong with a truncated or malformed file.
IvfFile readIvf(const std::uint8_t* data, std::size_t size);

bool looksLikeIvf(const std::uint8_t* data, std::size_t size);

} // namespace vidlane2
