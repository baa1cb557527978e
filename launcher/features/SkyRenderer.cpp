// The sky: one full-screen quad drawn with the black-hole fragment program over
// the panorama texture.
//
// Decoding the 6000 × 3000 panorama is the slowest step of the sky's set-up, so
// it runs on a worker thread, from the second frame on, and no frame waits for
// it: until it is decoded the texture holds no image, which samples black, and
// the scene shows without its stars. The frame after the decode uploads the
// whole picture and its mipmaps on the UI thread before its draw, so no frame
// samples a partly uploaded texture.

#include "SkyRenderer.h"

#include <atomic>
#include <climits>
#include <system_error>
#include <thread>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <stb_image.h>

#include "SkyAssets.h"

namespace Features {

unsigned int skyProgram = 0;
unsigned int quadVertexArray = 0;
unsigned int quadBuffer = 0;
unsigned int skyTexture = 0;

namespace {

const float kQuad[8] = {-1.0f, -1.0f, -1.0f, 1.0f, 1.0f, -1.0f, 1.0f, 1.0f};

// The panorama between its decode and its upload.
class PendingPanorama {
public:
    ~PendingPanorama() { Discard(); }

    // The decode starts at the second draw: the first frame, presented as soon as
    // it can be, has the processor to itself.
    void Start(const unsigned char* jpeg, size_t size)
    {
        Discard();
        decoded_.store(false);
        jpeg_ = jpeg;
        size_ = size;
        drawsBeforeDecode_ = 1;
        pending_ = true;
    }

    bool Pending() const { return pending_; }

    // Uploads the decoded pixels into the bound texture, once they are there.
    void UploadIfDecoded()
    {
        if (!pending_) {
            return;
        }
        if (drawsBeforeDecode_ > 0) {
            --drawsBeforeDecode_;
            return;
        }
        if (!worker_.joinable() && !decoded_.load()) {
            StartDecode();
        }
        if (!decoded_.load(std::memory_order_acquire)) {
            return;
        }
        if (worker_.joinable()) {
            worker_.join();
        }
        pending_ = false;
        if (!pixels_) {
            return; // undecodable: the texture keeps no image and samples black
        }
        // One or two channels come from grey pictures: show them grey.
        static const GLenum kFormats[] = {GL_RED, GL_RG, GL_RGB, GL_RGBA};
        const GLenum format = kFormats[channels_ - 1];
        const GLint internalFormat = channels_ == 4 ? GL_RGBA : GL_RGB;
        if (channels_ < 3) {
            const GLint grey[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, grey);
        }
        // Rows of three-byte pixels need not be 4-byte aligned.
        GLint alignment = 4;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width_, height_, 0, format, GL_UNSIGNED_BYTE, pixels_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        glGenerateMipmap(GL_TEXTURE_2D);
        stbi_image_free(pixels_);
        pixels_ = nullptr;
    }

    void Discard()
    {
        if (worker_.joinable()) {
            worker_.join();
        }
        stbi_image_free(pixels_);
        pixels_ = nullptr;
        pending_ = false;
    }

private:
    void StartDecode()
    {
        const unsigned char* const jpeg = jpeg_;
        const size_t size = size_;
        try {
            worker_ = std::thread([this, jpeg, size] { Decode(jpeg, size); });
        } catch (const std::system_error&) {
            Decode(jpeg, size);
        }
    }

    void Decode(const unsigned char* jpeg, size_t size)
    {
        if (!jpeg || size == 0 || size > static_cast<size_t>(INT_MAX)) {
            decoded_.store(true, std::memory_order_release);
            return;
        }
        int channels = 0;
        stbi_uc* pixels = stbi_load_from_memory(jpeg, static_cast<int>(size), &width_, &height_, &channels, 0);
        if (pixels && (channels < 1 || channels > 4)) {
            stbi_image_free(pixels);
            pixels = nullptr;
        }
        channels_ = channels;
        pixels_ = pixels;
        decoded_.store(true, std::memory_order_release);
    }

    std::thread worker_;
    std::atomic<bool> decoded_{false}; // set by the worker when pixels_ is final
    bool pending_ = false;
    int drawsBeforeDecode_ = 0;
    const unsigned char* jpeg_ = nullptr;
    size_t size_ = 0;
    unsigned char* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int channels_ = 0;
};

PendingPanorama panorama;

GLuint CompileShader(GLenum type, const char* source)
{
    if (!source) {
        return 0;
    }
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

void SetupSky()
{
    SetupSky(reinterpret_cast<const char*>(skyVertexShader), reinterpret_cast<const char*>(skyFragmentShader),
             skyPanorama, skyPanoramaSize);
}

void SetupSky(const char* vertexSource, const char* fragmentSource, const unsigned char* jpeg, size_t jpegSize)
{
    panorama.Discard();
    skyProgram = quadVertexArray = quadBuffer = skyTexture = 0;

    const GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, vertexSource);
    if (!vertexShader) {
        return;
    }
    const GLuint fragmentShader = CompileShader(GL_FRAGMENT_SHADER, fragmentSource);
    if (!fragmentShader) {
        glDeleteShader(vertexShader);
        return;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    if (!linked) {
        glDeleteProgram(program);
        return;
    }
    skyProgram = program;

    glGenVertexArrays(1, &quadVertexArray);
    glBindVertexArray(quadVertexArray);
    glGenBuffers(1, &quadBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kQuad), kQuad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);
    glEnableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);

    panorama.Start(jpeg, jpegSize);

    glGenTextures(1, &skyTexture);
    glBindTexture(GL_TEXTURE_2D, skyTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void DrawSky(GLFWwindow* window)
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!skyProgram) {
        return; // set-up failed: the black clear is the whole scene
    }

    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window, &width, &height);

    glUseProgram(skyProgram);
    const GLint resolution = glGetUniformLocation(skyProgram, "iResolution");
    const GLint time = glGetUniformLocation(skyProgram, "iTime");
    const GLint channel0 = glGetUniformLocation(skyProgram, "iChannel0");
    const GLint mouse = glGetUniformLocation(skyProgram, "iMouse");
    glUniform2f(resolution, static_cast<float>(width), static_cast<float>(height));
    glUniform1f(time, static_cast<float>(glfwGetTime()));
    glUniform1i(channel0, 0);
    glUniform4f(mouse, 0.0f, 0.0f, 0.0f, 0.0f);

    glBindVertexArray(quadVertexArray);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, skyTexture);
    panorama.UploadIfDecoded();
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindVertexArray(0);
}

bool SkyPanoramaPending() { return panorama.Pending(); }

const char* SkyShaderCredit()
{
    return "Black hole shader by the Synaptor developers";
}

} // namespace Features
