#include "Terminal.h"

#include <cstdio>

#include <unistd.h>

namespace vidlane2 {

bool StderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}

} // namespace vidlane2
