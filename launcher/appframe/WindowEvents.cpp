#include "WindowEvents.h"

#include <GLFW/glfw3.h>

#include "AppFrame.h"

namespace AppFrame {

namespace {

// Placement is recorded only in the normal state, so the saved file keeps the
// last normal placement of a maximized window.
bool IsMaximized(GLFWwindow* window) { return glfwGetWindowAttrib(window, GLFW_MAXIMIZED) != 0; }

Application* App() { return frameState ? frameState->app.get() : nullptr; }

void OnPosition(GLFWwindow* window, int x, int y)
{
    if (!IsMaximized(window)) {
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
    glfwSetWindowPosCallback(window, OnPosition);
    glfwSetWindowSizeCallback(window, OnSize);
    glfwSetWindowMaximizeCallback(window, OnMaximize);
    glfwSetKeyCallback(window, OnKey);
    glfwSetMouseButtonCallback(window, OnMouseButton);
    glfwSetCursorPosCallback(window, OnCursor);
}

} // namespace AppFrame
