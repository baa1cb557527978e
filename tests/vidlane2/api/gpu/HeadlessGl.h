#pragma once

// A headless OpenGL 3.3 core context through EGL, on the GPU that CUDA uses.
// libEGL is loaded at run time, and every GL entry point comes through
// eglGetProcAddress, so the tests link no GL library and skip cleanly where
// there is none.
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1 // declarations for decltype only; nothing links against them
#endif
#include <GL/gl.h>
#include <GL/glext.h>

#include <memory>
#include <string>

#define VIDLANE2_GL_FUNCTIONS(X)                                                                                     \
    X(glGetError) X(glGetString) X(glFinish) X(glPixelStorei) X(glGenTextures) X(glDeleteTextures)                 \
    X(glBindTexture) X(glTexParameteri) X(glTexImage2D) X(glTexSubImage2D) X(glGetTexImage) X(glGenBuffers)        \
    X(glDeleteBuffers) X(glBindBuffer) X(glBufferData) X(glBufferSubData) X(glGetBufferSubData)

struct GlFunctions {
#define VIDLANE2_GL_MEMBER(name) decltype(&::name) name = nullptr;
    VIDLANE2_GL_FUNCTIONS(VIDLANE2_GL_MEMBER)
#undef VIDLANE2_GL_MEMBER
};

class HeadlessGl {
public:
    // Makes the context current on the calling thread; null with the reason in
    // why when this machine cannot give one on the current CUDA device.
    static std::unique_ptr<HeadlessGl> create(std::string& why);
    ~HeadlessGl();
    HeadlessGl(const HeadlessGl&) = delete;
    HeadlessGl& operator=(const HeadlessGl&) = delete;

    const GlFunctions& gl() const { return m_gl; }
    // GL_RENDERER, for messages.
    const std::string& renderer() const { return m_renderer; }

private:
    struct Egl;
    HeadlessGl();

    std::unique_ptr<Egl> m_egl;
    GlFunctions m_gl;
    std::string m_renderer;
};
