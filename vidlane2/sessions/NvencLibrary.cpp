#include "sessions/NvencLibrary.h"

#include "base/DynamicLibrary.h"

namespace vidlane2 {

namespace {

NvencLibrary Load()
{
    NvencLibrary library;
    library.handle = OpenDynamicLibrary(kNvencLibrary);
    library.getMaxSupportedVersion = reinterpret_cast<nvenc::GetMaxSupportedVersionFn>(
        FindLibraryEntry(library.handle, "NvEncodeAPIGetMaxSupportedVersion"));
    library.createInstance =
        reinterpret_cast<nvenc::CreateInstanceFn>(FindLibraryEntry(library.handle, "NvEncodeAPICreateInstance"));
    return library;
}

} // namespace

const NvencLibrary& LoadNvencLibrary()
{
    static const NvencLibrary library = Load();
    return library;
}

} // namespace vidlane2
