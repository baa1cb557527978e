#pragma once
// The launcher's application framework: the application base class, the factory
// that creates the one application, the process-wide frame record and the entry
// into the frame loop.

#include <functional>
#include <memory>

#include "IniFile.h"

struct GLFWwindow;
struct ImFont;

namespace AppFrame {

class Application {
public:
    virtual ~Application() = default;
    // Events of the main window; GLFW's codes. Each does nothing unless overridden.
    virtual void OnKeyEvent(int /*key*/, int /*scancode*/, int /*action*/, int /*mods*/) {}
    virtual void OnKeyPress(int /*key*/, int /*mods*/) {}
    virtual void OnMouseButton(int /*button*/, int /*action*/, int /*mods*/) {}
    virtual void OnCursorMove(double /*x*/, double /*y*/) {}
    virtual void OnWindowMove(int /*x*/, int /*y*/) {}
    virtual void OnWindowResize(int /*width*/, int /*height*/) {}
    virtual void OnWindowMaximize(bool /*maximized*/) {}
    // Once per frame, inside the user-interface frame.
    virtual void OnUpdate() = 0;
};

using AppFactory = std::function<std::unique_ptr<Application>(GLFWwindow*)>;

// A font request: the fields fontEnabled, fontType and fontSize of FrameState.
struct FontRequest {
    bool enabled;
    int type;
    float pixels;
};

// For an application that makes its font request in its constructor: told the
// request before Run, the frame rasterizes that request's custom font while the
// window comes up, rather than the stored request that the constructor would
// replace before the first frame. What the frame builds is the same either way.
void ExpectFontRequest(const FontRequest& request);

// Returns 0 after a normal end and 1 when start-up fails.
int Run(const char* organization, const char* applicationName, const AppFactory& factory);

} // namespace AppFrame

struct FrameState {
    int width = 900;
    int height = 600;
    int posX = 100;
    int posY = 100;
    bool maximized = false;
    float backgroundColor[3] = {0.08f, 0.08f, 0.08f};
    bool fontEnabled = true;
    int fontType = 4;
    float fontSize = 15.0f;
    IniFile frameSettings;
    IniFile appSettings;
    std::unique_ptr<AppFrame::Application> app;
    bool fontsDirty = true;
    ImFont* customFont = nullptr;
    ImFont* semiBold20 = nullptr;
    ImFont* regular24 = nullptr;
    ImFont* light24 = nullptr;
    ImFont* regular16 = nullptr;
    ImFont* light16 = nullptr;
};

extern std::unique_ptr<FrameState> frameState;
