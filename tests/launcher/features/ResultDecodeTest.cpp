// The result message's numbers as the launcher shows them.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ResultChannel.h"

namespace {

std::string Shown(const Features::BenchmarkResult& result)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2fx Real-Time|%u ms", result.realTimeFactor, result.buildTimeMs);
    return text;
}

TEST(ResultDecode, ThousandthsAndMilliseconds)
{
    const struct {
        std::uint64_t wParam, lParam;
        const char* shown;
    } cases[] = {
        {2500, 812, "2.50x Real-Time|812 ms"},
        {2500 | (0xFFFFFFFFull << 32), 812 | (1ull << 63), "2.50x Real-Time|812 ms"}, // high bits ignored
        {0, 0, "0.00x Real-Time|0 ms"},
        {15731, 3, "15.73x Real-Time|3 ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(Shown(Features::DecodeBenchmarkResult(c.wParam, c.lParam)), c.shown);
    }
    EXPECT_EQ(Features::DecodeBenchmarkResult(2500, 812).realTimeFactor, 2500.0f * 0.001f);
}

} // namespace
