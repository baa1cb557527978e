#pragma once
// The frame's callbacks on the main window: placement bookkeeping, then the
// application's event operations.

struct GLFWwindow;

namespace AppFrame {

void InstallWindowCallbacks(GLFWwindow* window);

} // namespace AppFrame
