#include <cstdio>

#include "Platform.h"

namespace Platform {

void ShowErrorBox(const char* text, const char* caption)
{
    (void)caption; // the caption belongs to the message box
    std::fprintf(stderr, "%s\n", text);
}

// COM exists on Windows alone.
void InitializeCom() {}
void UninitializeCom() {}
void KeepControllerLibraryLoaded() {}

} // namespace Platform
