#include "bitstream/H264Sps.h"

#include "bitstream/BitReader.h"

#include <vector>

namespace vidlane2 {

namespace {

bool hasChromaFormat(std::uint32_t profile)
{
    switch (profile) {
    case 100: case 110: case 122: case 244: case 44: case 83:
    case 86: case 118: case 128: case 138: case 139: case 134: case 135:
        return true;
    default:
        return false;
    }
}

void skipScalingList(BitReader& in, unsigned entries)
{
    std::int32_t last = 8;
    std::int32_t next = 8;
    for (unsigned i = 0; i < entries && !in.failed(); ++i) {
        if (next != 0) {
            const std::int32_t delta = in.se();
            if (delta < -128 || delta > 127) {
                in.fail();
                return;
            }
            next = (last + delta + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
}

void skipHrd(BitReader& in)
{
    const std::uint32_t count = in.ue() + 1;
    if (count > 32) {
        in.fail();
        return;
    }
    in.bits(8); // bit_rate_scale, cpb_size_scale
    for (std::uint32_t i = 0; i < count && !in.failed(); ++i) {
        in.ue();
        in.ue();
        in.flag();
    }
    in.bits(20); // four delays and lengths
}

// The VUI up to max_num_reorder_frames, which is all that is needed of it.
// Returns that value, or -1 where bitstream_restriction is absent.
std::int64_t readVuiReorderFrames(BitReader& in)
{
    if (in.flag() && in.bits(8) == 255) // aspect_ratio_idc, Extended_SAR
        in.bits(32);
    if (in.flag()) // overscan_info_present_flag
        in.flag();
    if (in.flag()) { // video_signal_type_present_flag
        in.bits(4);
        if (in.flag())
            in.bits(24);
    }
    if (in.flag()) { // chroma_loc_info_present_flag
        in.ue();
        in.ue();
    }
    if (in.flag()) { // timing_info_present_flag
        in.bits(32);
        in.bits(32);
        in.flag();
    }
    const bool nalHrd = in.flag();
    if (nalHrd)
        skipHrd(in);
    const bool vclHrd = in.flag();
    if (vclHrd)
        skipHrd(in);
    if (nalHrd || vclHrd)
        in.flag(); // low_delay_hrd_flag
    in.flag();     // pic_struct_present_flag
    if (!in.flag())
        return -1;
    in.flag(); // motion_vectors_over_pic_boundaries_flag
    for (int i = 0; i < 4; ++i)
        in.ue();
    return in.ue();
}

} // namespace

std::optional<SequenceInfo> readH264Sps(const std::uint8_t* nal, std::size_t size)
{
    if (size < 2 || (nal[0] & 0x1f) != 7)
        return std::nullopt;
    const Rbsp rbsp(nal + 1, size - 1);
    BitReader in(rbsp.data(), rbsp.size());

    const std::uint32_t profile = in.bits(8);
    in.bits(16); // constraint flags, level_idc
    if (in.ue() > 31) // seq_parameter_set_id
        return std::nullopt;
    std::uint32_t chromaFormat = 1;
    bool separateColourPlanes = false;
    if (hasChromaFormat(profile)) {
        chromaFormat = in.ue();
        if (chromaFormat > 3)
            return std::nullopt;
        if (chromaFormat == 3)
            separateColourPlanes = in.flag();
        if (in.ue() > 6 || in.ue() > 6) // bit depths
            return std::nullopt;
        in.flag(); // qpprime_y_zero_transform_bypass_flag
        if (in.flag()) {
            const unsigned lists = chromaFormat == 3 ? 12 : 8;
            for (unsigned i = 0; i < lists; ++i)
                if (in.flag())
                    skipScalingList(in, i < 6 ? 16 : 64);
        }
    }
    if (in.ue() > 12) // log2_max_frame_num_minus4
        return std::nullopt;
    const std::uint32_t pocType = in.ue();
    if (pocType == 0) {
        if (in.ue() > 12)
            return std::nullopt;
    } else if (pocType == 1) {
        in.flag();
        in.se();
        in.se();
        const std::uint32_t cycle = in.ue();
        if (cycle > 255)
            return std::nullopt;
        for (std::uint32_t i = 0; i < cycle && !in.failed(); ++i)
            in.se();
    } else if (pocType != 2) {
        return std::nullopt;
    }
    in.ue();   // max_num_ref_frames
    in.flag(); // gaps_in_frame_num_value_allowed_flag
    const std::uint64_t widthMbs = std::uint64_t{in.ue()} + 1;
    const std::uint64_t heightMapUnits = std::uint64_t{in.ue()} + 1;
    const bool frameMbsOnly = in.flag();
    if (!frameMbsOnly)
        in.flag(); // mb_adaptive_frame_field_flag
    in.flag();     // direct_8x8_inference_flag
    std::uint64_t crop[4] = {0, 0, 0, 0}; // left, right, top, bottom
    if (in.flag())
        for (std::uint64_t& c : crop)
            c = in.ue();
    std::int64_t reorderFrames = -1;
    if (in.flag())
        reorderFrames = readVuiReorderFrames(in);
    if (in.failed())
        return std::nullopt;

    // Crop units: 4:2:0 crops pairs of columns and rows, 4:2:2 pairs of
    // columns; a field-coded frame counts rows in both fields.
    const std::uint32_t chromaArrayType = separateColourPlanes ? 0 : chromaFormat;
    const std::uint64_t unitX = (chromaArrayType == 1 || chromaArrayType == 2) ? 2 : 1;
    const std::uint64_t unitY = (chromaArrayType == 1 ? 2 : 1) * (frameMbsOnly ? 1 : 2);
    const std::uint64_t codedWidth = widthMbs * 16;
    const std::uint64_t codedHeight = heightMapUnits * 16 * (frameMbsOnly ? 1 : 2);
    const std::uint64_t cropX = (crop[0] + crop[1]) * unitX;
    const std::uint64_t cropY = (crop[2] + crop[3]) * unitY;
    if (codedWidth > kMaxPictureSide || codedHeight > kMaxPictureSide || cropX >= codedWidth || cropY >= codedHeight)
        return std::nullopt;

    bool reorders;
    if (reorderFrames >= 0)
        reorders = reorderFrames > 0;
    else
        // Without it, the standard infers the largest reorder depth, except
        // where output order is decoding order.
        reorders = pocType != 2 && profile != 66;
    return SequenceInfo{static_cast<std::uint32_t>(codedWidth - cropX), static_cast<std::uint32_t>(codedHeight - cropY),
                        reorders};
}

} // namespace vidlane2
