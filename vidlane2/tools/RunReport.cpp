#include "RunReport.h"

#include <cstdio>
#include <utility>

namespace vidlane2 {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(250);

} // namespace

RunReport::RunReport(std::string verb, bool showProgress) : m_verb(std::move(verb)), m_showProgress(showProgress) {}

double RunReport::seconds() const
{
    return std::chrono::duration<double>(Clock::now() - m_start).count();
}

void RunReport::addFrame(std::uint64_t bytes)
{
    ++m_frames;
    m_bytes += bytes;
    if (!m_showProgress || Clock::now() - m_shown < kProgressInterval)
        return;
    m_shown = Clock::now();
    std::fprintf(stderr, "\r%s %llu frames, %llu bytes", m_verb.c_str(), static_cast<unsigned long long>(m_frames),
                 static_cast<unsigned long long>(m_bytes));
    std::fflush(stderr);
}

void RunReport::clearProgress()
{
    if (m_showProgress)
        std::fprintf(stderr, "\r\x1b[K");
}

void RunReport::finish()
{
    const double elapsed = seconds();
    const double rate = elapsed > 0 ? static_cast<double>(m_frames) / elapsed : 0.0;
    clearProgress();
    std::fprintf(stderr, "vidlane-cli: %s %llu frames, %llu bytes, %.1f frames per second\n", m_verb.c_str(),
                 static_cast<unsigned long long>(m_frames),
                 static_cast<unsigned long long>(m_bytes), rate);
}

} // namespace vidlane2
