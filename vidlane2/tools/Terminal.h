#pragma once

// Whether standard error is a terminal, where the tool may overwrite its
// progress line. One implementation per platform (posix/, win32/).
namespace vidlane2 {

bool StderrIsTerminal();

} // namespace vidlane2
