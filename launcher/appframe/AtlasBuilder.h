#pragma once
// The font atlas builder the frame installs: Dear ImGui's own stb_truetype
// builder, step for step, with the glyphs rasterized on two threads. The atlas
// it makes is byte for byte the one the library's builder makes; the fonts'
// glyphs are packed first, so each thread writes its own rectangles.

struct ImFontBuilderIO;

namespace AppFrame {

const ImFontBuilderIO* TwoThreadAtlasBuilder();

} // namespace AppFrame
