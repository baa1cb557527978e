#pragma once

// Call log and failure injection shared by the fake driver libraries. Each
// fake library compiles its own copy, so the fakes stay independent.
#include <map>
#include <string>
#include <vector>

namespace fake {

class CallRecorder {
public:
    void Reset()
    {
        m_calls.clear();
        // Room for a test's calls, so that recording allocates nothing a test might count.
        m_calls.reserve(1 << 14);
        m_failures.clear();
    }

    // Records the call; returns the injected status, or 0 to go on.
    int Enter(const char* name)
    {
        m_calls.emplace_back(name);
        auto failure = m_failures.find(name);
        if (failure == m_failures.end())
            return 0;
        if (failure->second.skip > 0) {
            --failure->second.skip;
            return 0;
        }
        return failure->second.status;
    }

    void Fail(const std::string& name, int status, int skip) { m_failures[name] = {status, skip}; }
    void ClearFailures() { m_failures.clear(); }
    const std::vector<std::string>& Calls() const { return m_calls; }

private:
    struct Failure {
        int status;
        int skip;
    };
    std::vector<std::string> m_calls;
    std::map<std::string, Failure> m_failures;
};

} // namespace fake
