#include "FrameFonts.h"

#include <imgui_impl_opengl3.h>

#include "AppFrame.h"
#include "Fonts.h"

namespace AppFrame {

namespace {

// The whole Basic Multilingual Plane.
const ImWchar kFixedFontRanges[] = {0x0001, 0xFFFF, 0};

struct EmbeddedFont {
    const unsigned char* data;
    size_t size;
};

// The faces that fontType selects; null data for any other value.
EmbeddedFont CustomFace(int fontType)
{
    switch (fontType) {
    case 0: return {fontCarlito, fontCarlitoSize};
    case 1: return {fontOpenSansRegular, fontOpenSansRegularSize};
    case 2: return {fontOpenSansSemiBold, fontOpenSansSemiBoldSize};
    case 3: return {fontRobotoMedium, fontRobotoMediumSize};
    case 4: return {fontRobotoRegular, fontRobotoRegularSize};
    case 5: return {fontInterRegular, fontInterRegularSize};
    case 6: return {fontInterLight, fontInterLightSize};
    default: return {nullptr, 0};
    }
}

// A size from the settings file that no atlas can hold builds no font, like an
// unknown face.
bool UsablePixelSize(float pixels) { return pixels > 0.0f && pixels <= 512.0f; }

ImFont* AddFont(const EmbeddedFont& font, float pixels, const ImFontConfig* config, const ImWchar* ranges)
{
    return ImGui::GetIO().Fonts->AddFontFromMemoryCompressedTTF(
        font.data, static_cast<int>(font.size), pixels, config, ranges);
}

void RebuildFontTexture()
{
    // The renderer's device objects include the font texture. Creating them here,
    // after destroying what exists, uploads the atlas once: the renderer's first
    // frame would otherwise upload it a second time and orphan this texture.
    ImGui_ImplOpenGL3_DestroyDeviceObjects();
    ImGui_ImplOpenGL3_CreateDeviceObjects();
}

} // namespace

FrameFonts::FrameFonts()
{
    m_fixedConfig.OversampleH = 2;
    m_fixedConfig.OversampleV = 2;
    m_fixedConfig.MergeMode = false;
}

void FrameFonts::AddMissingFixedFonts(FrameState& s)
{
    m_fixedConfig.OversampleH = 2;
    m_fixedConfig.OversampleV = 2;
    m_fixedConfig.MergeMode = false;
    struct Fixed {
        ImFont*& field;
        EmbeddedFont font;
        float pixels;
    };
    const Fixed fixed[] = {
        {s.regular24, {fontInterRegular, fontInterRegularSize}, 24.0f},
        {s.semiBold20, {fontInterSemiBold, fontInterSemiBoldSize}, 20.0f},
        {s.regular16, {fontInterRegular, fontInterRegularSize}, 16.0f},
        {s.light24, {fontInterLight, fontInterLightSize}, 24.0f},
        {s.light16, {fontInterLight, fontInterLightSize}, 16.0f},
    };
    for (const Fixed& f : fixed) {
        if (f.field == nullptr) {
            f.field = AddFont(f.font, f.pixels, &m_fixedConfig, kFixedFontRanges);
        }
    }
}

void FrameFonts::Maintain(FrameState& s)
{
    AddMissingFixedFonts(s);
    if (!s.fontsDirty) {
        return;
    }
    if (s.fontEnabled) {
        const EmbeddedFont face = CustomFace(s.fontType);
        if (face.data != nullptr && UsablePixelSize(s.fontSize)) {
            if (m_customBuilt) {
                // An atlas cannot drop one font: start it afresh, built-in font first,
                // and renew the fixed fonts so their fields stay valid.
                ImGui::GetIO().Fonts->Clear();
                ImGui::GetIO().Fonts->AddFontDefault();
                s.regular24 = s.semiBold20 = s.regular16 = s.light24 = s.light16 = nullptr;
                AddMissingFixedFonts(s);
            }
            s.customFont = AddFont(face, s.fontSize, nullptr, nullptr);
            m_customBuilt = true;
        }
        RebuildFontTexture();
    } else {
        s.customFont = nullptr;
    }
    s.fontsDirty = false;
}

} // namespace AppFrame
