#include "FrameFonts.h"

#include <system_error>

#include <imgui_impl_opengl3.h>

#include "AppFrame.h"
#include "AtlasBuilder.h"
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

// The face that a request builds, or null when it builds none.
EmbeddedFont RequestedFace(bool enabled, int fontType, float pixels)
{
    const EmbeddedFont face = CustomFace(fontType);
    return enabled && UsablePixelSize(pixels) ? face : EmbeddedFont{nullptr, 0};
}

ImFont* AddFontTo(ImFontAtlas& atlas, const EmbeddedFont& font, float pixels, const ImFontConfig* config,
                  const ImWchar* ranges)
{
    return atlas.AddFontFromMemoryCompressedTTF(font.data, static_cast<int>(font.size), pixels, config, ranges);
}

ImFont* AddFont(const EmbeddedFont& font, float pixels, const ImFontConfig* config, const ImWchar* ranges)
{
    return AddFontTo(*ImGui::GetIO().Fonts, font, pixels, config, ranges);
}

// The fixed fonts in the order the atlas holds them, after the built-in font.
struct FixedFace {
    ImFont* FrameState::*field;
    EmbeddedFont font;
    float pixels;
};

const FixedFace kFixedFaces[] = {
    {&FrameState::regular24, {fontInterRegular, fontInterRegularSize}, 24.0f},
    {&FrameState::semiBold20, {fontInterSemiBold, fontInterSemiBoldSize}, 20.0f},
    {&FrameState::regular16, {fontInterRegular, fontInterRegularSize}, 16.0f},
    {&FrameState::light24, {fontInterLight, fontInterLightSize}, 24.0f},
    {&FrameState::light16, {fontInterLight, fontInterLightSize}, 16.0f},
};
constexpr int kFixedCount = static_cast<int>(sizeof kFixedFaces / sizeof kFixedFaces[0]);

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

FrameFonts::~FrameFonts()
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void FrameFonts::Prepare(const FontRequest& request)
{
    m_atlas = std::make_unique<ImFontAtlas>();
    m_atlas->FontBuilderIO = TwoThreadAtlasBuilder();
    const EmbeddedFont custom = RequestedFace(request.enabled, request.type, request.pixels);
    m_preparedFace = custom.data != nullptr ? request.type : -1;
    m_preparedSize = request.pixels;
    m_adopted = false;
    ImFontAtlas* const atlas = m_atlas.get();
    const ImFontConfig fixedConfig = m_fixedConfig;
    const float customSize = request.pixels;
    const auto build = [atlas, fixedConfig, custom, customSize] {
        // The same fonts in the same order as the first frame would add them.
        atlas->AddFontDefault();
        for (const FixedFace& f : kFixedFaces) {
            AddFontTo(*atlas, f.font, f.pixels, &fixedConfig, kFixedFontRanges);
        }
        if (custom.data != nullptr) {
            AddFontTo(*atlas, custom, customSize, nullptr, nullptr);
        }
        unsigned char* pixels = nullptr;
        int width = 0, height = 0;
        atlas->GetTexDataAsRGBA32(&pixels, &width, &height); // the form the renderer uploads
    };
    try {
        m_worker = std::thread(build);
    } catch (const std::system_error&) {
        build();
    }
}

ImFontAtlas* FrameFonts::PreparedAtlas()
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
    return m_atlas.get();
}

// The prepared atlas is the context's atlas and its texture is the first upload:
// the fields point into it, and a request that it already holds needs nothing more.
void FrameFonts::AdoptPreparedFonts(FrameState& s)
{
    m_adopted = true;
    ImVector<ImFont*>& fonts = m_atlas->Fonts;
    for (int i = 0; i < kFixedCount; ++i) {
        s.*kFixedFaces[i].field = fonts[1 + i];
    }
    if (m_preparedFace < 0) {
        return;
    }
    m_customBuilt = true;
    const EmbeddedFont wanted = RequestedFace(s.fontEnabled, s.fontType, s.fontSize);
    if (s.fontsDirty && wanted.data != nullptr && s.fontType == m_preparedFace && s.fontSize == m_preparedSize) {
        s.customFont = fonts[1 + kFixedCount];
        s.fontsDirty = false;
    }
}

void FrameFonts::AddMissingFixedFonts(FrameState& s)
{
    m_fixedConfig.OversampleH = 2;
    m_fixedConfig.OversampleV = 2;
    m_fixedConfig.MergeMode = false;
    for (const FixedFace& f : kFixedFaces) {
        if (s.*f.field == nullptr) {
            s.*f.field = AddFont(f.font, f.pixels, &m_fixedConfig, kFixedFontRanges);
        }
    }
}

void FrameFonts::Maintain(FrameState& s)
{
    if (!m_adopted && m_atlas && ImGui::GetIO().Fonts == m_atlas.get()) {
        AdoptPreparedFonts(s);
    }
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
