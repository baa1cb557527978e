#include "StoredPlacement.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace AppFrame {

namespace {

bool Overlaps(const ScreenRect& a, const ScreenRect& b)
{
    // 64-bit sums: stored positions are any 32-bit numbers.
    const long long aRight = static_cast<long long>(a.x) + a.width;
    const long long aBottom = static_cast<long long>(a.y) + a.height;
    const long long bRight = static_cast<long long>(b.x) + b.width;
    const long long bBottom = static_cast<long long>(b.y) + b.height;
    return a.x < bRight && b.x < aRight && a.y < bBottom && b.y < aBottom;
}

} // namespace

bool OverlapsAnyArea(const ScreenRect& client, const std::vector<ScreenRect>& areas)
{
    for (const ScreenRect& area : areas) {
        if (Overlaps(client, area)) {
            return true;
        }
    }
    return false;
}

std::vector<ScreenRect> MonitorWorkAreas()
{
    int count = 0;
    GLFWmonitor** const monitors = glfwGetMonitors(&count);
    std::vector<ScreenRect> areas;
    for (int i = 0; i < count; ++i) {
        ScreenRect area;
        glfwGetMonitorWorkarea(monitors[i], &area.x, &area.y, &area.width, &area.height);
        if (area.width > 0 && area.height > 0) {
            areas.push_back(area);
        }
    }
    return areas;
}

} // namespace AppFrame
