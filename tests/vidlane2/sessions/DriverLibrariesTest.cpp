// The sessions load the driver libraries by the platform's file names; the
// fakes say under which name the system's loader opened them.
#include "base/DynamicLibrary.h"

#include "FakeCuda.h"
#include "FakeNvdec.h"
#include "FakeNvenc.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Driver {
    const char* library;
    std::string (*fakeFile)();
    const char* entry;
};

TEST(DriverLibraries, EachFakeIsLoadedUnderTheDriversFileName)
{
    for (const Driver& driver : {Driver{vidlane2::kCudaDriverLibrary, &fake_cuda::LibraryFile, "cuCtxGetCurrent"},
                                 Driver{vidlane2::kNvdecLibrary, &fake_nvdec::LibraryFile, "cuvidCreateDecoder"},
                                 Driver{vidlane2::kNvencLibrary, &fake_nvenc::LibraryFile, "NvEncodeAPICreateInstance"}}) {
        void* library = vidlane2::OpenDynamicLibrary(driver.library);
        ASSERT_NE(library, nullptr) << driver.library;
        EXPECT_EQ(driver.fakeFile(), driver.library);
        EXPECT_NE(vidlane2::FindLibraryEntry(library, driver.entry), nullptr) << driver.entry;
        EXPECT_EQ(vidlane2::FindLibraryEntry(library, "NoSuchEntry"), nullptr) << driver.library;
    }
    EXPECT_EQ(vidlane2::OpenDynamicLibrary("no-such-driver-library"), nullptr);
    EXPECT_EQ(vidlane2::FindLibraryEntry(nullptr, "cuCtxGetCurrent"), nullptr);
}

} // namespace
