#pragma once
// A small network of leaky integrate-and-fire neurons with random sparse
// connections, four excitatory to one inhibitory, driven by noisy input. One
// step is one sample of 1 ms simulated time.

#include <cstdint>
#include <vector>

namespace Neuroblitz {

class SpikingNetwork {
public:
    // Builds the connections: fanOut random targets for each neuron.
    SpikingNetwork(std::uint32_t neurons, std::uint32_t fanOut, std::uint64_t seed);

    void Step();

    std::uint32_t neurons() const { return m_neurons; }
    std::uint64_t synapses() const { return m_targets.size(); }
    std::uint64_t spikes() const { return m_spikes; } // since construction

private:
    std::uint32_t NextRandom();

    std::uint32_t m_neurons;
    std::uint32_t m_fanOut;
    std::uint32_t m_excitatory;
    float m_excitatoryWeight;
    float m_inhibitoryWeight;
    std::vector<std::uint32_t> m_targets; // fanOut per neuron, in neuron order
    std::vector<float> m_potential;
    std::vector<float> m_input;
    std::vector<std::uint8_t> m_refractory;
    std::vector<std::uint32_t> m_fired;
    std::uint64_t m_spikes = 0;
    std::uint64_t m_random;
};

} // namespace Neuroblitz
