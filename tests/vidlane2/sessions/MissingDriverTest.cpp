// Runs with a library path on which the named driver library is missing or
// lacks an entry; each test is selected by the CTest entry that sets the path.
#include "base/DynamicLibrary.h"
#include "base/StatusNames.h"
#include "sessions/CudaEncodeSession.h"
#include "sessions/DecodeSession.h"

#include "SessionErrorMatchers.h"

#include <gtest/gtest.h>

namespace {

CUcontext const kContext = reinterpret_cast<CUcontext>(0x1);

// A machine with a real driver installed finds it outside the test's folder.
bool Installed(const char* library)
{
    return vidlane2::OpenDynamicLibrary(library) != nullptr;
}

void ExpectEncoderOpenFails(const std::string& message)
{
    ExpectSessionError<vidlane2::NVENCException>(
        [] { vidlane2::CudaEncodeSession session(kContext, 64, 64, NV_ENC_BUFFER_FORMAT_NV12); },
        "EncodeSession::LoadNvEncApi", message, 1);
}

TEST(NoDriver, EveryLibraryMissing)
{
    if (Installed(vidlane2::kCudaDriverLibrary) || Installed(vidlane2::kNvdecLibrary) ||
        Installed(vidlane2::kNvencLibrary))
        GTEST_SKIP() << "an NVIDIA driver is installed";
    ExpectEncoderOpenFails("NVENC library file is not found. Please ensure NV driver is installed");
    ExpectSessionError<vidlane2::NVDECException>(
        [] { vidlane2::DecodeSession session(kContext, cudaVideoCodec_H264); }, "DecodeSession::DecodeSession",
        "cuvidCtxLockCreate(&m_ctxLock, cuContext) returned error 3", 3);
    EXPECT_EQ(vidlane2::CudaDriverErrorName(1), "Unknown error code");
}

TEST(NvencWithoutVersionEntry, IsReportedNotCalled)
{
    ExpectEncoderOpenFails("Cannot find NvEncodeAPIGetMaxSupportedVersion() entry in NVENC library");
}

TEST(NvencWithoutCreateEntry, IsReported)
{
    ExpectEncoderOpenFails("Cannot find NvEncodeAPICreateInstance() entry in NVENC library");
}

} // namespace
