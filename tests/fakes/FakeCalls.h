#pragma once

// Call log and failure injection shared by the fake driver libraries. Each
// fake library compiles its own copy, so the fakes stay independent.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace fake {

// The log keeps the names themselves (every caller passes a literal) and
// failures are looked up without building strings, so that recording allocates
// nothing a test might count once the log has its room.
class CallRecorder {
public:
    void Reset()
    {
        m_calls.clear();
        m_calls.reserve(1 << 14);
        m_failures.clear();
    }

    // Records the call; returns the injected status, or 0 to go on.
    int Enter(const char* name)
    {
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
        for (Failure& failure : m_failures)
            if (failure.name == name) {
                failure = {name, status, skip, times};
                return;
            }
        m_failures.push_back({name, status, skip, times});
    }
    void ClearFailures() { m_failures.clear(); }
    std::vector<std::string> Calls() const { return {m_calls.begin(), m_calls.end()}; }
    std::size_t Count(const std::string& name) const
    {
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
    std::vector<const char*> m_calls;
    std::vector<Failure> m_failures;
};

} // namespace fake
