// The launch grids at every block shape the benchmark compares: each unit of work
// (pixel, nibble pair, 2 x 2 colour block) is reached by exactly one thread, with
// less than one block to spare per dimension. The CPU reference walks these grids.
#include "KernelReference.h"
#include "LaunchGeometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vidlane2 {
namespace {

using u32 = std::uint32_t;

struct Grid {
    const char* name;
    LaunchShape (*shapeOf)(u32, u32, Dim3u);
    // Threads that have work in a frame of w x h, per dimension.
    u32 (*unitsX)(u32 w);
    u32 (*unitsY)(u32 h);
};

const Grid kGrids[] = {
    {"pixel", pixelLaunch, [](u32 w) { return w; }, [](u32 h) { return h; }},
    {"nibble pair", nibblePairLaunch, [](u32 w) { return (w + 1) / 2; }, [](u32 h) { return h; }},
    // A thread per 2 x 2 block, a block cut by an odd last column or row included.
    {"colour", colourLaunch, [](u32 w) { return (w + 1) / 2; }, [](u32 h) { return (h + 1) / 2; }},
};

const Dim3u kBlocks[] = {kFrameBlock, kColourBlock, {16, 2, 1}, {32, 2, 1}, {64, 4, 1}, {32, 16, 1}, {1, 1, 1}};

TEST(LaunchGeometry, EveryUnitOfWorkHasExactlyOneThread)
{
    const u32 sizes[][2] = {{1, 1},   {2, 1},   {1, 9},    {31, 7},  {32, 8},      {33, 9},
                            {63, 17}, {64, 16}, {65, 15},  {127, 3}, {1919, 1079}, {1920, 1080}};
    for (const Grid& g : kGrids) {
        for (const Dim3u block : kBlocks) {
            for (const auto& size : sizes) {
                const u32 w = size[0], h = size[1];
                SCOPED_TRACE(testing::Message() << g.name << " grid, block " << block.x << "x" << block.y << ", "
                                                << w << "x" << h);
                const LaunchShape shape = g.shapeOf(w, h, block);
                EXPECT_EQ(shape.block.x, block.x);
                EXPECT_EQ(shape.block.y, block.y);
                const u32 ux = g.unitsX(w), uy = g.unitsY(h);
                std::vector<int> hits(std::size_t{ux} * uy, 0);
                reference::forEachThread(shape, [&](u32 x, u32 y) {
                    if (x < ux && y < uy) ++hits[std::size_t{y} * ux + x];
                });
                for (std::size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i], 1) << "unit " << i % ux << "," << i / ux;
                // No whole block of idle threads in either dimension.
                EXPECT_LT(shape.grid.x * block.x - ux, block.x);
                EXPECT_LT(shape.grid.y * block.y - uy, block.y);
                EXPECT_EQ(shape.grid.z, 1u);
            }
        }
    }
}

TEST(LaunchGeometry, ShippedShapes)
{
    // 256 threads, a full warp across each row.
    EXPECT_EQ(kFrameBlock.x, 32u);
    EXPECT_EQ(kFrameBlock.y, 8u);
    EXPECT_EQ(kColourBlock.x, 32u);
    EXPECT_EQ(kColourBlock.y, 8u);
    const LaunchShape pixels = pixelLaunch(1920, 1080);
    EXPECT_EQ(pixels.grid.x, 60u);
    EXPECT_EQ(pixels.grid.y, 135u);
    const LaunchShape colour = colourLaunch(1920, 1080);
    EXPECT_EQ(colour.grid.x, 30u);
    EXPECT_EQ(colour.grid.y, 68u); // 1080 / 16 = 67.5
    // The largest frame sizes neither wrap nor pass the device's grid limits (y at most 65535).
    const LaunchShape widest = nibblePairLaunch(0xFFFFFFFFu, 1);
    EXPECT_EQ(widest.grid.x, 0x80000000u / 32);
    EXPECT_EQ(pixelLaunch(0xFFFFFFFFu, 1).grid.x, 0x8000000u);
    EXPECT_LE(pixelLaunch(8192, 8192).grid.y, 65535u);
}

} // namespace
} // namespace vidlane2
