#include "Workload.h"

#include <algorithm>
#include <cstdlib>

namespace Neuroblitz {

namespace {

std::uint64_t ParseCount(const std::string& text)
{
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    return (end && *end == '\0' && !text.empty()) ? value : 0;
}

} // namespace

Options ParseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (option == "-project" && hasValue)
            options.project = arguments[++i];
        else if (option == "-warmupsamples" && hasValue)
            options.warmupSamples = ParseCount(arguments[++i]);
        else if (option == "-benchsamples" && hasValue)
            options.benchSamples = ParseCount(arguments[++i]);
        else if (option == "-fripipe" && hasValue)
            options.resultWindow = ParseCount(arguments[++i]);
        else if (option == "-benchwrite")
            options.benchmark = true;
        else if (option == "-benchexit")
            options.exitAfterBenchmark = true;
    }
    return options;
}

bool ProjectSize(const std::string& project, NetworkSize& size)
{
    struct Entry {
        const char* project;
        NetworkSize size;
    };
    static const Entry projects[] = {
        {"demoSmall.xml", {32768, 2000000}},
        {"demoBig.xml", {131072, 13000000}},
        {"demoBiggest.xml", {262144, 35000000}},
        {"demoHuge.xml", {524288, 100000000}},
        {"demo1m.xml", {1048576, 200000000}},
        {"demo2m.xml", {2097152, 500000000}},
        {"demo4m.xml", {4194304, 1200000000}},
        {"demo16m.xml", {16777216, 4000000000}},
    };
    for (const Entry& entry : projects) {
        if (project == entry.project) {
            size = entry.size;
            return true;
        }
    }
    return false;
}

NetworkSize CapSize(NetworkSize size, std::uint64_t maxNeurons, std::uint64_t maxSynapses)
{
    const double fanOut = static_cast<double>(size.synapses) / static_cast<double>(size.neurons);
    std::uint64_t neurons = std::min(size.neurons, std::max<std::uint64_t>(maxNeurons, 1));
    neurons = std::min(neurons, std::max<std::uint64_t>(static_cast<std::uint64_t>(maxSynapses / fanOut), 1));
    return {neurons, static_cast<std::uint64_t>(fanOut * static_cast<double>(neurons))};
}

} // namespace Neuroblitz
