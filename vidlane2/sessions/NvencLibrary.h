#pragma once

#include "sessions/NvencApi9.h"

namespace vidlane2 {

// The encoder library and its two exported entries, loaded once per process.
// Any of the three is null when missing.
struct NvencLibrary {
    void* handle = nullptr;
    nvenc9::GetMaxSupportedVersionFn getMaxSupportedVersion = nullptr;
    nvenc9::CreateInstanceFn createInstance = nullptr;
};

const NvencLibrary& LoadNvencLibrary();

} // namespace vidlane2
