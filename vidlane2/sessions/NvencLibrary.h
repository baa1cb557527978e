#pragma once

#include "sessions/NvencApi.h"

namespace vidlane2 {

// The encoder library and its two exported entries, loaded once per process.
// Any of the three is null when missing.
struct NvencLibrary {
    void* handle = nullptr;
    nvenc::GetMaxSupportedVersionFn getMaxSupportedVersion = nullptr;
    nvenc::CreateInstanceFn createInstance = nullptr;
};

const NvencLibrary& LoadNvencLibrary();

} // namespace vidlane2
