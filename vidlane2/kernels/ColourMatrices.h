// The YUV to RGB matrix of each colour space a stream may signal, for 8- and
// 10-bit samples, shared by StreamColourKernels.cu and the CPU reference.
#pragma once

#include "ColourRules.h"

#include <cstdint>

namespace vidlane2 {

enum class YuvMatrix : std::uint8_t { Bt601, Bt709, Bt2020Ncl };
enum class YuvRange : std::uint8_t { Limited, Full };

struct ColourSpace {
    YuvMatrix matrix;
    YuvRange range;
};

inline bool operator==(ColourSpace a, ColourSpace b) { return a.matrix == b.matrix && a.range == b.range; }

// What every stream decoded as before colour spaces were read.
inline constexpr ColourSpace kBt709Limited{YuvMatrix::Bt709, YuvRange::Limited};

// The units of the channel values a matrix produces.
enum class OutputScale : std::uint8_t { Eight, Ten };

// A matrix for integer samples: rows give R, G, B in output units; columns weigh
// Y - lumaOffset, U - chromaOffset, V - chromaOffset.
struct YuvToRgb {
    float m[9];
    int lumaOffset;
    int chromaOffset;
};

namespace detail {

struct LumaWeights {
    double kr, kb;
};

inline LumaWeights lumaWeights(YuvMatrix matrix)
{
    switch (matrix) {
    case YuvMatrix::Bt601: return {0.299, 0.114};
    case YuvMatrix::Bt2020Ncl: return {0.2627, 0.0593};
    case YuvMatrix::Bt709: break;
    }
    return {0.2126, 0.0722};
}

// The 8-bit matrix in 8-bit output units, in double. BT.709 limited range is the
// original rule, whose chroma columns share the luma scale 255 / 219.
inline void eightBitMatrix(ColourSpace space, double out[9])
{
    if (space == kBt709Limited) {
        const YuvToRgbMatrix original = computeYuvToRgbMatrix();
        for (int i = 0; i < 9; ++i) out[i] = original.m[i];
        return;
    }
    const LumaWeights w = lumaWeights(space.matrix);
    const double kg = 1.0 - w.kr - w.kb;
    const bool limited = space.range == YuvRange::Limited;
    const double ys = limited ? 255.0 / 219.0 : 1.0;
    const double cs = limited ? 255.0 / 224.0 : 1.0;
    const double terms[9] = {ys, 0.0, 2.0 * (1.0 - w.kr) * cs,
                             ys, -2.0 * w.kb * (1.0 - w.kb) / kg * cs, -2.0 * w.kr * (1.0 - w.kr) / kg * cs,
                             ys, 2.0 * (1.0 - w.kb) * cs, 0.0};
    for (int i = 0; i < 9; ++i) out[i] = terms[i];
}

} // namespace detail

// 8-bit samples: the matrix gives 8-bit units (the 8-bit rule truncates, and
// 10-bit output scales its result). 10-bit samples: the sample scale (a quarter
// of a step at limited range, 255 / 1023 at full range) and the output scale
// are folded in, so one multiply-add chain gives the channel at full precision.
inline YuvToRgb yuvToRgb(ColourSpace space, int bitDepth, OutputScale output)
{
    double eight[9];
    detail::eightBitMatrix(space, eight);
    YuvToRgb result{};
    const bool full = space.range == YuvRange::Full;
    if (bitDepth == 8) {
        for (int i = 0; i < 9; ++i) result.m[i] = static_cast<float>(eight[i]);
        result.lumaOffset = full ? 0 : 16;
        result.chromaOffset = 128;
        return result;
    }
    const double sampleScale = full ? 255.0 / 1023.0 : 0.25;
    const double outputScale = output == OutputScale::Ten ? 1023.0 / 255.0 : 1.0;
    for (int i = 0; i < 9; ++i) result.m[i] = static_cast<float>(eight[i] * sampleScale * outputScale);
    result.lumaOffset = full ? 0 : 64;
    result.chromaOffset = 512;
    return result;
}

} // namespace vidlane2
