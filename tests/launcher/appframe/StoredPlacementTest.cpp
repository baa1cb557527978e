#include <gtest/gtest.h>

#include <climits>

#include "StoredPlacement.h"

namespace {

using AppFrame::OverlapsAnyArea;
using AppFrame::ScreenRect;

TEST(StoredPlacement, SeenOnlyWhereAClientPixelLiesInAWorkArea)
{
    // A 1920 x 1080 monitor with a panel at the top, and one to its right.
    const std::vector<ScreenRect> areas = {{0, 30, 1920, 1050}, {1920, 0, 1280, 1024}};
    const struct {
        ScreenRect client;
        bool seen;
        const char* what;
    } cases[] = {
        {{100, 100, 900, 600}, true, "inside the first"},
        {{2500, 300, 900, 600}, true, "inside the second"},
        {{1500, 500, 900, 600}, true, "across both"},
        {{-899, 100, 900, 600}, true, "one column on the left edge"},
        {{-900, 100, 900, 600}, false, "just left of the first"},
        {{100, -570, 900, 600}, false, "just above the work area, on the panel"},
        {{3200, 100, 900, 600}, false, "just right of the second"},
        {{2500, 1024, 900, 600}, false, "below the shorter second"},
        {{5000, 4000, 900, 600}, false, "where a third monitor was"},
        {{INT_MAX, INT_MAX, 900, 600}, false, "far past every edge"},
        {{INT_MIN, INT_MIN, 900, 600}, false, "far before every edge"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(OverlapsAnyArea(c.client, areas), c.seen);
    }
    EXPECT_FALSE(OverlapsAnyArea({100, 100, 900, 600}, {}));
}

} // namespace
