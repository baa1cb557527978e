#pragma once

#include <cstdint>

namespace vidlane2 {

// Bytes of one frame in memory, in 32-bit arithmetic; 0 for an unknown format.
std::uint32_t frameSize(std::uint32_t format, std::uint32_t width, std::uint32_t height);

// Width of the session pictures: the scalar formats of 16 and 32 bits spread
// their bytes over two or four luma tiles side by side.
std::uint32_t effectiveWidth(std::uint32_t format, std::uint32_t width);

// True for the format values the library knows (0 to 6).
bool isKnownFormat(std::uint32_t format);

// Refuses a frame that no session can carry: an empty size, an odd width of
// 4-bit data (its packed rows would overlap), and a frame whose size in memory
// or whose session width does not fit 32 bits, which would wrap and under-size
// every buffer for it.
void checkFrameDimensions(std::uint32_t format, std::uint32_t width, std::uint32_t height);

} // namespace vidlane2
