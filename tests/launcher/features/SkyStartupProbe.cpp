// Times the launcher's start-up and idle frames from the outside of the shipped
// program: it runs the real frame with an application that sets the sky up and
// draws it as the launcher does, or it times the set-up's pieces one by one.
//   sky_startup_probe run [--name <application>] [--size WxH] [--frames N] [--overlay 0|1]
//                         [--launched-at <ms since epoch>] [--shot <file.ppm>]
// With --frames 0 it runs until the window closes (Escape closes it).
//   sky_startup_probe pieces [--size WxH] [--fragment <file>]
// Every figure is printed as "<name> <milliseconds>".

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl3.h>
#include <stb_image.h>

#include "AppFrame.h"
#include "FrameFonts.h"
#include "SkyAssets.h"
#include "SkyRenderer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string mode;
    std::string name = "Synaptor Sky Probe";
    bool overlay = true; // a translucent window over the sky, as the launcher's
    int width = 0; // 0: the frame's own window size
    int height = 0;
    int frames = 300;
    double launchedAtMs = 0.0;
    std::string shot;
    std::string fragmentFile; // a fragment program to time instead of the embedded one
};

const Clock::time_point processStart = Clock::now();

double MsSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double EpochMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// CPU time of the whole process (all threads, the rasterizer's included), in ms.
double ProcessCpuMs()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e4;
#else
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
#endif
}

void Report(const char* name, double ms)
{
    std::printf("%s %.1f\n", name, ms);
    std::fflush(stdout);
}

// A piece's wall time, then its process CPU time (all threads) as "<name>_cpu".
void ReportPiece(const char* name, Clock::time_point start, double cpuStart)
{
    const double wall = MsSince(start);
    Report(name, wall);
    std::printf("%s_cpu %.1f\n", name, ProcessCpuMs() - cpuStart);
    std::fflush(stdout);
}

void SaveShot(GLFWwindow* window, const std::string& file)
{
    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) {
        return;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (int y = height - 1; y >= 0; --y) {
        std::fwrite(pixels.data() + static_cast<size_t>(y) * width * 3, 1, static_cast<size_t>(width) * 3, out);
    }
    std::fclose(out);
}

// The launcher's idle frame as far as the sky goes, under a translucent window
// like the launcher's.
class ProbeApp final : public AppFrame::Application {
public:
    ProbeApp(GLFWwindow* window, const Options& options) : window_(window), options_(options)
    {
        Report("frame_startup", MsSince(processStart));
        if (options.width > 0) {
            glfwSetWindowSize(window, options.width, options.height);
        }
        frameState->fontEnabled = true;
        frameState->fontType = 5;
        frameState->fontSize = 24.0f;
        frameState->fontsDirty = true;
        const Clock::time_point t = Clock::now();
        Features::SetupSky();
        Report("sky_setup_call", MsSince(t));
        constructed_ = Clock::now();
    }

    void OnKeyPress(int key, int) override
    {
        if (key == GLFW_KEY_ESCAPE) {
            glfwSetWindowShouldClose(window_, GLFW_TRUE);
        }
    }

    void OnUpdate() override
    {
        ++frame_;
        if (frame_ == 1) {
            Report("fonts_and_new_frame", MsSince(constructed_));
        }
        if (frame_ == 2) {
            Report("first_frame_presented", MsSince(processStart));
            if (options_.launchedAtMs > 0.0) {
                Report("first_frame_presented_since_launch", EpochMs() - options_.launchedAtMs);
            }
        }
        const Clock::time_point t = Clock::now();
        Features::DrawSky(window_);
        if (frame_ == 1) {
            Report("first_draw_sky_call", MsSince(t));
        }
        if (options_.overlay) {
            ImGui::GetStyle().Colors[ImGuiCol_WindowBg].w = 0.85f;
            const ImGuiViewport* viewport = ImGui::GetMainViewport();
            ImGui::SetNextWindowPos(ImVec2(viewport->WorkPos.x + 32, viewport->WorkPos.y + 24));
            ImGui::SetNextWindowSize(ImVec2(viewport->WorkSize.x - 64, viewport->WorkSize.y - 48));
            ImGui::Begin("Probe##sky", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove);
            ImGui::TextUnformatted("Run Simulation with Visualization");
            ImGui::TextUnformatted(Features::SkyShaderCredit());
            ImGui::End();
        }
        if (options_.frames == 0) {
            return;
        }

        constexpr int kWarmUp = 30;
        if (frame_ == kWarmUp) {
            steadyStart_ = Clock::now();
            steadyCpu_ = ProcessCpuMs();
        }
        if (frame_ == kWarmUp + options_.frames) {
            const double wall = MsSince(steadyStart_) / options_.frames;
            const double cpu = (ProcessCpuMs() - steadyCpu_) / options_.frames;
            int width = 0, height = 0;
            glfwGetFramebufferSize(window_, &width, &height);
            std::printf("framebuffer %dx%d\n", width, height);
            Report("idle_frame_wall", wall);
            Report("idle_frame_cpu", cpu);
            if (!options_.shot.empty()) {
                SaveShot(window_, options_.shot);
            }
            glfwSetWindowShouldClose(window_, GLFW_TRUE);
        }
    }

private:
    GLFWwindow* window_;
    Options options_;
    Clock::time_point constructed_;
    Clock::time_point steadyStart_;
    double steadyCpu_ = 0.0;
    int frame_ = 0;
};

int RunFrame(const Options& options)
{
    return AppFrame::Run("AppFrame", options.name.c_str(), [&options](GLFWwindow* window) {
        return std::make_unique<ProbeApp>(window, options);
    });
}

// Each piece of the start-up alone, finished with glFinish, in a hidden window.
int RunPieces(const Options& options)
{
    if (!glfwInit()) {
        return 1;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(options.width > 0 ? options.width : 900,
                                          options.height > 0 ? options.height : 600, "probe", nullptr, nullptr);
    if (!window) {
        return 1;
    }
    glfwMakeContextCurrent(window);
    gladLoadGL(reinterpret_cast<GLADloadfunc>(glfwGetProcAddress));

    // The frame's own font code, as its first frame runs it.
    frameState = std::make_unique<FrameState>();
    ImGui::CreateContext();
    ImGui_ImplGlfw_InitForOpenGL(window, false);
    ImGui_ImplOpenGL3_Init("#version 130");
    std::printf("renderer %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    Clock::time_point t = Clock::now();
    double cpu = ProcessCpuMs();
    ImGui_ImplOpenGL3_CreateFontsTexture();
    glFinish();
    ReportPiece("font_atlas_builtin", t, cpu);
    frameState->fontType = 5;
    frameState->fontSize = 24.0f;
    AppFrame::FrameFonts fonts;
    t = Clock::now();
    cpu = ProcessCpuMs();
    fonts.Maintain(*frameState);
    glFinish();
    ReportPiece("font_atlas_first_frame", t, cpu);
    // The first NewFrame creates the back-end's device objects: its shaders, and
    // once more the font texture, uploaded again from the built atlas.
    t = Clock::now();
    cpu = ProcessCpuMs();
    ImGui_ImplOpenGL3_NewFrame();
    glFinish();
    ReportPiece("imgui_first_new_frame", t, cpu);

    // Shaders, program and quad: set-up without a panorama.
    std::string fragment = reinterpret_cast<const char*>(skyFragmentShader);
    if (!options.fragmentFile.empty()) {
        std::FILE* in = std::fopen(options.fragmentFile.c_str(), "rb");
        if (!in) {
            return 2;
        }
        fragment.clear();
        for (int c; (c = std::fgetc(in)) != EOF;) {
            fragment.push_back(static_cast<char>(c));
        }
        std::fclose(in);
    }
    t = Clock::now();
    cpu = ProcessCpuMs();
    Features::SetupSky(reinterpret_cast<const char*>(skyVertexShader), fragment.c_str(), nullptr, 0);
    glFinish();
    ReportPiece("shader_compile_link_quad", t, cpu);
    t = Clock::now();
    cpu = ProcessCpuMs();
    Features::DrawSky(window);
    glFinish();
    ReportPiece("first_draw_with_shader_jit", t, cpu);
    t = Clock::now();
    cpu = ProcessCpuMs();
    Features::DrawSky(window);
    glFinish();
    ReportPiece("second_draw", t, cpu);
    if (!Features::skyProgram) {
        std::printf("the fragment program did not build\n");
    }
    for (int i = 0; i < 4; ++i) {
        t = Clock::now();
        cpu = ProcessCpuMs();
        Features::DrawSky(window);
        glFinish();
        std::printf("draw wall %.1f cpu %.1f\n", MsSince(t), ProcessCpuMs() - cpu);
    }
    if (!options.fragmentFile.empty()) {
        return 0;
    }

    t = Clock::now();
    cpu = ProcessCpuMs();
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(skyPanorama, static_cast<int>(skyPanoramaSize), &width, &height, &channels, 0);
    ReportPiece("panorama_decode", t, cpu);
    GLuint texture = 0;
    t = Clock::now();
    cpu = ProcessCpuMs();
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glFinish();
    ReportPiece("panorama_upload", t, cpu);
    t = Clock::now();
    cpu = ProcessCpuMs();
    glGenerateMipmap(GL_TEXTURE_2D);
    glFinish();
    ReportPiece("panorama_mipmaps", t, cpu);
    stbi_image_free(pixels);

    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    if (argc < 2) {
        return false;
    }
    options.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--size") {
            if (std::sscanf(value, "%dx%d", &options.width, &options.height) != 2) {
                return false;
            }
        } else if (name == "--frames") {
            options.frames = std::max(0, std::atoi(value));
        } else if (name == "--launched-at") {
            options.launchedAtMs = std::atof(value);
        } else if (name == "--name") {
            options.name = value;
        } else if (name == "--overlay") {
            options.overlay = std::atoi(value) != 0;
        } else if (name == "--fragment") {
            options.fragmentFile = value;
        } else if (name == "--shot") {
            options.shot = value;
        } else {
            return false;
        }
    }
    return options.mode == "run" || options.mode == "pieces";
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: sky_startup_probe run|pieces [--size WxH] [--frames N] [--launched-at MS] [--shot FILE]\n");
        return 2;
    }
    return options.mode == "run" ? RunFrame(options) : RunPieces(options);
}
