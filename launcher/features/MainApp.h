#pragma once
// The launcher's application: one full-screen window from which the user picks a
// workload and runs the simulator on it, over the animated sky.

#include <atomic>
#include <cstdint>
#include <string>

#include "AppFrame.h"
#include "ResultChannel.h"

namespace Features {

class MainApp final : public AppFrame::Application {
public:
    // The font request the constructor makes: Inter Regular at 24 pixels.
    static constexpr AppFrame::FontRequest fontRequest{true, 5, 24.0f};

    explicit MainApp(GLFWwindow* window);
    ~MainApp() override;

    void OnKeyPress(int key, int mods) override;
    void OnUpdate() override;

    // Called on the result thread.
    void StoreResult(const BenchmarkResult& result);

private:
    void DrawModeChoice(bool running);
    void DrawWorkloadNote();
    void DrawButtons(bool running);
    void DrawResults();
    void DrawFooter();
    void Launch();

    GLFWwindow* window;
    // Written by the result thread: the numbers first, then the flag with release
    // ordering; the UI thread reads the flag with acquire ordering first.
    std::atomic<bool> resultsAvailable{false};
    std::string handleText;
    std::string resultName;
    std::atomic<float> realTimeFactor{0.0f};
    std::atomic<std::uint32_t> buildTimeMs{0};
    int simulationIndex = 1;
    int benchmarkIndex = 1;
    bool simulationMode = true;
    bool benchmarkMode = false;
};

} // namespace Features
