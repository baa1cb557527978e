#include "WorkloadCatalogue.h"

namespace Features::WorkloadCatalogue {

const char* const simulationNames[rowCount] = {
    "Smallest Brain - 32768 Neurons, 2M Synapses",
    "Smaller Brain - 131072 Neurons, 13M Synapses",
    "Small Brain - 262144 Neurons, 35M Synapses",
    "Medium Brain - 524288 Neurons, 100M Synapses",
    "Large Brain - 1M Neurons, 200M Synapses",
    "Larger Brain - 2.1M Neurons, 500M Synapses",
    "Largest Brain - 4.2M Neurons, 1.2B Synapses",
    "Huge Brain - 16.7M Neurons, 4B Synapses",
};

// The project file names do not follow the display names: demoBig is 128K
// neurons, demoBiggest 256K and demoHuge 512K.
const char* const simulationArguments[rowCount] = {
    " -project demoSmall.xml -ministhalamus -demo -noresize",
    " -project demoBig.xml -ministhalamus -demo -noresize",
    " -project demoBiggest.xml -ministhalamus -demo -noresize",
    " -project demoHuge.xml -ministhalamus -demo -noresize",
    " -project demo1m.xml -ministhalamus -demo -noresize",
    " -project demo2m.xml -ministhalamus -demo -noresize",
    " -project demo4m.xml -ministhalamus -demo -noresize",
    " -project demo16m.xml -ministhalamus -demo -noresize",
};

const char* const benchmarkNames[rowCount] = {
    "Pulsemark2.32K - 32768 Neurons, 2M Synapses",
    "Pulsemark2.128K - 131072 Neurons, 13M Synapses",
    "Pulsemark2.256K - 262144 Neurons, 35M Synapses",
    "Pulsemark2.512K - 524288 Neurons, 100M Synapses",
    "Pulsemark2.1M - 1M Neurons, 200M Synapses",
    "Pulsemark2.2M - 2.1M Neurons, 500M Synapses",
    "Pulsemark2.4M - 4.2M Neurons, 1.2B Synapses",
    "Pulsemark2.16M - 16.7M Neurons, 4B Synapses",
};

const char* const benchmarkShortNames[rowCount] = {
    "Pulsemark2.32K",
    "Pulsemark2.128K",
    "Pulsemark2.256K",
    "Pulsemark2.512K",
    "Pulsemark2.1M",
    "Pulsemark2.2M",
    "Pulsemark2.4M",
    "Pulsemark2.16M",
};

const char* const benchmarkArguments[rowCount] = {
    " -project demoSmall.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 2000 -benchsamples 10000 -benchexit",
    " -project demoBig.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 2000 -benchsamples 10000 -benchexit",
    " -project demoBiggest.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 2000 -benchsamples 10000 -benchexit",
    " -project demoHuge.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 1000 -benchsamples 5000 -benchexit",
    " -project demo1m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 1000 -benchsamples 5000 -benchexit",
    " -project demo2m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 500 -benchsamples 2000 -benchexit",
    " -project demo4m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 500 -benchsamples 2000 -benchexit",
    " -project demo16m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 200 -benchsamples 1000 -benchexit",
};

const char* const suitabilityNotes[rowCount] = {
    "\u26A0 This workload is suitable for laptops and low-footprint systems (2-6 CPUs) with <=8GB RAM",
    "\u26A0 This workload is suitable for high-end laptops and desktops (6-8 CPUs) with 12GB+ RAM",
    "\u26A0 This workload is suitable for 'gaming' laptops and desktops (8-16 CPUs) with 16GB+ RAM",
    "\u26A0 This workload is suitable for desktops (16-24 CPUs) with 24GB+ RAM",
    "\u26A0 This workload is suitable for high end desktops (24-32 CPUs) with 32GB+ RAM",
    "\u26A0 This workload is suitable for workstations (32+ CPUs) with 64GB+ RAM",
    "\u26A0 This workload is suitable for workstations (64+ CPUs) with 96GB+ RAM",
    "\u26A0 This workload is suitable for high-end workstations (128+ CPUs) with 256GB+ RAM",
};

// Each reads on directly after the row's suitability note.
const char* const gpuMemoryNotes[rowCount] = {
    " and 2GB of GPU VRAM",
    " and 2GB+ of GPU VRAM",
    " and 4GB of GPU VRAM",
    " and 4GB+ of GPU VRAM",
    " and 8GB of GPU VRAM",
    " and 16GB+ of GPU VRAM",
    " and 24GB+ of GPU VRAM",
    " and 48GB+ of GPU VRAM",
};

} // namespace Features::WorkloadCatalogue
