#include "ForeignContainer.h"

#include <cstring>

namespace vidlane2 {

namespace {

constexpr std::size_t kTransportPacket = 188;

// An ISO base media file (MP4, MOV, 3GP) is a row of boxes, each a 32-bit size
// and a four-letter type; files begin with one of these.
bool isoBaseMedia(const std::uint8_t* data, std::size_t size)
{
    static const char* const kFirstBoxes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "styp"};
    if (size < 8)
        return false;
    for (const char* box : kFirstBoxes)
        if (std::memcmp(data + 4, box, 4) == 0)
            return true;
    return false;
}

// Matroska and WebM begin with an EBML header.
bool matroska(const std::uint8_t* data, std::size_t size)
{
    static const std::uint8_t kEbml[] = {0x1a, 0x45, 0xdf, 0xa3};
    return size >= 4 && std::memcmp(data, kEbml, 4) == 0;
}

// Packets of 188 bytes, each opening with the sync byte 0x47; Blu-ray's M2TS puts
// a four-byte time stamp before each. An elementary stream opens with zero bytes.
bool transportStream(const std::uint8_t* data, std::size_t size)
{
    for (const std::size_t stride : {kTransportPacket, kTransportPacket + 4}) {
        const std::size_t first = stride - kTransportPacket;
        bool synced = size >= first + kTransportPacket;
        for (std::size_t at = first; synced && at < size && at < first + 3 * stride; at += stride)
            synced = data[at] == 0x47;
        if (synced)
            return true;
    }
    return false;
}

} // namespace

std::string foreignContainer(const std::uint8_t* data, std::size_t size)
{
    if (isoBaseMedia(data, size))
        return "MP4/MOV";
    if (matroska(data, size))
        return "Matroska/WebM";
    if (transportStream(data, size))
        return "MPEG-TS";
    return "";
}

std::string foreignContainerAdvice(const std::string& container, const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? path.substr(0, dot)
                                 : path;
    return "the file is " + container +
           ", a container vidlane-cli does not read; it reads H.264/HEVC elementary streams and AV1/VP9 IVF "
           "files. Take the video out with FFmpeg: ffmpeg -i " +
           path + " -map 0:v:0 -c copy " + stem + ".h264 (" + stem + ".hevc for HEVC, " + stem +
           ".ivf for AV1 or VP9; ffprobe " + path + " names the codec)";
}

} // namespace vidlane2
