// TEMPORARY stand-in until the sky renderer lands: sets nothing up and draws
// nothing. Delete this file when SkyRenderer.cpp arrives.

#include "SkyRenderer.h"

namespace Features {

unsigned int skyProgram = 0;
unsigned int quadVertexArray = 0;
unsigned int quadBuffer = 0;
unsigned int skyTexture = 0;

void SetupSky() {}
void SetupSky(const char*, const char*, const unsigned char*, size_t) {}
void DrawSky(GLFWwindow*) {}
const char* SkyShaderCredit() { return "Background shader: pending"; }

} // namespace Features
