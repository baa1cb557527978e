#pragma once
// Keeps the font atlas in line with the font request in FrameState: the five
// fixed Inter fonts, and the custom default font whenever fontsDirty is set.

#include <imgui.h>

struct FrameState;

namespace AppFrame {

class FrameFonts {
public:
    FrameFonts();

    // Runs at the top of every frame, before the back-ends start the new frame.
    void Maintain(FrameState& state);

private:
    void AddMissingFixedFonts(FrameState& state);

    ImFontConfig m_fixedConfig; // persists across frames
    bool m_customBuilt = false;
};

} // namespace AppFrame
