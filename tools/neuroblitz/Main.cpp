// Neuroblitz64, the stand-in simulator beside the launcher. It takes the
// launcher's command lines, logs each one beside itself (Neuroblitz64.log), and
// runs a small spiking network sized from the workload: in simulation mode at
// real-time pace until it is ended, in benchmark mode as a measured run whose
// real-time factor and build time it sends to the window after -fripipe
// (and appends to Neuroblitz64.results).
//
// For tests only: NEUROBLITZ_MAX_NEURONS caps the network further, and while the
// file named by NEUROBLITZ_HOLD_FILE exists a benchmark run waits before it exits.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "HostInfo.h"
#include "Platform.h"
#include "SpikingNetwork.h"
#include "Workload.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace Neuroblitz;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void AppendLine(const std::filesystem::path& file, const std::string& line)
{
    std::ofstream out(file, std::ios::app | std::ios::binary);
    out << line << '\n';
}

// The network that fits: a sixteenth of the memory for the connections (4 bytes
// each), and the test cap if one is set.
NetworkSize FittedSize(const NetworkSize& wanted)
{
    const std::uint64_t memory = PhysicalMemory();
    const std::uint64_t maxSynapses = memory ? memory / 16 / 4 : 50000000;
    std::uint64_t maxNeurons = std::numeric_limits<std::uint32_t>::max();
    if (const char* cap = std::getenv("NEUROBLITZ_MAX_NEURONS"))
        maxNeurons = std::max<std::uint64_t>(std::strtoull(cap, nullptr, 10), 16);
    const NetworkSize fitted = CapSize(wanted, maxNeurons, maxSynapses);
    if (fitted.neurons < wanted.neurons)
        std::printf("Capped to %llu neurons and %llu synapses to fit this machine (%.1f GiB of memory%s)\n",
                    static_cast<unsigned long long>(fitted.neurons), static_cast<unsigned long long>(fitted.synapses),
                    static_cast<double>(memory) / (1024.0 * 1024.0 * 1024.0),
                    std::getenv("NEUROBLITZ_MAX_NEURONS") ? ", NEUROBLITZ_MAX_NEURONS" : "");
    return fitted;
}

// Steps the network at most as fast as real time, for ever.
[[noreturn]] void Simulate(SpikingNetwork& network)
{
    const Clock::time_point start = Clock::now();
    std::uint64_t steps = 0;
    for (;;) {
        for (int i = 0; i < 10; ++i)
            network.Step();
        steps += 10;
        const double ahead = static_cast<double>(steps) - MillisecondsSince(start);
        if (ahead > 0)
            SleepMilliseconds(static_cast<unsigned>(ahead));
        if (steps % 1000 == 0) {
            std::printf("t = %llu s, %llu spikes\n", static_cast<unsigned long long>(steps / 1000),
                        static_cast<unsigned long long>(network.spikes()));
            std::fflush(stdout);
        }
    }
}

void WaitForHoldFile()
{
    const char* hold = std::getenv("NEUROBLITZ_HOLD_FILE");
    if (!hold)
        return;
    std::error_code error;
    while (std::filesystem::exists(hold, error))
        SleepMilliseconds(20);
}

int Benchmark(SpikingNetwork& network, const Options& options, double buildMs)
{
    for (std::uint64_t i = 0; i < options.warmupSamples; ++i)
        network.Step();
    const std::uint64_t spikesBefore = network.spikes();
    const Clock::time_point start = Clock::now();
    for (std::uint64_t i = 0; i < options.benchSamples; ++i)
        network.Step();
    const double runMs = std::max(MillisecondsSince(start), 0.001);

    // One sample is 1 ms of simulated time.
    const double factor = static_cast<double>(options.benchSamples) / runMs;
    const double rate = static_cast<double>(network.spikes() - spikesBefore) /
                        (static_cast<double>(network.neurons()) * std::max<double>(options.benchSamples, 1) / 1000.0);
    const std::uint64_t wParam = static_cast<std::uint64_t>(std::min(factor * 1000.0 + 0.5, 4294967295.0));
    const std::uint64_t lParam = static_cast<std::uint64_t>(std::min(buildMs + 0.5, 4294967295.0));
    std::printf("Benchmark: %llu samples in %.1f ms, %.2fx real time, %.1f Hz mean rate, built in %llu ms\n",
                static_cast<unsigned long long>(options.benchSamples), runMs, factor, rate,
                static_cast<unsigned long long>(lParam));
    AppendLine(ProgramFolder() / "Neuroblitz64.results", std::to_string(wParam) + " " + std::to_string(lParam));

    if (options.resultWindow == 0)
        std::printf("No result window given; the result stays here\n");
    else if (Platform::SendResultMessage(options.resultWindow, Platform::resultMessage, wParam, lParam))
        std::printf("Result sent to window %llu\n", static_cast<unsigned long long>(options.resultWindow));
    else
        std::printf("Result window %llu is not there\n", static_cast<unsigned long long>(options.resultWindow));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string commandLine = OwnCommandLine(argc, argv);
    AppendLine(ProgramFolder() / "Neuroblitz64.log", commandLine);
    std::printf("Neuroblitz64 stand-in:%s\n", commandLine.c_str());

    const Options options = ParseOptions(OwnArguments(argc, argv));
    NetworkSize wanted;
    if (!ProjectSize(options.project, wanted)) {
        std::printf("Unknown project \"%s\"\n", options.project.c_str());
        return 2;
    }
    std::printf("Workload %s: %llu neurons, %llu synapses\n", options.project.c_str(),
                static_cast<unsigned long long>(wanted.neurons), static_cast<unsigned long long>(wanted.synapses));
    const NetworkSize size = FittedSize(wanted);
    std::fflush(stdout);

    const Clock::time_point buildStart = Clock::now();
    const std::uint32_t fanOut = static_cast<std::uint32_t>(std::max<std::uint64_t>(size.synapses / size.neurons, 1));
    SpikingNetwork network(static_cast<std::uint32_t>(size.neurons), fanOut, 0x5eed);
    const double buildMs = MillisecondsSince(buildStart);
    std::printf("Network of %u neurons and %llu synapses built in %.1f ms\n", network.neurons(),
                static_cast<unsigned long long>(network.synapses()), buildMs);
    std::fflush(stdout);

    if (options.benchmark) {
        Benchmark(network, options, buildMs);
        WaitForHoldFile();
        if (options.exitAfterBenchmark)
            return 0;
    }
    Simulate(network);
}
