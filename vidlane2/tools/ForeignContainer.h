#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vidlane2 {

// The containers that the tool does not read but users often have: MP4/MOV
// ("MP4/MOV"), Matroska/WebM ("Matroska/WebM") and MPEG-TS ("MPEG-TS"), known by
// their first bytes. Empty for anything else.
std::string foreignContainer(const std::uint8_t* data, std::size_t size);

// Why a file in that container is refused, and how FFmpeg takes its video
// stream out into a file the tool reads.
std::string foreignContainerAdvice(const std::string& container, const std::string& path);

} // namespace vidlane2
