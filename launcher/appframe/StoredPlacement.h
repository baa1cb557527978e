#pragma once
// Whether a stored window position can still be seen: a settings file may come
// from a desktop with a monitor that is gone now.

#include <vector>

namespace AppFrame {

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// True when the client area shares at least one pixel with one of the areas.
bool OverlapsAnyArea(const ScreenRect& client, const std::vector<ScreenRect>& areas);

// The work areas of the monitors connected now (GLFW must be initialized).
std::vector<ScreenRect> MonitorWorkAreas();

} // namespace AppFrame
