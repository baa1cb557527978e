// Dear ImGui 1.86's stb_truetype atlas builder, step for step (ImGui is MIT
// licensed), with one change: the rasterization of step 8 is split between this
// thread and a helper. Every source font's glyphs are packed before any is
// drawn, and no two glyphs share a pixel, so the threads never write the same
// byte and the texture is the one the library's builder makes.
//
// The rasterizer is the one the library uses: the system's stb_truetype and
// stb_rect_pack where the library is built against them, else the library's
// own copies, compiled here a second time with its settings because it keeps
// them private. That copy allocates with malloc rather than with the library's
// allocator, which counts in the current context from any thread (the system's
// stb uses malloc as it is).

#include "AtlasBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#ifndef IMGUI_DEFINE_MATH_OPERATORS
#define IMGUI_DEFINE_MATH_OPERATORS
#endif
#include <imgui.h>
#include <imgui_internal.h>

#ifdef SYNAPTOR_IMGUI_SYSTEM_STB
#include <stb_rect_pack.h>
#include <stb_truetype.h>
#else
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wtype-limits"
#endif
namespace AtlasStb {
#define STBRP_STATIC
#define STBRP_ASSERT(x) do { IM_ASSERT(x); } while (0)
#define STBRP_SORT ImQsort
#define STB_RECT_PACK_IMPLEMENTATION
#include <imstb_rectpack.h>

#define STBTT_malloc(x, u) ((void)(u), std::malloc(x))
#define STBTT_free(x, u) ((void)(u), std::free(x))
#define STBTT_assert(x) do { IM_ASSERT(x); } while (0)
#define STBTT_fmod(x, y) ImFmod(x, y)
#define STBTT_sqrt(x) ImSqrt(x)
#define STBTT_pow(x, y) ImPow(x, y)
#define STBTT_fabs(x) ImFabs(x)
#define STBTT_ifloor(x) ((int)ImFloorSigned(x))
#define STBTT_iceil(x) ((int)ImCeil(x))
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <imstb_truetype.h>
} // namespace AtlasStb
using namespace AtlasStb;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
#endif

namespace AppFrame {

namespace {

// One source font while the atlas is built.
struct SourceFont {
    stbtt_fontinfo fontInfo{};
    stbtt_pack_range packRange{};
    stbrp_rect* rects = nullptr;
    stbtt_packedchar* packedChars = nullptr;
    const ImWchar* srcRanges = nullptr;
    int dstIndex = -1;
    int glyphsHighest = 0;
    int glyphsCount = 0;
    ImBitVector glyphsSet;
    ImVector<int> glyphsList;
    long long surface = 0; // the rasterizer's work, roughly
};

// One destination font, which several merged sources may fill.
struct DestinationFont {
    int glyphsHighest = 0;
    ImBitVector glyphsSet;
};

void UnpackBitVector(const ImBitVector& in, ImVector<int>& out)
{
    const ImU32* begin = in.Storage.begin();
    for (const ImU32* it = begin; it < in.Storage.end(); ++it) {
        if (const ImU32 entries = *it) {
            for (ImU32 bit = 0; bit < 32; ++bit) {
                if (entries & (static_cast<ImU32>(1) << bit)) {
                    out.push_back(static_cast<int>(((it - begin) << 5) + bit));
                }
            }
        }
    }
}

// Rasterizes the given sources into their packed rectangles.
void RenderSources(ImFontAtlas* atlas, stbtt_pack_context context, std::vector<SourceFont>& sources,
                   const std::vector<int>& indices)
{
    for (const int i : indices) {
        SourceFont& src = sources[static_cast<size_t>(i)];
        const ImFontConfig& cfg = atlas->ConfigData[i];
        stbtt_PackFontRangesRenderIntoRects(&context, &src.fontInfo, &src.packRange, 1, src.rects);
        if (cfg.RasterizerMultiply != 1.0f) {
            unsigned char table[256];
            ImFontAtlasBuildMultiplyCalcLookupTable(table, cfg.RasterizerMultiply);
            const stbrp_rect* r = src.rects;
            for (int g = 0; g < src.glyphsCount; ++g, ++r) {
                if (r->was_packed) {
                    ImFontAtlasBuildMultiplyRectAlpha8(table, atlas->TexPixelsAlpha8, r->x, r->y, r->w, r->h,
                                                       atlas->TexWidth);
                }
            }
        }
    }
}

bool BuildOnTwoThreads(ImFontAtlas* atlas)
{
    IM_ASSERT(atlas->ConfigData.Size > 0);
    ImFontAtlasBuildInit(atlas);

    atlas->TexID = nullptr;
    atlas->TexWidth = atlas->TexHeight = 0;
    atlas->TexUvScale = ImVec2(0.0f, 0.0f);
    atlas->TexUvWhitePixel = ImVec2(0.0f, 0.0f);
    atlas->ClearTexData();

    std::vector<SourceFont> sources(static_cast<size_t>(atlas->ConfigData.Size));
    std::vector<DestinationFont> destinations(static_cast<size_t>(atlas->Fonts.Size));

    // 1. The font data of each source, and the highest code point asked for.
    for (int i = 0; i < atlas->ConfigData.Size; ++i) {
        SourceFont& src = sources[static_cast<size_t>(i)];
        ImFontConfig& cfg = atlas->ConfigData[i];
        for (int f = 0; f < atlas->Fonts.Size && src.dstIndex == -1; ++f) {
            if (cfg.DstFont == atlas->Fonts[f]) {
                src.dstIndex = f;
            }
        }
        if (src.dstIndex == -1) {
            return false;
        }
        const int offset = stbtt_GetFontOffsetForIndex(static_cast<unsigned char*>(cfg.FontData), cfg.FontNo);
        if (offset < 0 || !stbtt_InitFont(&src.fontInfo, static_cast<unsigned char*>(cfg.FontData), offset)) {
            return false;
        }
        DestinationFont& dst = destinations[static_cast<size_t>(src.dstIndex)];
        src.srcRanges = cfg.GlyphRanges ? cfg.GlyphRanges : atlas->GetGlyphRangesDefault();
        for (const ImWchar* range = src.srcRanges; range[0] && range[1]; range += 2) {
            src.glyphsHighest = ImMax(src.glyphsHighest, static_cast<int>(range[1]));
        }
        dst.glyphsHighest = ImMax(dst.glyphsHighest, src.glyphsHighest);
    }

    // 2. The code points each source holds, none taken twice for one destination.
    int totalGlyphs = 0;
    for (SourceFont& src : sources) {
        DestinationFont& dst = destinations[static_cast<size_t>(src.dstIndex)];
        src.glyphsSet.Create(src.glyphsHighest + 1);
        if (dst.glyphsSet.Storage.empty()) {
            dst.glyphsSet.Create(dst.glyphsHighest + 1);
        }
        for (const ImWchar* range = src.srcRanges; range[0] && range[1]; range += 2) {
            for (unsigned int codepoint = range[0]; codepoint <= range[1]; ++codepoint) {
                if (dst.glyphsSet.TestBit(static_cast<int>(codepoint)) ||
                    !stbtt_FindGlyphIndex(&src.fontInfo, static_cast<int>(codepoint))) {
                    continue;
                }
                ++src.glyphsCount;
                ++totalGlyphs;
                src.glyphsSet.SetBit(static_cast<int>(codepoint));
                dst.glyphsSet.SetBit(static_cast<int>(codepoint));
            }
        }
    }

    // 3. Flat code point lists.
    for (SourceFont& src : sources) {
        src.glyphsList.reserve(src.glyphsCount);
        UnpackBitVector(src.glyphsSet, src.glyphsList);
        src.glyphsSet.Clear();
        IM_ASSERT(src.glyphsList.Size == src.glyphsCount);
    }
    destinations.clear();

    std::vector<stbrp_rect> rects(static_cast<size_t>(totalGlyphs));
    std::vector<stbtt_packedchar> packedChars(static_cast<size_t>(totalGlyphs));
    std::memset(rects.data(), 0, rects.size() * sizeof(stbrp_rect));
    std::memset(packedChars.data(), 0, packedChars.size() * sizeof(stbtt_packedchar));

    // 4. The size of each glyph's rectangle.
    int totalSurface = 0;
    size_t used = 0;
    for (int i = 0; i < atlas->ConfigData.Size; ++i) {
        SourceFont& src = sources[static_cast<size_t>(i)];
        if (src.glyphsCount == 0) {
            continue;
        }
        src.rects = rects.data() + used;
        src.packedChars = packedChars.data() + used;
        used += static_cast<size_t>(src.glyphsCount);

        const ImFontConfig& cfg = atlas->ConfigData[i];
        src.packRange.font_size = cfg.SizePixels;
        src.packRange.first_unicode_codepoint_in_range = 0;
        src.packRange.array_of_unicode_codepoints = src.glyphsList.Data;
        src.packRange.num_chars = src.glyphsList.Size;
        src.packRange.chardata_for_range = src.packedChars;
        src.packRange.h_oversample = static_cast<unsigned char>(cfg.OversampleH);
        src.packRange.v_oversample = static_cast<unsigned char>(cfg.OversampleV);

        const float scale = cfg.SizePixels > 0 ? stbtt_ScaleForPixelHeight(&src.fontInfo, cfg.SizePixels)
                                               : stbtt_ScaleForMappingEmToPixels(&src.fontInfo, -cfg.SizePixels);
        const int padding = atlas->TexGlyphPadding;
        for (int g = 0; g < src.glyphsList.Size; ++g) {
            int x0, y0, x1, y1;
            const int glyph = stbtt_FindGlyphIndex(&src.fontInfo, src.glyphsList[g]);
            IM_ASSERT(glyph != 0);
            stbtt_GetGlyphBitmapBoxSubpixel(&src.fontInfo, glyph, scale * cfg.OversampleH, scale * cfg.OversampleV, 0,
                                            0, &x0, &y0, &x1, &y1);
            src.rects[g].w = static_cast<stbrp_coord>(x1 - x0 + padding + cfg.OversampleH - 1);
            src.rects[g].h = static_cast<stbrp_coord>(y1 - y0 + padding + cfg.OversampleV - 1);
            totalSurface += src.rects[g].w * src.rects[g].h;
            src.surface += static_cast<long long>(src.rects[g].w) * src.rects[g].h;
        }
    }

    const int surfaceSqrt = static_cast<int>(ImSqrt(static_cast<float>(totalSurface))) + 1;
    atlas->TexHeight = 0;
    if (atlas->TexDesiredWidth > 0) {
        atlas->TexWidth = atlas->TexDesiredWidth;
    } else {
        atlas->TexWidth = surfaceSqrt >= 4096 * 0.7f ? 4096
                          : surfaceSqrt >= 2048 * 0.7f ? 2048
                          : surfaceSqrt >= 1024 * 0.7f ? 1024
                                                       : 512;
    }

    // 5. and 6. The library's own rectangles first, then each source's glyphs.
    const int kTexHeightMax = 1024 * 32;
    stbtt_pack_context context{};
    stbtt_PackBegin(&context, nullptr, atlas->TexWidth, kTexHeightMax, 0, atlas->TexGlyphPadding, nullptr);
    ImFontAtlasBuildPackCustomRects(atlas, context.pack_info);
    for (SourceFont& src : sources) {
        if (src.glyphsCount == 0) {
            continue;
        }
        stbrp_pack_rects(static_cast<stbrp_context*>(context.pack_info), src.rects, src.glyphsCount);
        for (int g = 0; g < src.glyphsCount; ++g) {
            if (src.rects[g].was_packed) {
                atlas->TexHeight = ImMax(atlas->TexHeight, src.rects[g].y + src.rects[g].h);
            }
        }
    }

    // 7. The texture.
    atlas->TexHeight = (atlas->Flags & ImFontAtlasFlags_NoPowerOfTwoHeight) ? atlas->TexHeight + 1
                                                                            : ImUpperPowerOfTwo(atlas->TexHeight);
    atlas->TexUvScale = ImVec2(1.0f / atlas->TexWidth, 1.0f / atlas->TexHeight);
    atlas->TexPixelsAlpha8 = static_cast<unsigned char*>(IM_ALLOC(static_cast<size_t>(atlas->TexWidth) * atlas->TexHeight));
    std::memset(atlas->TexPixelsAlpha8, 0, static_cast<size_t>(atlas->TexWidth) * atlas->TexHeight);
    context.pixels = atlas->TexPixelsAlpha8;
    context.height = atlas->TexHeight;

    // 8. The glyphs, drawn on two threads: the largest source first to the
    // thread with less work so far.
    std::vector<int> order;
    for (int i = 0; i < static_cast<int>(sources.size()); ++i) {
        if (sources[static_cast<size_t>(i)].glyphsCount > 0) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&sources](int a, int b) {
        return sources[static_cast<size_t>(a)].surface > sources[static_cast<size_t>(b)].surface;
    });
    std::vector<int> shares[2];
    long long work[2] = {0, 0};
    for (const int i : order) {
        const int thread = work[1] < work[0] ? 1 : 0;
        shares[thread].push_back(i);
        work[thread] += sources[static_cast<size_t>(i)].surface;
    }
    std::thread helper;
    if (!shares[1].empty()) {
        try {
            helper = std::thread(RenderSources, atlas, context, std::ref(sources), std::cref(shares[1]));
        } catch (const std::system_error&) {
            shares[0].insert(shares[0].end(), shares[1].begin(), shares[1].end());
        }
    }
    RenderSources(atlas, context, sources, shares[0]);
    if (helper.joinable()) {
        helper.join();
    }
    stbtt_PackEnd(&context);
    rects.clear();

    // 9. The fonts' glyph tables.
    for (int i = 0; i < atlas->ConfigData.Size; ++i) {
        SourceFont& src = sources[static_cast<size_t>(i)];
        if (src.glyphsCount == 0) {
            continue;
        }
        ImFontConfig& cfg = atlas->ConfigData[i];
        ImFont* font = cfg.DstFont;
        const float fontScale = stbtt_ScaleForPixelHeight(&src.fontInfo, cfg.SizePixels);
        int unscaledAscent, unscaledDescent, unscaledLineGap;
        stbtt_GetFontVMetrics(&src.fontInfo, &unscaledAscent, &unscaledDescent, &unscaledLineGap);
        const float ascent = ImFloor(unscaledAscent * fontScale + (unscaledAscent > 0.0f ? +1 : -1));
        const float descent = ImFloor(unscaledDescent * fontScale + (unscaledDescent > 0.0f ? +1 : -1));
        ImFontAtlasBuildSetupFont(atlas, font, &cfg, ascent, descent);
        const float offsetX = cfg.GlyphOffset.x;
        const float offsetY = cfg.GlyphOffset.y + IM_ROUND(font->Ascent);
        for (int g = 0; g < src.glyphsCount; ++g) {
            const stbtt_packedchar& pc = src.packedChars[g];
            stbtt_aligned_quad q;
            float unusedX = 0.0f, unusedY = 0.0f;
            stbtt_GetPackedQuad(src.packedChars, atlas->TexWidth, atlas->TexHeight, g, &unusedX, &unusedY, &q, 0);
            font->AddGlyph(&cfg, static_cast<ImWchar>(src.glyphsList[g]), q.x0 + offsetX, q.y0 + offsetY,
                           q.x1 + offsetX, q.y1 + offsetY, q.s0, q.t0, q.s1, q.t1, pc.xadvance);
        }
    }

    ImFontAtlasBuildFinish(atlas);
    return true;
}

} // namespace

const ImFontBuilderIO* TwoThreadAtlasBuilder()
{
    static const ImFontBuilderIO builder{BuildOnTwoThreads};
    return &builder;
}

} // namespace AppFrame
