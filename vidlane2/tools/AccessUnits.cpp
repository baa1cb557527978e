#include "AccessUnits.h"

namespace vidlane2 {

namespace {

// Whether the NAL unit at p (its header) begins a new picture, and whether it
// is a picture's slice at all.
struct NalKind {
    bool slice;
    bool firstSlice;
    bool leadsPicture; // parameter sets, SEI, delimiters: they open the next picture
};

NalKind classify(const std::uint8_t* p, std::size_t available, bool hevc)
{
    NalKind kind{false, false, false};
    if (hevc) {
        if (available < 3)
            return kind;
        const unsigned type = (p[0] >> 1) & 0x3f;
        kind.slice = type <= 31;
        kind.firstSlice = kind.slice && (p[2] & 0x80) != 0;
        kind.leadsPicture = (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44);
    } else {
        if (available < 2)
            return kind;
        const unsigned type = p[0] & 0x1f;
        kind.slice = type >= 1 && type <= 5;
        // first_mb_in_slice == 0 is the single bit '1' of its Exp-Golomb code.
        kind.firstSlice = kind.slice && (p[1] & 0x80) != 0;
        kind.leadsPicture = (type >= 6 && type <= 9) || (type >= 14 && type <= 18);
    }
    return kind;
}

} // namespace

std::vector<NalUnit> findNalUnits(const std::uint8_t* data, std::size_t size)
{
    std::vector<NalUnit> units;
    for (std::size_t i = 0; i + 3 <= size;) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            const std::size_t start = (i > 0 && data[i - 1] == 0) ? i - 1 : i;
            units.push_back({start, i + 3});
            i += 3;
        } else {
            ++i;
        }
    }
    return units;
}

std::vector<ByteRange> splitAccessUnits(const std::uint8_t* data, std::size_t size, bool hevc)
{
    std::vector<ByteRange> units;
    const std::vector<NalUnit> nals = findNalUnits(data, size);
    std::size_t unitStart = 0;
    bool unitHasSlice = false;
    for (const NalUnit& nal : nals) {
        const NalKind kind = classify(data + nal.header, size - nal.header, hevc);
        if (unitHasSlice && (kind.leadsPicture || kind.firstSlice)) {
            units.push_back({unitStart, nal.start - unitStart});
            unitStart = nal.start;
            unitHasSlice = false;
        }
        unitHasSlice = unitHasSlice || kind.slice;
    }
    if (!nals.empty() && unitStart < size)
        units.push_back({unitStart, size - unitStart});
    return units;
}

} // namespace vidlane2
