#pragma once
// Where a benchmark result lands: the launcher object that shows it, and the
// conversion of the message's two numbers.

#include <atomic>
#include <cstdint>

namespace Features {

class MainApp;

// The MainApp that receives results; set before the result thread starts.
extern std::atomic<MainApp*> resultTarget;

struct BenchmarkResult {
    float realTimeFactor;     // multiple of real time
    std::uint32_t buildTimeMs; // network build time
};

// wParam holds the factor in thousandths, lParam the build time; only the low
// 32 bits of each count.
BenchmarkResult DecodeBenchmarkResult(std::uint64_t wParam, std::uint64_t lParam);

// The result thread's handler: hands the result to resultTarget, if any.
void DeliverBenchmarkResult(std::uint64_t wParam, std::uint64_t lParam);

} // namespace Features
