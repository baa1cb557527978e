// Fuzzes the elementary-stream splitter: any bytes, either codec. The access units
// must lie inside the input, in order, without overlapping, and together hold
// every picture byte the stream carries: nothing read outside, nothing lost twice.
// The codec and container recognition read the same bytes (under ASan: nothing
// read outside them).

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "AccessUnits.h"
#include "ForeignContainer.h"
#include "StreamCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const bool hevc = data[0] & 1;
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;
    vidlane2::elementaryStreamCodec(stream, length);
    vidlane2::foreignContainer(stream, length);
    std::size_t end = 0;
    for (const vidlane2::ByteRange& unit : vidlane2::splitAccessUnits(stream, length, hevc)) {
        if (unit.size == 0 || unit.offset < end || unit.offset > length || unit.size > length - unit.offset) {
            std::abort();
        }
        end = unit.offset + unit.size;
    }
    return 0;
}
