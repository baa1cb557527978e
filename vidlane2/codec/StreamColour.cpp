#include "codec/StreamColour.h"

namespace vidlane2 {

namespace {

enum class Known { No, Yes };

struct MatrixChoice {
    Known known;
    YuvMatrix matrix;
};

// Matrix coefficients as the sequence headers code them (H.273).
MatrixChoice fromMatrixCoefficients(int code)
{
    switch (code) {
    case 1: return {Known::Yes, YuvMatrix::Bt709};
    case 5: // BT.470 B/G
    case 6: return {Known::Yes, YuvMatrix::Bt601}; // SMPTE 170M
    case 9: return {Known::Yes, YuvMatrix::Bt2020Ncl};
    default: return {Known::No, YuvMatrix::Bt709};
    }
}

// VP9's color_space field.
MatrixChoice fromVp9ColourSpace(int code)
{
    switch (code) {
    case 1: // CS_BT_601
    case 3: return {Known::Yes, YuvMatrix::Bt601}; // CS_SMPTE_170
    case 2: return {Known::Yes, YuvMatrix::Bt709};
    case 5: return {Known::Yes, YuvMatrix::Bt2020Ncl};
    default: return {Known::No, YuvMatrix::Bt709};
    }
}

} // namespace

ColourSpace streamColourSpace(const CUVIDEOFORMAT& format, int vp9ColourSpace)
{
    const auto& description = format.video_signal_description;
    MatrixChoice choice = fromMatrixCoefficients(description.matrix_coefficients);
    if (choice.known == Known::No && format.codec == cudaVideoCodec_VP9)
        choice = fromVp9ColourSpace(vp9ColourSpace);
    const YuvRange range = description.video_full_range_flag ? YuvRange::Full : YuvRange::Limited;
    return {choice.matrix, range};
}

} // namespace vidlane2
