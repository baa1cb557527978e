#pragma once
// Keeps the font atlas in line with the font request in FrameState: the five
// fixed Inter fonts, and the custom default font whenever fontsDirty is set.

#include <memory>
#include <thread>

#include <imgui.h>

#include "AppFrame.h"

namespace AppFrame {

class FrameFonts {
public:
    FrameFonts();
    ~FrameFonts();
    FrameFonts(const FrameFonts&) = delete;
    FrameFonts& operator=(const FrameFonts&) = delete;

    // Rasterizing the fonts is the slowest part of the first frame, so it starts
    // on a worker thread, for the request the first frame is expected to make,
    // while the window comes up. Only before any user-interface context exists:
    // the library counts its allocations in the current context.
    void Prepare(const FontRequest& request);
    // The prepared atlas for the user-interface context, which does not own it:
    // it lives as long as this object. Null when nothing was prepared.
    ImFontAtlas* PreparedAtlas();

    // Runs at the top of every frame, before the back-ends start the new frame.
    void Maintain(FrameState& state);

private:
    void AddMissingFixedFonts(FrameState& state);
    void AdoptPreparedFonts(FrameState& state);

    ImFontConfig m_fixedConfig; // persists across frames
    bool m_customBuilt = false;
    std::unique_ptr<ImFontAtlas> m_atlas;
    std::thread m_worker;
    bool m_adopted = true;
    int m_preparedFace = -1; // the custom font's type in the prepared atlas; -1 for none
    float m_preparedSize = 0.0f;
};

} // namespace AppFrame
