#include "IvfReader.h"

#include <cstring>
#include <stdexcept>

namespace vidlane2 {

namespace {

constexpr std::size_t kFileHeader = 32;
constexpr std::size_t kFrameHeader = 12;

std::uint32_t le16(const std::uint8_t* p)
{
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t le32(const std::uint8_t* p)
{
    return le16(p) | le16(p + 2) << 16;
}

[[noreturn]] void malformed(const std::string& what)
{
    throw std::runtime_error("not a readable IVF file: " + what);
}

} // namespace

bool looksLikeIvf(const std::uint8_t* data, std::size_t size)
{
    return size >= 4 && std::memcmp(data, "DKIF", 4) == 0;
}

IvfFile readIvf(const std::uint8_t* data, std::size_t size)
{
    if (!looksLikeIvf(data, size))
        malformed("it does not begin with DKIF");
    if (size < kFileHeader)
        malformed("its 32-byte header is cut off after " + std::to_string(size) + " bytes");
    if (le16(data + 4) != 0)
        malformed("version " + std::to_string(le16(data + 4)) + " (only 0 is known)");
    const std::size_t headerSize = le16(data + 6);
    if (headerSize < kFileHeader || headerSize > size)
        malformed("header length " + std::to_string(headerSize) + " in a file of " + std::to_string(size) + " bytes");

    IvfFile file{};
    std::memcpy(file.fourcc, data + 8, 4);
    file.width = le16(data + 12);
    file.height = le16(data + 14);
    for (std::size_t at = headerSize; at < size;) {
        const std::string frame = "frame " + std::to_string(file.frames.size()) + " at byte " + std::to_string(at);
        if (size - at < kFrameHeader)
            malformed(frame + ": its 12-byte header is cut off");
        const std::size_t length = le32(data + at);
        at += kFrameHeader;
        if (length == 0)
            malformed(frame + " is empty");
        if (length > size - at)
            malformed(frame + " claims " + std::to_string(length) + " bytes, " + std::to_string(size - at) +
                      " are left");
        file.frames.push_back({at, length});
        at += length;
    }
    if (file.frames.empty())
        malformed("it holds no frame");
    return file;
}

} // namespace vidlane2
