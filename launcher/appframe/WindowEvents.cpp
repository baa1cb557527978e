#include "WindowEvents.h"

#include <GLFW/glfw3.h>

#include "AppFrame.h"

namespace AppFrame {

namespace {

// Placement is recorded only in the normal state, so the saved file keeps the
// last normal placement of a maximized window.
bool IsMaximized(GLFWwindow* window) { return glfwGetWindowAttrib(window, GLFW_MAXIMIZED) != 0; }

// Some X window managers move and size a window for maximizing before they mark
// it maximized, so those events look like normal ones. A maximize therefore
// undoes the placement changes that came just before it.
struct Placement {
    int x, y, width, height;
};
constexpr double kMaximizeBurstSeconds = 0.25;
Placement settled{};
double lastNormalChange = -1.0e9;

Placement Current() { return {frameState->posX, frameState->posY, frameState->width, frameState->height}; }

// Called before each normal-state change: the placement before a burst of
// changes is the one a maximize at its end goes back to.
void NoteNormalChange()
{
    const double now = glfwGetTime();
    if (now - lastNormalChange > kMaximizeBurstSeconds) {
        settled = Current();
    }
    lastNormalChange = now;
}

void RestoreSettledPlacement()
{
    if (glfwGetTime() - lastNormalChange <= kMaximizeBurstSeconds) {
        frameState->posX = settled.x;
        frameState->posY = settled.y;
        frameState->width = settled.width;
        frameState->height = settled.height;
    }
}

Application* App() { return frameState ? frameState->app.get() : nullptr; }

void OnPosition(GLFWwindow* window, int x, int y)
{
    if (!IsMaximized(window)) {
        NoteNormalChange();
        frameState->posX = x;
        frameState->posY = y;
    }
    if (Application* app = App()) {
        app->OnWindowMove(x, y);
    }
}

void OnSize(GLFWwindow* window, int width, int height)
{
    if (!IsMaximized(window)) {
        NoteNormalChange();
        frameState->width = width;
        frameState->height = height;
    }
    if (Application* app = App()) {
        app->OnWindowResize(width, height);
    }
}

void OnMaximize(GLFWwindow*, int maximized)
{
    frameState->maximized = maximized != 0;
    if (frameState->maximized) {
        RestoreSettledPlacement();
    }
    if (Application* app = App()) {
        app->OnWindowMaximize(frameState->maximized);
    }
}

void OnKey(GLFWwindow*, int key, int scancode, int action, int mods)
{
    if (Application* app = App()) {
        app->OnKeyEvent(key, scancode, action, mods);
        if (action == GLFW_PRESS) {
            app->OnKeyPress(key, mods);
        }
    }
}

void OnMouseButton(GLFWwindow*, int button, int action, int mods)
{
    if (Application* app = App()) {
        app->OnMouseButton(button, action, mods);
    }
}

void OnCursor(GLFWwindow*, double x, double y)
{
    if (Application* app = App()) {
        app->OnCursorMove(x, y);
    }
}

} // namespace

void InstallWindowCallbacks(GLFWwindow* window)
{
    lastNormalChange = -1.0e9;
    glfwSetWindowPosCallback(window, OnPosition);
    glfwSetWindowSizeCallback(window, OnSize);
    glfwSetWindowMaximizeCallback(window, OnMaximize);
    glfwSetKeyCallback(window, OnKey);
    glfwSetMouseButtonCallback(window, OnMouseButton);
    glfwSetCursorPosCallback(window, OnCursor);
}

} // namespace AppFrame
