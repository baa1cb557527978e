#include "SpikingNetwork.h"

namespace Neuroblitz {

namespace {

constexpr float threshold = 20.0f;  // mV above rest
constexpr float reset = 0.0f;
constexpr float stepOverTau = 0.05f; // 1 ms over a 20 ms membrane constant
constexpr float bias = 19.0f;        // just below threshold: noise makes it fire
constexpr float noise = 12.0f;
constexpr std::uint8_t refractorySteps = 2;

} // namespace

SpikingNetwork::SpikingNetwork(std::uint32_t neurons, std::uint32_t fanOut, std::uint64_t seed)
    : m_neurons(neurons),
      m_fanOut(fanOut),
      m_excitatory(neurons - neurons / 5),
      // Inhibition a little stronger than excitation keeps the activity bounded.
      m_excitatoryWeight(8.0f / static_cast<float>(fanOut)),
      m_inhibitoryWeight(-40.0f / static_cast<float>(fanOut)),
      m_targets(static_cast<std::size_t>(neurons) * fanOut),
      m_potential(neurons),
      m_input(neurons),
      m_refractory(neurons),
      m_random(seed | 1)
{
    for (std::uint32_t& target : m_targets)
        target = static_cast<std::uint32_t>((static_cast<std::uint64_t>(NextRandom()) * neurons) >> 32);
    for (float& potential : m_potential)
        potential = threshold * static_cast<float>(NextRandom() >> 8) / 16777216.0f;
    m_fired.reserve(neurons);
}

std::uint32_t SpikingNetwork::NextRandom()
{
    // xorshift64*
    m_random ^= m_random >> 12;
    m_random ^= m_random << 25;
    m_random ^= m_random >> 27;
    return static_cast<std::uint32_t>((m_random * 2685821657736338717ull) >> 32);
}

void SpikingNetwork::Step()
{
    m_fired.clear();
    for (std::uint32_t i = 0; i < m_neurons; ++i) {
        const float input = m_input[i];
        m_input[i] = 0.0f;
        if (m_refractory[i]) {
            --m_refractory[i];
            continue;
        }
        const float drive = bias + noise * (static_cast<float>(NextRandom() >> 8) / 8388608.0f - 1.0f);
        float potential = m_potential[i] + (drive - m_potential[i]) * stepOverTau + input;
        if (potential >= threshold) {
            potential = reset;
            m_refractory[i] = refractorySteps;
            m_fired.push_back(i);
        }
        m_potential[i] = potential;
    }
    for (const std::uint32_t source : m_fired) {
        const float weight = source < m_excitatory ? m_excitatoryWeight : m_inhibitoryWeight;
        const std::uint32_t* target = &m_targets[static_cast<std::size_t>(source) * m_fanOut];
        for (std::uint32_t k = 0; k < m_fanOut; ++k)
            m_input[target[k]] += weight;
    }
    m_spikes += m_fired.size();
}

} // namespace Neuroblitz
