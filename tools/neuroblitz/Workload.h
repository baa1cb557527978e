#pragma once
// What the stand-in makes of the launcher's command line.

#include <cstdint>
#include <string>
#include <vector>

namespace Neuroblitz {

struct Options {
    std::string project;              // -project <file>
    bool benchmark = false;           // -benchwrite
    bool exitAfterBenchmark = false;  // -benchexit
    std::uint64_t warmupSamples = 0;  // -warmupsamples <n>
    std::uint64_t benchSamples = 0;   // -benchsamples <n>
    std::uint64_t resultWindow = 0;   // -fripipe <window number>
};

// Unknown options are the real simulator's own and are skipped; a bad number
// reads as 0.
Options ParseOptions(const std::vector<std::string>& arguments);

struct NetworkSize {
    std::uint64_t neurons;
    std::uint64_t synapses;
};

// The size a project file stands for; false for an unknown project.
bool ProjectSize(const std::string& project, NetworkSize& size);

// The size scaled down, with the same synapses per neuron, to at most
// maxNeurons neurons and maxSynapses synapses.
NetworkSize CapSize(NetworkSize size, std::uint64_t maxNeurons, std::uint64_t maxSynapses);

} // namespace Neuroblitz
