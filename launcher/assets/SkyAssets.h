#pragma once
// The sky's embedded data: the panorama (a progressive JPEG) and the two shader
// texts. Each is followed by a NUL byte that the size does not count, so the
// shader texts are C strings.

#include <cstddef>

extern "C" {
extern const unsigned char skyPanorama[];
extern const size_t skyPanoramaSize;
extern const unsigned char skyVertexShader[];
extern const size_t skyVertexShaderSize;
extern const unsigned char skyFragmentShader[];
extern const size_t skyFragmentShaderSize;
}
