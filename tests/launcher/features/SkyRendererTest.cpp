// The sky renderer in a hidden window with a 3.2 core-profile context: the
// embedded scene, set-up failures, undecodable panoramas, and the uniforms.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include "SkyAssets.h"
#include "SkyRenderer.h"

extern "C" {
extern const unsigned char testRowsJpeg[]; // 5 × 3: a red, a green and a blue row
extern const size_t testRowsJpegSize;
extern const unsigned char testGreyJpeg[]; // 5 × 3, one grey channel
extern const size_t testGreyJpegSize;
}

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 90;

const char* const kVertex = reinterpret_cast<const char*>(skyVertexShader);
const char* const kFragment = reinterpret_cast<const char*>(skyFragmentShader);

// Shows the panorama stretched over the window, its first row at the bottom.
const char* const kShowTexture = R"(#version 330 core
uniform vec2 iResolution;
uniform sampler2D iChannel0;
out vec4 FragColor;
void main() { FragColor = texture(iChannel0, gl_FragCoord.xy / iResolution); }
)";

struct Rgb {
    int r, g, b;
    int Max() const { return std::max(r, std::max(g, b)); }
};

class SkyRendererTest : public ::testing::Test {
protected:
    // One hidden window for the whole suite, made on first use so that a missing
    // display fails every test rather than skipping it.
    static GLFWwindow* MakeWindow()
    {
        if (!glfwInit()) {
            return nullptr;
        }
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
        GLFWwindow* made = glfwCreateWindow(kWidth, kHeight, "sky test", nullptr, nullptr);
        if (made) {
            glfwMakeContextCurrent(made);
            if (!gladLoadGL(reinterpret_cast<GLADloadfunc>(glfwGetProcAddress))) {
                glfwDestroyWindow(made);
                made = nullptr;
            }
        }
        return made;
    }

    // GLFW is not terminated: that would unload the GL driver, whose own
    // allocations would then show up as leaks the sanitizer cannot attribute.
    static void TearDownTestSuite()
    {
        if (window) {
            glfwDestroyWindow(window);
        }
    }

    void SetUp() override
    {
        if (!window) {
            window = MakeWindow();
        }
        ASSERT_NE(window, nullptr) << "no OpenGL 3.2 core context on the display";
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    // One idle frame over a framebuffer first filled with a loud colour, so that
    // a frame that draws nothing cannot pass for black.
    std::vector<Rgb> DrawFrame()
    {
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        Features::DrawSky(window);
        glFinish();
        std::vector<unsigned char> bytes(kWidth * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        std::vector<Rgb> pixels(kWidth * kHeight);
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = {bytes[i * 4], bytes[i * 4 + 1], bytes[i * 4 + 2]};
        }
        return pixels;
    }

    // Idle frames until one has the panorama in it (the decode runs beside them).
    std::vector<Rgb> DrawFrameWithPanorama()
    {
        std::vector<Rgb> frame = DrawFrame();
        for (int i = 0; i < 6000 && Features::SkyPanoramaPending(); ++i) {
            glfwWaitEventsTimeout(0.005);
            frame = DrawFrame();
        }
        EXPECT_FALSE(Features::SkyPanoramaPending()) << "the panorama never arrived";
        return frame;
    }

    static Rgb At(const std::vector<Rgb>& pixels, int x, int y) { return pixels[y * kWidth + x]; }

    static int Brightest(const std::vector<Rgb>& pixels)
    {
        int most = 0;
        for (const Rgb& p : pixels) {
            most = std::max(most, p.Max());
        }
        return most;
    }

    static GLint TextureLevelWidth()
    {
        GLint width = -1;
        glBindTexture(GL_TEXTURE_2D, Features::skyTexture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        return width;
    }

    static GLFWwindow* window;
};

GLFWwindow* SkyRendererTest::window = nullptr;

TEST_F(SkyRendererTest, EmbeddedSceneShowsHoleDiskAndStars)
{
    Features::SetupSky();
    ASSERT_NE(Features::skyProgram, 0u);
    EXPECT_NE(Features::quadVertexArray, 0u);
    EXPECT_NE(Features::quadBuffer, 0u);
    EXPECT_NE(Features::skyTexture, 0u);

    // The first frame does not wait for the decode: the scene without its stars.
    const std::vector<Rgb> early = DrawFrame();
    EXPECT_TRUE(Features::SkyPanoramaPending());
    EXPECT_EQ(TextureLevelWidth(), 0) << "the first frame waited for the panorama";
    EXPECT_GT(Brightest(early), 200) << "no disk without the panorama";

    const std::vector<Rgb> frame = DrawFrameWithPanorama();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // The panorama is in the texture at its full size, sampled from level 0 only.
    GLint width = 0, height = 0, minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0;
    glBindTexture(GL_TEXTURE_2D, Features::skyTexture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    EXPECT_EQ(width, 6000);
    EXPECT_EQ(height, 3000);
    EXPECT_EQ(minFilter, GL_LINEAR);
    EXPECT_EQ(magFilter, GL_LINEAR);
    EXPECT_EQ(wrapS, GL_REPEAT);
    EXPECT_EQ(wrapT, GL_REPEAT);

    // The hole's shadow in the middle, the disk glowing across it, light around.
    const Rgb centre = At(frame, kWidth / 2, kHeight / 2 + 4);
    EXPECT_LT(centre.Max(), 12) << "centre " << centre.r << "," << centre.g << "," << centre.b;
    EXPECT_GT(Brightest(frame), 200);
    int lit = 0;
    for (int x = 0; x < kWidth; ++x) {
        lit += At(frame, x, 5).Max() > 8 || At(frame, x, kHeight - 5).Max() > 8;
    }
    EXPECT_GT(lit, 5) << "no stars or Milky Way along the top and bottom edges";
}

TEST_F(SkyRendererTest, FailedProgramLeavesBlackFrameAndNothingElse)
{
    struct Case {
        const char* name;
        const char* vertex;
        const char* fragment;
    };
    const Case cases[] = {
        {"vertex shader does not compile", "#version 330 core\nvoid main() { gl_Position = nonsense; }\n", kFragment},
        {"fragment shader does not compile", kVertex, "#version 330 core\nout vec4 FragColor;\nvoid main() { FragColor = 1; }\n"},
        {"program does not link", kVertex, "#version 330 core\nout vec4 FragColor;\nvoid notMain() { FragColor = vec4(1.0); }\n"},
        {"empty vertex text", "", kFragment},
        {"no fragment text", kVertex, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Features::SetupSky(c.vertex, c.fragment, skyPanorama, skyPanoramaSize);
        EXPECT_EQ(Features::skyProgram, 0u);
        EXPECT_EQ(Features::quadVertexArray, 0u);
        EXPECT_EQ(Features::quadBuffer, 0u);
        EXPECT_EQ(Features::skyTexture, 0u);
        const std::vector<Rgb> frame = DrawFrame();
        EXPECT_EQ(Brightest(frame), 0);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(SkyRendererTest, UndecodablePanoramaSamplesBlack)
{
    const std::vector<unsigned char> garbage(4096, 0x5A);
    struct Case {
        const char* name;
        const unsigned char* bytes;
        size_t size;
    };
    const Case cases[] = {
        {"not an image", garbage.data(), garbage.size()},
        {"truncated to its header", skyPanorama, 600},
        {"no bytes", skyPanorama, 0},
        {"no buffer", nullptr, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Features::SetupSky(kVertex, kShowTexture, c.bytes, c.size);
        ASSERT_NE(Features::skyProgram, 0u);
        EXPECT_NE(Features::skyTexture, 0u);
        const std::vector<Rgb> frame = DrawFrameWithPanorama();
        EXPECT_EQ(Brightest(frame), 0);
        EXPECT_EQ(TextureLevelWidth(), 0);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(SkyRendererTest, SmallPicturesKeepTheirRowsAndColours)
{
    // Three-byte pixels in rows of 15 bytes: rows must not drift; the first row
    // of the file is the first row of the texture, shown at the bottom here.
    Features::SetupSky(kVertex, kShowTexture, testRowsJpeg, testRowsJpegSize);
    std::vector<Rgb> frame = DrawFrameWithPanorama();
    const Rgb first = At(frame, kWidth / 2, kHeight / 6);
    const Rgb second = At(frame, kWidth / 2, kHeight / 2);
    const Rgb third = At(frame, kWidth / 2, kHeight * 5 / 6);
    EXPECT_TRUE(first.r > 200 && first.g < 60 && first.b < 60) << first.r << "," << first.g << "," << first.b;
    EXPECT_TRUE(second.g > 200 && second.r < 60 && second.b < 60) << second.r << "," << second.g << "," << second.b;
    EXPECT_TRUE(third.b > 200 && third.r < 60 && third.g < 60) << third.r << "," << third.g << "," << third.b;

    // A one-channel picture shows grey, not red.
    Features::SetupSky(kVertex, kShowTexture, testGreyJpeg, testGreyJpegSize);
    frame = DrawFrameWithPanorama();
    const Rgb grey = At(frame, kWidth / 2, kHeight / 2);
    EXPECT_NEAR(grey.r, 128, 6);
    EXPECT_NEAR(grey.g, 128, 6);
    EXPECT_NEAR(grey.b, 128, 6);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SkyRendererTest, UniformsCarryClockSizeAndIdleMouse)
{
    const char* const showUniforms = R"(#version 330 core
uniform vec2 iResolution;
uniform float iTime;
uniform vec4 iMouse;
uniform sampler2D iChannel0;
out vec4 FragColor;
void main()
{
    FragColor = vec4(iTime / 10.0 + length(iMouse), iResolution.x / 1000.0, iResolution.y / 1000.0, 1.0)
              + 0.0 * texture(iChannel0, vec2(0.5));
}
)";
    Features::SetupSky(kVertex, showUniforms, testRowsJpeg, testRowsJpegSize);
    ASSERT_NE(Features::skyProgram, 0u);
    glfwSetTime(5.0);
    const std::vector<Rgb> frame = DrawFrame();
    const Rgb p = At(frame, 3, 3);
    EXPECT_NEAR(p.r, 128, 3) << "iTime after glfwSetTime(5)";
    EXPECT_NEAR(p.g, kWidth * 255 / 1000, 2) << "iResolution.x";
    EXPECT_NEAR(p.b, kHeight * 255 / 1000, 2) << "iResolution.y";
}

} // namespace
