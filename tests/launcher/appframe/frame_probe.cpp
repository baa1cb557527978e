// A stand-in application for the frame's end-to-end tests. It runs the real
// frame, logs every event the frame forwards, asks for the launcher's font, and
// closes on Escape. Its destructor leaves a mark in appSettings, which shows that
// the settings are saved after the application is destroyed.
//   frame_probe <organization> <application> <log file> [stored-font | expect=<type>,<pixels>]
// With "stored-font" the probe keeps the font request read from the settings.
// With "expect=" it tells the frame, before the frame runs, that it will ask
// for that font (and then asks for the launcher's font all the same).

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <cstdio>
#include <memory>
#include <string>

#include "AppFrame.h"
#include "Platform.h"

namespace {

class ProbeApp final : public AppFrame::Application {
public:
    ProbeApp(GLFWwindow* window, std::FILE* log, bool askForFont) : m_window(window), m_log(log)
    {
        if (askForFont) {
            frameState->fontEnabled = true;
            frameState->fontType = 5;
            frameState->fontSize = 24.0f;
            frameState->fontsDirty = true;
        }
        Log("created maximized=%d", frameState->maximized ? 1 : 0);
    }
    ~ProbeApp() override
    {
        frameState->appSettings["probe"]["destroyed"] = "1";
        Log("destroyed");
    }
    void OnKeyEvent(int key, int, int action, int) override { Log("key %d action %d", key, action); }
    void OnKeyPress(int key, int) override
    {
        Log("press %d", key);
        if (key == GLFW_KEY_ESCAPE) {
            glfwSetWindowShouldClose(m_window, GLFW_TRUE);
        }
    }
    void OnWindowMove(int x, int y) override { Log("move %d %d", x, y); }
    void OnWindowResize(int w, int h) override { Log("resize %d %d", w, h); }
    void OnWindowMaximize(bool maximized) override { Log("maximize %d", maximized ? 1 : 0); }
    void OnUpdate() override
    {
        if (++m_frames == 3) {
            Log("frames customFont=%d atlas=%d fixed=%d", frameState->customFont != nullptr,
                ImGui::GetIO().Fonts->Fonts.Size,
                frameState->regular24 && frameState->semiBold20 && frameState->regular16 &&
                    frameState->light24 && frameState->light16);
            if (frameState->customFont) {
                Log("custom font %g pixels", frameState->customFont->FontSize);
            }
        }
    }

private:
    template <typename... Args> void Log(const char* format, Args... args)
    {
        std::fprintf(m_log, format, args...);
        std::fputc('\n', m_log);
        std::fflush(m_log);
    }

    GLFWwindow* m_window;
    std::FILE* m_log;
    int m_frames = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const std::string option = argc == 5 ? argv[4] : "";
    int expectedType = 0;
    float expectedPixels = 0.0f;
    const bool expect = std::sscanf(option.c_str(), "expect=%d,%f", &expectedType, &expectedPixels) == 2;
    if ((argc != 4 && argc != 5) || (argc == 5 && option != "stored-font" && !expect)) {
        std::fprintf(stderr, "usage: frame_probe <organization> <application> <log file> "
                             "[stored-font | expect=<type>,<pixels>]\n");
        return 2;
    }
    if (expect) {
        AppFrame::ExpectFontRequest({true, expectedType, expectedPixels});
    }
    std::FILE* log = std::fopen(argv[3], "w");
    if (log == nullptr) {
        return 2;
    }
    std::printf("folder %s\n", Platform::PathToUtf8(ConfigFolder(argv[1], argv[2])).c_str());
    std::fflush(stdout);
    const bool askForFont = option != "stored-font";
    const int code = AppFrame::Run(argv[1], argv[2], [log, askForFont](GLFWwindow* window) {
        return std::make_unique<ProbeApp>(window, log, askForFont);
    });
    std::fprintf(log, "exit %d\n", code);
    std::fclose(log);
    return code;
}
