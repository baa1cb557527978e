// Windows only: GLFW loads XInput when it starts and unloads it when it ends, and
// Wine's XInput can still be running its device thread inside the library then,
// which crashed programs on their way out. The frame keeps the library loaded.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "Platform.h"

TEST(ControllerLibrary, StaysLoadedAfterTheWindowSystemEnds)
{
    ASSERT_TRUE(glfwInit());
    const bool loaded = GetModuleHandleW(L"xinput1_4.dll") != nullptr;
    Platform::KeepControllerLibraryLoaded();
    glfwTerminate();
    ASSERT_TRUE(loaded) << "the window system did not load XInput 1.4";
    EXPECT_NE(GetModuleHandleW(L"xinput1_4.dll"), nullptr);
}
