// The Windows result window: a message-only window of class "vexa_cwclass",
// owned by a thread of its own that runs its message loop.

#include <windows.h>

#include "Platform.h"

namespace Platform {

std::atomic<std::uintptr_t> resultThread{0};
std::atomic<std::uintptr_t> resultWindow{0};

namespace {

std::atomic<ResultHandler> handler{nullptr};
std::atomic<bool> destroyRequested{false};
HANDLE channelThread = nullptr; // the thread's handle, closed once it is stopped

LRESULT CALLBACK ResultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case resultMessage:
        if (const ResultHandler handle = handler.load())
            handle(static_cast<std::uint64_t>(wParam), static_cast<std::uint64_t>(lParam));
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

DWORD WINAPI ResultWindowThread(LPVOID)
{
    const HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ResultWindowProc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)) /* IDC_ARROW */;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "vexa_cwclass";
    // A later channel in the same process finds the class already there.
    if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        resultThread.store(0);
        return 1;
    }

    const HWND window = CreateWindowExA(0, "vexa_cwclass", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                                        nullptr);
    resultWindow.store(reinterpret_cast<std::uintptr_t>(window));
    if (!window) {
        resultThread.store(0);
        return 1;
    }
    // A stop that came before the window existed could not reach it.
    if (destroyRequested.load())
        DestroyWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    resultThread.store(0);
    return 0;
}

} // namespace

void StartResultChannel(ResultHandler resultHandler)
{
    handler.store(resultHandler);
    destroyRequested.store(false);
    resultWindow.store(0);
    channelThread = CreateThread(nullptr, 0, ResultWindowThread, nullptr, 0, nullptr);
    resultThread.store(reinterpret_cast<std::uintptr_t>(channelThread));
}

void StopResultChannel()
{
    destroyRequested.store(true);
    const HWND window = reinterpret_cast<HWND>(resultWindow.load());
    if (window && IsWindow(window)) {
        // Only the owning thread may destroy a window; from here, ask it to.
        if (!DestroyWindow(window))
            PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (const HANDLE thread = reinterpret_cast<HANDLE>(resultThread.load())) {
        if (WaitForSingleObject(thread, 100) == WAIT_TIMEOUT) {
            TerminateThread(thread, 0);
            resultThread.store(0);
        }
    }
    if (channelThread) {
        CloseHandle(channelThread);
        channelThread = nullptr;
    }
}

} // namespace Platform
