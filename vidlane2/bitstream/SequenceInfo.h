#pragma once

#include <cstdint>

namespace vidlane2 {

// What a sequence parameter set tells about the pictures that follow it.
struct SequenceInfo {
    std::uint32_t width;  // shown size: coded size less the cropping
    std::uint32_t height;
    bool reorders;        // pictures may be output in another order than decoded
};

// Larger pictures are refused as unreadable; no decoder takes them.
constexpr std::uint32_t kMaxPictureSide = 65536;

} // namespace vidlane2
