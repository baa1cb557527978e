// Results reach the launcher object that is the result target, and only it: the
// real MainApp in a hidden window, its frames counted in drawn vertices.

#include <gtest/gtest.h>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <imgui.h>

#include "MainApp.h"
#include "ResultChannel.h"

namespace {

class ResultDelivery : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(glfwInit());
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        window = glfwCreateWindow(900, 600, "result delivery test", nullptr, nullptr);
        ASSERT_NE(window, nullptr) << "no OpenGL 3.2 core context on the display";
        glfwMakeContextCurrent(window);
        ASSERT_NE(gladLoadGL(reinterpret_cast<GLADloadfunc>(glfwGetProcAddress)), 0);
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(900.0f, 600.0f);
        io.Fonts->Build();
    }

    // GLFW is not terminated: that would unload the GL driver, whose own
    // allocations would then show up as leaks the sanitizer cannot attribute.
    void TearDown() override
    {
        if (ImGui::GetCurrentContext()) {
            ImGui::DestroyContext();
        }
        if (window) {
            glfwDestroyWindow(window);
        }
    }

    static int DrawnVertices(Features::MainApp& app)
    {
        ImGui::NewFrame();
        app.OnUpdate();
        ImGui::Render();
        return ImGui::GetDrawData()->TotalVtxCount;
    }

    GLFWwindow* window = nullptr;
};

TEST_F(ResultDelivery, NoTargetLeavesTheLauncherUnchanged)
{
    Features::MainApp app(window);
    ASSERT_EQ(Features::resultTarget.load(), &app);
    DrawnVertices(app); // the first frame lays the window out
    const int idle = DrawnVertices(app);

    Features::DeliverBenchmarkResult(2500, 812);
    const int shown = DrawnVertices(app);
    EXPECT_GT(shown, idle) << "the delivered result is not drawn";

    // Numbers with more digits would draw more glyphs, had they arrived.
    Features::resultTarget.store(nullptr);
    Features::DeliverBenchmarkResult(123456789, 4000000000u);
    EXPECT_EQ(DrawnVertices(app), shown) << "a result reached the launcher while it was not the target";
    Features::resultTarget.store(&app);
}

} // namespace
