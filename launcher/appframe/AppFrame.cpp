#include "AppFrame.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl3.h>
#if __has_include(<implot.h>)
#include <implot.h>
#define APPFRAME_HAS_IMPLOT 1
#endif

#include "FrameFonts.h"
#include "FrameSettings.h"
#include "Platform.h"
#include "ProcessorCheck.h"
#include "StoredPlacement.h"
#include "WindowEvents.h"

std::unique_ptr<FrameState> frameState;

namespace AppFrame {

namespace {

std::optional<FontRequest> expectedFontRequest;

void PrintGlfwError(int, const char* description) { std::fprintf(stderr, "Error: %s\n", description); }

void ApplyWindowHints()
{
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_FALSE);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
}

void StartUserInterface(GLFWwindow* window, const std::string& imguiIniPath, ImFontAtlas* fonts)
{
    ImGui::CreateContext(fonts);
    ImGuiIO& io = ImGui::GetIO();
#ifdef IMGUI_HAS_DOCK
    io.ConfigFlags |= ImGuiConfigFlags_DockingEnable;
#endif
#ifdef IMGUI_HAS_VIEWPORT
    io.ConfigFlags |= ImGuiConfigFlags_ViewportsEnable;
#endif
    io.IniFilename = imguiIniPath.c_str();
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init("#version 130");
    // The built-in 13-pixel font is the atlas's first font; a prepared atlas holds
    // the fixed fonts and the stored custom font too. The renderer's device
    // objects include the font texture: made here, the atlas is uploaded once,
    // where the renderer's first frame would otherwise upload it again.
    ImGui_ImplOpenGL3_CreateDeviceObjects();
#ifdef APPFRAME_HAS_IMPLOT
    ImPlot::CreateContext();
#endif
}

void StopUserInterface()
{
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
#ifdef APPFRAME_HAS_IMPLOT
    ImPlot::DestroyContext();
#endif
    ImGui::DestroyContext(); // writes imgui.ini
}

void RenderFrame(GLFWwindow* window, FrameState& s, FrameFonts& fonts)
{
    glfwPollEvents();
    fonts.Maintain(s);

    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    ImFont* const pushed = s.customFont;
    if (pushed != nullptr) {
        ImGui::PushFont(pushed);
    }

    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    glViewport(0, 0, width, height);
    glClearColor(s.backgroundColor[0], s.backgroundColor[1], s.backgroundColor[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    s.app->OnUpdate();

    if (pushed != nullptr) {
        ImGui::PopFont();
    }
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
#ifdef IMGUI_HAS_VIEWPORT
    if (ImGui::GetIO().ConfigFlags & ImGuiConfigFlags_ViewportsEnable) {
        GLFWwindow* const current = glfwGetCurrentContext();
        ImGui::UpdatePlatformWindows();
        ImGui::RenderPlatformWindowsDefault();
        glfwMakeContextCurrent(current);
    }
#endif
    glfwSwapBuffers(window);
}

} // namespace

void ExpectFontRequest(const FontRequest& request) { expectedFontRequest = request; }

int Run(const char* organization, const char* applicationName, const AppFactory& factory)
{
    if (!MeetsProcessorRequirements(ReadCpuFeatureWords())) {
        Platform::ShowErrorBox(processorRequirementMessage, "Error");
        return 1;
    }

    frameState.reset();
    frameState = std::make_unique<FrameState>();
    FrameState& s = *frameState;
    s.frameSettings.Load("appframe.ini", organization, applicationName);
    ReadFrameSettings(s);
    s.appSettings.Load("app.ini", organization, applicationName);
    FrameFonts fonts;
    fonts.Prepare(expectedFontRequest.value_or(FontRequest{s.fontEnabled, s.fontType, s.fontSize}));

    glfwSetErrorCallback(PrintGlfwError);
    if (!glfwInit()) {
        return 1;
    }
    Platform::KeepControllerLibraryLoaded();
    ApplyWindowHints();
    GLFWwindow* const window = glfwCreateWindow(s.width, s.height, applicationName, nullptr, nullptr);
    if (window == nullptr) {
        glfwTerminate();
        return 1;
    }
    InstallWindowCallbacks(window);
    // A position that no monitor shows now opens where the first run does. No
    // monitor at all tells nothing: the stored position is kept.
    const std::vector<ScreenRect> workAreas = MonitorWorkAreas();
    if (!workAreas.empty() && !OverlapsAnyArea({s.posX, s.posY, s.width, s.height}, workAreas)) {
        const FrameState firstRun;
        s.posX = firstRun.posX;
        s.posY = firstRun.posY;
    }
    glfwSetWindowPos(window, s.posX, s.posY);
    if (s.maximized) {
        glfwMaximizeWindow(window);
    }

    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    // Without OpenGL entry points nothing can be drawn: stop as a failed start-up.
    if (gladLoadGL(reinterpret_cast<GLADloadfunc>(glfwGetProcAddress)) == 0) {
        glfwDestroyWindow(window);
        glfwTerminate();
        return 1;
    }
    Platform::InitializeCom();

    const std::string imguiIniPath = Platform::PathToUtf8(ConfigFolder(organization, applicationName) / "imgui.ini");
    StartUserInterface(window, imguiIniPath, fonts.PreparedAtlas());

    if (factory) {
        s.app = factory(window);
    }
    // An application is the frame's whole purpose; without one it stops as a failed start-up.
    if (!s.app) {
        StopUserInterface();
        Platform::UninitializeCom();
        glfwDestroyWindow(window);
        glfwTerminate();
        return 1;
    }

    while (!glfwWindowShouldClose(window)) {
        RenderFrame(window, s, fonts);
    }

    s.app.reset();
    s.appSettings.Save("app.ini", organization, applicationName);
    WriteFrameSettings(s);
    s.frameSettings.Save("appframe.ini", organization, applicationName);
    StopUserInterface();
    Platform::UninitializeCom();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}

} // namespace AppFrame
