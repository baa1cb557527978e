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

// Sets of other HEVC layers than the base one have another syntax; they are skipped.
bool isHevcBaseLayerSps(const std::uint8_t* nal, std::size_t size)
{
    return size >= 2 && ((nal[0] >> 1) & 0x3f) == 33 && (nal[0] & 1) == 0 && (nal[1] >> 3) == 0;
}

bool isH264Sps(const std::uint8_t* nal)
{
    return (nal[0] & 0x1f) == 7;
}

// A unit that holds coded picture data (a slice).
bool isPictureData(const std::uint8_t* nal, bool hevc)
{
    return hevc ? ((nal[0] >> 1) & 0x3f) < 32 : (nal[0] & 0x1f) >= 1 && (nal[0] & 0x1f) <= 5;
}

std::optional<SequenceInfo> readSequence(const std::uint8_t* stream, std::size_t size, bool hevc, bool untilPicture)
{
    for (std::size_t start = nextNal(stream, size, 0); start < size;) {
        const std::uint8_t* nal = stream + start;
        if (untilPicture && isPictureData(nal, hevc))
            break; // before the search for its end, which would read the whole picture
        const std::size_t next = nextNal(stream, size, start);
        // Up to the next start code; trailing zeros are harmless to the reader.
        const std::size_t end = next < size ? next - 3 : size;
        if (hevc && isHevcBaseLayerSps(nal, end - start))
            return readHevcSps(nal, end - start);
        if (!hevc && isH264Sps(nal))
            return readH264Sps(nal, end - start);
        start = next;
    }
    return std::nullopt;
}

} // namespace

std::optional<SequenceInfo> readStreamSequence(const std::uint8_t* stream, std::size_t size, bool hevc)
{
    return readSequence(stream, size, hevc, false);
}

std::optional<SequenceInfo> readPacketSequence(const std::uint8_t* packet, std::size_t size, bool hevc)
{
    return readSequence(packet, size, hevc, true);
}

} // namespace vidlane2
