#include "ResultChannel.h"

#include "MainApp.h"

namespace Features {

std::atomic<MainApp*> resultTarget{nullptr};

BenchmarkResult DecodeBenchmarkResult(std::uint64_t wParam, std::uint64_t lParam)
{
    const float thousandths = static_cast<float>(static_cast<std::uint32_t>(wParam));
    return {thousandths * 0.001f, static_cast<std::uint32_t>(lParam)};
}

void DeliverBenchmarkResult(std::uint64_t wParam, std::uint64_t lParam)
{
    if (MainApp* target = resultTarget.load())
        target->StoreResult(DecodeBenchmarkResult(wParam, lParam));
}

} // namespace Features
