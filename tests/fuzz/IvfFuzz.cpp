// Fuzzes the IVF reader: any bytes. It either refuses them with a text or gives
// frames that lie inside the input, in order, each after its own header.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "IvfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vidlane2::IvfFile file;
    try {
        file = vidlane2::readIvf(data, size);
    } catch (const std::runtime_error&) {
        return 0;
    }
    std::size_t end = 32;
    for (const vidlane2::ByteRange& frame : file.frames) {
        if (frame.size == 0 || frame.offset < end + 12 || frame.offset > size || frame.size > size - frame.offset) {
            std::abort();
        }
        end = frame.offset + frame.size;
    }
    if (file.frames.empty() || end != size) {
        std::abort();
    }
    return 0;
}
