#include "CompressedStream.h"

#include "IvfReader.h"
#include "bitstream/StreamSequence.h"

#include <Vidlane2.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace vidlane2 {

namespace {

std::string printable(const char* fourcc)
{
    std::string text;
    for (const char* c = fourcc; *c; ++c)
        text += (*c >= 0x20 && *c < 0x7f) ? *c : '?';
    return text;
}

CompressedStream openIvf(const std::vector<std::uint8_t>& bytes, std::uint32_t codec)
{
    const IvfFile file = readIvf(bytes.data(), bytes.size());
    const char* expected = codec == VIDLANE_AV1 ? "AV01" : "VP90";
    if (std::strcmp(file.fourcc, expected) != 0)
        throw std::runtime_error("the IVF file holds " + printable(file.fourcc) + ", not " + expected);
    CompressedStream stream;
    stream.pictures = file.frames;
    stream.width = file.width;
    stream.height = file.height;
    if (stream.width == 0 || stream.height == 0)
        stream.width = stream.height = 0;
    return stream;
}

} // namespace

CompressedStream openCompressedStream(const std::vector<std::uint8_t>& bytes, std::uint32_t codec)
{
    if (codec == VIDLANE_AV1 || codec == VIDLANE_VP9)
        return openIvf(bytes, codec);
    if (looksLikeIvf(bytes.data(), bytes.size()))
        throw std::runtime_error("this is an IVF file, which carries AV1 or VP9, not an elementary stream");
    const bool hevc = codec == VIDLANE_HEVC;
    CompressedStream stream;
    stream.pictures = splitAccessUnits(bytes.data(), bytes.size(), hevc);
    if (const std::optional<SequenceInfo> sequence = readStreamSequence(bytes.data(), bytes.size(), hevc)) {
        stream.width = sequence->width;
        stream.height = sequence->height;
    }
    return stream;
}

} // namespace vidlane2
