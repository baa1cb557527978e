#pragma once

// Call log and failure injection shared by the fake driver libraries. Each
// fake library compiles its own copy, so the fakes stay independent.
#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace fake {

// The log keeps the names themselves (every caller passes a literal) and
// failures are looked up without building strings, so that recording allocates
// nothing a test might count once the log has its room. A driver's own
// threads (asynchronous encoding) record too.
class CallRecorder {
public:
    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
        m_calls.reserve(1 << 14);
        m_failures.clear();
    }

    // Records the call; returns the injected status, or 0 to go on.
    int Enter(const char* name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(name);
        for (Failure& failure : m_failures) {
            if (failure.name != name)
                continue;
            if (failure.skip > 0) {
                --failure.skip;
                return 0;
            }
            if (failure.times == 0)
                return 0;
            if (failure.times > 0)
                --failure.times;
            return failure.status;
        }
        return 0;
    }

    // The call fails with status after skip calls that pass, times times (or
    // for good with a negative count).
    void Fail(const std::string& name, int status, int skip, int times = -1)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Failure& failure : m_failures)
            if (failure.name == name) {
                failure = {name, status, skip, times};
                return;
            }
        m_failures.push_back({name, status, skip, times});
    }
    void ClearFailures()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failures.clear();
    }
    std::vector<std::string> Calls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return {m_calls.begin(), m_calls.end()};
    }
    std::size_t Count(const std::string& name) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<std::size_t>(
            std::count_if(m_calls.begin(), m_calls.end(), [&](const char* call) { return name == call; }));
    }

private:
    struct Failure {
        std::string name;
        int status;
        int skip;
        int times;
    };
    mutable std::mutex m_mutex;
    std::vector<const char*> m_calls;
    std::vector<Failure> m_failures;
};

} // namespace fake
