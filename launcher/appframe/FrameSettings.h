#pragma once
// The frame's own keys in "appframe.ini": read at start-up, written at shutdown.

struct FrameState;

namespace AppFrame {

// Reads posx, posy, maximized, the colour and the font request, each with the
// current field as its default. Width and height are never read back.
void ReadFrameSettings(FrameState& state);

// Writes every frame setting, width and height included, into frameSettings.
void WriteFrameSettings(FrameState& state);

} // namespace AppFrame
