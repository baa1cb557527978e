#include "CompressedStream.h"

#include "ForeignContainer.h"
#include "IvfReader.h"
#include "StreamCodec.h"
#include "bitstream/StreamSequence.h"

#include <Vidlane2.h>

#include <cstring>
#include <stdexcept>

namespace vidlane2 {

namespace {

// How an IVF header names each codec, by Vidlane_Codec; the elementary stream
// codecs have no FourCC there.
const char* const kIvfNames[] = {"H.264", "HEVC", "AV01", "VP90"};

std::string printable(const char* fourcc)
{
    std::string text;
    for (const char* c = fourcc; *c; ++c)
        text += (*c >= 0x20 && *c < 0x7f) ? *c : '?';
    return text;
}

CompressedStream openIvf(const std::vector<std::uint8_t>& bytes, std::optional<std::uint32_t> codec)
{
    const IvfFile file = readIvf(bytes.data(), bytes.size());
    std::optional<std::uint32_t> held;
    for (const std::uint32_t known : {VIDLANE_AV1, VIDLANE_VP9})
        if (std::strcmp(file.fourcc, kIvfNames[known]) == 0)
            held = known;
    if (!held && !codec)
        throw std::runtime_error("the IVF file holds " + printable(file.fourcc) + ", which is neither AV1 (AV01) nor "
                                 "VP9 (VP90)");
    if (codec && codec != held)
        throw std::runtime_error("the IVF file holds " + printable(file.fourcc) + ", not " + kIvfNames[*codec]);
    CompressedStream stream;
    stream.codec = *held;
    stream.pictures = file.frames;
    stream.width = file.width;
    stream.height = file.height;
    if (stream.width == 0 || stream.height == 0)
        stream.width = stream.height = 0;
    return stream;
}

CompressedStream openElementaryStream(const std::vector<std::uint8_t>& bytes, std::optional<std::uint32_t> codec)
{
    if (!codec)
        codec = elementaryStreamCodec(bytes.data(), bytes.size());
    if (!codec)
        throw std::runtime_error("neither an H.264 nor an HEVC elementary stream: none of its NAL units is a "
                                 "parameter set, delimiter or IDR picture of either (give --codec h264 or "
                                 "--codec hevc to read it all the same)");
    CompressedStream stream;
    stream.codec = *codec;
    const bool hevc = *codec == VIDLANE_HEVC;
    stream.pictures = splitAccessUnits(bytes.data(), bytes.size(), hevc);
    if (const std::optional<SequenceInfo> sequence = readStreamSequence(bytes.data(), bytes.size(), hevc)) {
        stream.width = sequence->width;
        stream.height = sequence->height;
    }
    return stream;
}

} // namespace

CompressedStream openCompressedStream(const std::vector<std::uint8_t>& bytes, std::optional<std::uint32_t> codec,
                                      const std::string& path)
{
    const std::string container = foreignContainer(bytes.data(), bytes.size());
    if (!container.empty())
        throw std::runtime_error(foreignContainerAdvice(container, path));
    if (looksLikeIvf(bytes.data(), bytes.size()) || codec == VIDLANE_AV1 || codec == VIDLANE_VP9)
        return openIvf(bytes, codec);
    return openElementaryStream(bytes, codec);
}

} // namespace vidlane2
