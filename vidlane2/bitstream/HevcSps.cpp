#include "bitstream/HevcSps.h"

#include "bitstream/BitReader.h"

#include <vector>

namespace vidlane2 {

namespace {

void skipProfileTierLevel(BitReader& in, unsigned maxSubLayersMinus1)
{
    in.skip(88); // general profile space, tier, idc, compatibility and constraint flags
    in.bits(8);  // general_level_idc
    bool profilePresent[8] = {};
    bool levelPresent[8] = {};
    for (unsigned i = 0; i < maxSubLayersMinus1; ++i) {
        profilePresent[i] = in.flag();
        levelPresent[i] = in.flag();
    }
    if (maxSubLayersMinus1 > 0)
        for (unsigned i = maxSubLayersMinus1; i < 8; ++i)
            in.bits(2); // reserved_zero_2bits
    for (unsigned i = 0; i < maxSubLayersMinus1; ++i) {
        if (profilePresent[i])
            in.skip(88);
        if (levelPresent[i])
            in.bits(8);
    }
}

} // namespace

std::optional<SequenceInfo> readHevcSps(const std::uint8_t* nal, std::size_t size)
{
    // Only the base layer's: other layers' sets have another syntax.
    if (size < 3 || ((nal[0] >> 1) & 0x3f) != 33 || (nal[0] & 1) != 0 || (nal[1] >> 3) != 0)
        return std::nullopt;
    const Rbsp rbsp(nal + 2, size - 2);
    BitReader in(rbsp.data(), rbsp.size());

    in.bits(4); // sps_video_parameter_set_id
    const unsigned maxSubLayersMinus1 = in.bits(3);
    in.flag(); // sps_temporal_id_nesting_flag
    if (maxSubLayersMinus1 > 6)
        return std::nullopt;
    skipProfileTierLevel(in, maxSubLayersMinus1);
    if (in.ue() > 15) // sps_seq_parameter_set_id
        return std::nullopt;
    const std::uint32_t chromaFormat = in.ue();
    if (chromaFormat > 3)
        return std::nullopt;
    const bool separateColourPlanes = chromaFormat == 3 && in.flag();
    const std::uint64_t codedWidth = in.ue();
    const std::uint64_t codedHeight = in.ue();
    std::uint64_t window[4] = {0, 0, 0, 0}; // left, right, top, bottom
    if (in.flag())
        for (std::uint64_t& w : window)
            w = in.ue();
    if (in.ue() > 8 || in.ue() > 8) // bit depths
        return std::nullopt;
    if (in.ue() > 12) // log2_max_pic_order_cnt_lsb_minus4
        return std::nullopt;
    // Either one entry for all sub-layers or one each; the last is the highest's.
    const bool eachSubLayer = in.flag();
    std::uint32_t reorderPics = 0;
    for (unsigned i = eachSubLayer ? 0 : maxSubLayersMinus1; i <= maxSubLayersMinus1; ++i) {
        in.ue(); // sps_max_dec_pic_buffering_minus1
        reorderPics = in.ue();
        in.ue(); // sps_max_latency_increase_plus1
    }
    if (in.failed())
        return std::nullopt;

    const std::uint32_t chromaArrayType = separateColourPlanes ? 0 : chromaFormat;
    const std::uint64_t unitX = (chromaArrayType == 1 || chromaArrayType == 2) ? 2 : 1;
    const std::uint64_t unitY = chromaArrayType == 1 ? 2 : 1;
    const std::uint64_t cropX = (window[0] + window[1]) * unitX;
    const std::uint64_t cropY = (window[2] + window[3]) * unitY;
    if (codedWidth == 0 || codedHeight == 0 || codedWidth > kMaxPictureSide || codedHeight > kMaxPictureSide ||
        cropX >= codedWidth || cropY >= codedHeight)
        return std::nullopt;
    return SequenceInfo{static_cast<std::uint32_t>(codedWidth - cropX), static_cast<std::uint32_t>(codedHeight - cropY),
                        reorderPics > 0};
}

} // namespace vidlane2
