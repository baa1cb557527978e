#include "MainApp.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include "LaunchCommand.h"
#include "Platform.h"
#include "SkyRenderer.h"
#include "WorkloadCatalogue.h"

namespace Features {

namespace {

namespace catalogue = WorkloadCatalogue;

const ImVec4 resultColour(1.0f, 0.9f, 0.9f, 1.0f);
const ImVec4 footerColour(0.5f, 0.5f, 0.5f, 1.0f);

// The frame's fixed fonts; null (the library's default font) before the frame
// has built them.
ImFont* FixedFont(ImFont* FrameState::*font)
{
    return frameState ? frameState.get()->*font : nullptr;
}

// Writes a field of the font request only where it differs, so that an unchanged
// request does not rebuild the atlas.
template <typename T>
void RequestFontField(T& field, T value)
{
    if (field != value) {
        field = value;
        frameState->fontsDirty = true;
    }
}

// One workload list, inert while the other mode is chosen (the caller's disabled
// block covers the running case).
void DrawWorkloadList(const char* label, int* index, const char* const* names, bool inert)
{
    if (inert)
        ImGui::BeginDisabled();
    ImGui::Indent();
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x - 4.0f * ImGui::GetStyle().FramePadding.x);
    ImGui::Combo(label, index, names, catalogue::rowCount);
    ImGui::PopItemWidth();
    ImGui::Unindent();
    if (inert)
        ImGui::EndDisabled();
}

void Spacing(int count)
{
    for (int i = 0; i < count; ++i)
        ImGui::Spacing();
}

} // namespace

MainApp::MainApp(GLFWwindow* window) : window(window)
{
    SetupSky();

    resultTarget.store(this);
    Platform::StartResultChannel(&DeliverBenchmarkResult);

    if (frameState) {
        RequestFontField(frameState->fontEnabled, fontRequest.enabled);
        RequestFontField(frameState->fontType, fontRequest.type);
        RequestFontField(frameState->fontSize, fontRequest.pixels);
    }
}

// The result thread must be gone before the fields it writes are. A running
// simulator and its monitor are left alone.
MainApp::~MainApp() { Platform::StopResultChannel(); }

void MainApp::OnKeyPress(int key, int /*mods*/)
{
    if (key == GLFW_KEY_ESCAPE)
        glfwSetWindowShouldClose(window, GLFW_TRUE);
}

void MainApp::StoreResult(const BenchmarkResult& result)
{
    realTimeFactor.store(result.realTimeFactor, std::memory_order_relaxed);
    buildTimeMs.store(result.buildTimeMs, std::memory_order_relaxed);
    resultsAvailable.store(true, std::memory_order_release);
}

void MainApp::OnUpdate()
{
    // One reading for the whole frame, whatever the monitor does meanwhile.
    const bool running = Platform::childProcess.load() != 0;

    ImGuiStyle& style = ImGui::GetStyle();
    style.Colors[ImGuiCol_WindowBg].w = running ? 1.0f : 0.85f;
    if (!running)
        DrawSky(window);

    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const ImVec2 padding = style.FramePadding;
    ImGui::SetNextWindowPos(ImVec2(viewport->WorkPos.x + 8.0f * padding.x, viewport->WorkPos.y + 8.0f * padding.y),
                            ImGuiCond_Always, ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(viewport->WorkSize.x - 16.0f * padding.x, viewport->WorkSize.y - 16.0f * padding.y),
                             ImGuiCond_Always);

    if (ImGui::Begin("Launcher##yzl1f3rj", nullptr,
                     ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove)) {
        DrawModeChoice(running);
        DrawWorkloadNote();
        // The buttons and the result block share the semi-bold font.
        ImGui::PushFont(FixedFont(&FrameState::semiBold20));
        DrawButtons(running);
        if (resultsAvailable.load(std::memory_order_acquire))
            DrawResults();
        ImGui::PopFont();
        DrawFooter();
    }
    ImGui::End();
}

// Opens the disabled block that stays in force while running up to the Launch
// button; DrawButtons closes it.
void MainApp::DrawModeChoice(bool running)
{
    if (running)
        ImGui::BeginDisabled();

    if (ImGui::RadioButton("Run Simulation with Visualization##uynhqsct", simulationMode)) {
        simulationMode = true;
        benchmarkMode = false;
    }
    ImGui::Spacing();
    DrawWorkloadList("##sim123kl", &simulationIndex, catalogue::simulationNames, benchmarkMode && !running);
    Spacing(3);

    if (ImGui::RadioButton("Run Pulsemarker##fhyzeuoh", benchmarkMode)) {
        simulationMode = false;
        benchmarkMode = true;
    }
    ImGui::Spacing();
    DrawWorkloadList("##sbench23kl", &benchmarkIndex, catalogue::benchmarkNames, simulationMode && !running);
    Spacing(3);
}

void MainApp::DrawWorkloadNote()
{
    // A benchmark run uses no GPU, so its note has no GPU memory part.
    const int row = simulationMode ? simulationIndex : benchmarkIndex;
    const char* gpuNote = simulationMode ? catalogue::gpuMemoryNotes[row] : "";
    ImGui::PushFont(FixedFont(&FrameState::regular16));
    ImGui::TextWrapped("%s%s", catalogue::suitabilityNotes[row], gpuNote);
    ImGui::PopFont();
    Spacing(2);
}

void MainApp::DrawButtons(bool running)
{
    // One size for both buttons, measured in the semi-bold font without the suffix.
    const ImVec2 padding = ImGui::GetStyle().FramePadding;
    const ImVec2 text = ImGui::CalcTextSize("\u25B6 Launch Simulation");
    const ImVec2 size(text.x + 4.0f * padding.x, text.y + 4.0f * padding.y);

    if (ImGui::Button("\u25B6 Launch Simulation##wdaaioqs", size))
        Launch();
    ImGui::SameLine();

    if (running)
        ImGui::EndDisabled();
    else
        ImGui::BeginDisabled();
    if (ImGui::Button("\u25A0 Stop / Abort##qayzspwm", size))
        Platform::AbortProcess();
    if (!running)
        ImGui::EndDisabled();
}

void MainApp::DrawResults()
{
    Spacing(3);
    ImGui::Separator();
    ImGui::PushFont(FixedFont(&FrameState::semiBold20));
    ImGui::Text("%s Results:", resultName.c_str());

    ImGui::BeginGroup();
    ImGui::Indent();
    ImGui::PushFont(FixedFont(&FrameState::light24));
    ImGui::TextColored(resultColour, "%.2fx Real-Time", realTimeFactor.load(std::memory_order_relaxed));
    ImGui::TextColored(resultColour, "%u ms", buildTimeMs.load(std::memory_order_relaxed));
    ImGui::Unindent();
    ImGui::PopFont();
    ImGui::EndGroup();

    ImGui::SameLine();

    ImGui::BeginGroup();
    ImGui::PushFont(FixedFont(&FrameState::light16));
    ImGui::Spacing();
    ImGui::TextColored(resultColour, "%s",
                       "\u2605 Higher is better. Indicates how much faster the simulation ran compared to real-time.");
    Spacing(3);
    ImGui::TextColored(resultColour, "%s", "\u2605 Lower is better. Indicates how much time the simulation took to build.");
    ImGui::PopFont();
    ImGui::EndGroup();

    ImGui::PopFont();
    ImGui::Spacing();
    ImGui::Separator();
}

void MainApp::DrawFooter()
{
    ImGui::PushFont(FixedFont(&FrameState::light16));
    const float padY = ImGui::GetStyle().FramePadding.y;
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() + ImGui::GetContentRegionAvail().y - 12.0f - 2.0f * padY);
    ImGui::TextColored(footerColour, "%s", SkyShaderCredit());
    ImGui::PopFont();
}

// Runs only while idle, in the frame in which Launch was pressed.
void MainApp::Launch()
{
    const LaunchCommand command = BuildLaunchCommand(benchmarkMode, simulationIndex, benchmarkIndex,
                                                     Platform::resultWindow.load());
    if (benchmarkMode) {
        handleText = command.handleText;
        resultName = command.resultName;
    }
    Platform::LaunchProcess(Platform::simulatorProgram, command.commandLine);
}

} // namespace Features
