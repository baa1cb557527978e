// The launcher's entry point: denormals flushed to zero, then the frame runs the
// launcher's application.

#include <xmmintrin.h>

#include "AppFrame.h"
#include "MainApp.h"

namespace {

int RunLauncher()
{
    _mm_setcsr(_mm_getcsr() | 0x8040); // flush-to-zero (bit 15) and denormals-are-zero (bit 6)
    const AppFrame::AppFactory factory = [](GLFWwindow* window) {
        return std::make_unique<Features::MainApp>(window);
    };
    AppFrame::ExpectFontRequest(Features::MainApp::fontRequest);
    return AppFrame::Run("AppFrame", "Synaptor Demo", factory);
}

} // namespace

#ifdef _WIN32
// The Windows entry point, declared here so that the shared code needs no <windows.h>.
struct HINSTANCE__;
extern "C" int __stdcall wWinMain(HINSTANCE__*, HINSTANCE__*, wchar_t*, int) { return RunLauncher(); }
#else
int main() { return RunLauncher(); }
#endif
