#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vidlane2 {

// Counts a run's frames and bytes. On a terminal it shows them as they grow;
// finish() prints the one summary line every run ends with.
class RunReport {
public:
    RunReport(std::string verb, bool showProgress); // verb: "decoded", "encoded"

    void addFrame(std::uint64_t bytes);
    void clearProgress(); // before a message of its own
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    double seconds() const;

    std::string m_verb;
    bool m_showProgress;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_shown = m_start;
    std::uint64_t m_frames = 0;
    std::uint64_t m_bytes = 0;
};

} // namespace vidlane2
