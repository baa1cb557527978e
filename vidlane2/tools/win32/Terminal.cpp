#include "Terminal.h"

#include <windows.h>

namespace vidlane2 {

// A console, not merely a character device: _isatty also says yes for NUL,
// where a progress line would be written for nobody.
bool StderrIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace vidlane2
