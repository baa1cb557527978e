#include "bitstream/StreamSequence.h"

#include "bitstream/H264Sps.h"
#include "bitstream/HevcSps.h"

namespace vidlane2 {

namespace {

// The start of the next start code's payload at or after from, or size.
std::size_t nextNal(const std::uint8_t* stream, std::size_t size, std::size_t from)
{
    for (std::size_t i = from; i + 3 <= size; ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1)
            return i + 3;
    return size;
}

} // namespace

std::optional<SequenceInfo> readStreamSequence(const std::uint8_t* stream, std::size_t size, bool hevc)
{
    for (std::size_t start = nextNal(stream, size, 0); start < size;) {
        const std::size_t next = nextNal(stream, size, start);
        // Up to the next start code; trailing zeros are harmless to the reader.
        const std::size_t end = next < size ? next - 3 : size;
        const std::uint8_t type = hevc ? (stream[start] >> 1) & 0x3f : stream[start] & 0x1f;
        const bool baseLayer = !hevc || ((stream[start] & 1) == 0 && (end - start < 2 || stream[start + 1] >> 3 == 0));
        if (hevc && type == 33 && baseLayer)
            return readHevcSps(stream + start, end - start);
        if (!hevc && type == 7)
            return readH264Sps(stream + start, end - start);
        start = next;
    }
    return std::nullopt;
}

} // namespace vidlane2
