// The two-thread atlas builder against the library's own: the same texture,
// byte for byte, and the same glyph tables, for the frame's fonts and for the
// font options that take other paths through the builder.

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include "AtlasBuilder.h"
#include "Fonts.h"

namespace {

const ImWchar kWholePlane[] = {0x0001, 0xFFFF, 0};

ImFont* Add(ImFontAtlas& atlas, const unsigned char* data, size_t size, float pixels, const ImFontConfig* config,
            const ImWchar* ranges)
{
    return atlas.AddFontFromMemoryCompressedTTF(data, static_cast<int>(size), pixels, config, ranges);
}

// The frame's first-frame atlas: the built-in font, the five fixed Inter fonts
// over the whole plane, oversampled twice, and the launcher's custom font.
void FrameFonts(ImFontAtlas& atlas)
{
    ImFontConfig fixed;
    fixed.OversampleH = fixed.OversampleV = 2;
    atlas.AddFontDefault();
    Add(atlas, fontInterRegular, fontInterRegularSize, 24.0f, &fixed, kWholePlane);
    Add(atlas, fontInterSemiBold, fontInterSemiBoldSize, 20.0f, &fixed, kWholePlane);
    Add(atlas, fontInterRegular, fontInterRegularSize, 16.0f, &fixed, kWholePlane);
    Add(atlas, fontInterLight, fontInterLightSize, 24.0f, &fixed, kWholePlane);
    Add(atlas, fontInterLight, fontInterLightSize, 16.0f, &fixed, kWholePlane);
    Add(atlas, fontInterRegular, fontInterRegularSize, 24.0f, nullptr, nullptr);
}

// Options the frame does not use: a merged second source (whose glyphs the
// first source already has are skipped), a brightness multiplier, other
// oversampling, other ranges and a fixed texture width.
void OtherOptions(ImFontAtlas& atlas)
{
    atlas.TexDesiredWidth = 1024;
    ImFontConfig bright;
    bright.RasterizerMultiply = 1.6f;
    bright.OversampleH = 3;
    bright.OversampleV = 1;
    Add(atlas, fontRobotoRegular, fontRobotoRegularSize, 18.0f, &bright, atlas.GetGlyphRangesCyrillic());
    ImFontConfig merged;
    merged.MergeMode = true;
    Add(atlas, fontCarlito, fontCarlitoSize, 18.0f, &merged, atlas.GetGlyphRangesDefault());
    Add(atlas, fontOpenSansSemiBold, fontOpenSansSemiBoldSize, 20.0f, nullptr, atlas.GetGlyphRangesVietnamese());
}

void Build(ImFontAtlas& atlas, const std::function<void(ImFontAtlas&)>& fonts, const ImFontBuilderIO* builder)
{
    fonts(atlas);
    atlas.FontBuilderIO = builder;
    ASSERT_TRUE(atlas.Build());
}

TEST(AtlasBuilder, MakesTheLibrarysTextureAndGlyphsOnTwoThreads)
{
    const struct {
        const char* name;
        std::function<void(ImFontAtlas&)> fonts;
    } cases[] = {{"the frame's fonts", FrameFonts}, {"other options", OtherOptions}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImFontAtlas expected, actual;
        Build(expected, c.fonts, ImFontAtlasGetBuilderForStbTruetype());
        Build(actual, c.fonts, AppFrame::TwoThreadAtlasBuilder());

        ASSERT_EQ(actual.TexWidth, expected.TexWidth);
        ASSERT_EQ(actual.TexHeight, expected.TexHeight);
        const size_t bytes = static_cast<size_t>(expected.TexWidth) * expected.TexHeight;
        EXPECT_EQ(std::memcmp(actual.TexPixelsAlpha8, expected.TexPixelsAlpha8, bytes), 0);
        EXPECT_EQ(actual.TexUvWhitePixel.x, expected.TexUvWhitePixel.x);
        EXPECT_EQ(actual.TexUvWhitePixel.y, expected.TexUvWhitePixel.y);

        ASSERT_EQ(actual.Fonts.Size, expected.Fonts.Size);
        for (int f = 0; f < expected.Fonts.Size; ++f) {
            SCOPED_TRACE("font " + std::to_string(f));
            const ImFont& a = *actual.Fonts[f];
            const ImFont& e = *expected.Fonts[f];
            EXPECT_GT(e.Glyphs.Size, 0);
            ASSERT_EQ(a.Glyphs.Size, e.Glyphs.Size);
            EXPECT_EQ(std::memcmp(a.Glyphs.Data, e.Glyphs.Data, sizeof(ImFontGlyph) * e.Glyphs.Size), 0);
            EXPECT_EQ(a.Ascent, e.Ascent);
            EXPECT_EQ(a.Descent, e.Descent);
            EXPECT_EQ(a.FallbackChar, e.FallbackChar);
        }
    }
    // Bright glyphs, several threads' worth of sources, at least one merge.
    ImFontAtlas check;
    Build(check, OtherOptions, AppFrame::TwoThreadAtlasBuilder());
    EXPECT_EQ(check.Fonts.Size, 2);
    EXPECT_EQ(check.ConfigData.Size, 3);
}

} // namespace
