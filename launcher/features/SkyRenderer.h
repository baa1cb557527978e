#pragma once
// The animated black-hole sky drawn behind the launcher window while no
// simulator runs.

#include <cstddef>

struct GLFWwindow;

namespace Features {

// Process-wide GL object names, created at set-up and never deleted.
extern unsigned int skyProgram;      // 0 when set-up failed
extern unsigned int quadVertexArray;
extern unsigned int quadBuffer;
extern unsigned int skyTexture;

// Set-up from the embedded shaders and panorama. Stops at the first failure.
void SetupSky();
// The same set-up from given shader texts and JPEG bytes. The panorama is
// decoded on a worker thread; the first DrawSky after the decode uploads it, so
// the bytes must stay valid until then. Frames before that draw without it.
void SetupSky(const char* vertexSource, const char* fragmentSource,
              const unsigned char* jpeg, size_t jpegSize);

// Draws one idle frame of the scene into the current framebuffer. Without a
// program the frame is only cleared to black.
void DrawSky(GLFWwindow* window);

// True from set-up until a DrawSky has put the panorama into the texture (or
// found it undecodable).
bool SkyPanoramaPending();

// The footer's one-line credit to the author of the fragment program.
const char* SkyShaderCredit();

} // namespace Features
