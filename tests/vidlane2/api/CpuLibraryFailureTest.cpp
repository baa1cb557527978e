// The fake CUDA runtime under Vidlane2-cpu-test.dll is a DLL of its own, so a
// test steers the very runtime the library calls without the library
// exporting anything but its interface.
#include <Vidlane2.h>

#include "FakeCudaRuntime.h"
#include "FakeNvenc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 32;

TEST(CpuLibrary, AnInjectedRuntimeFailureEndsInItsTextAndTheHandleStaysUsable)
{
    fake_cuda_runtime::Reset();
    fake_nvenc::Reset();
    CodecHandle* encoder = Vidlane_CreateEncoder(VIDLANE_UINT8, VIDLANE_H264, VIDLANE_LOSSY, 1000000, 30, kWidth,
                                                 kHeight);
    ASSERT_NE(encoder, nullptr) << Vidlane_GetError(nullptr);
    std::vector<uint8_t> frame(kWidth * kHeight), packet(64);

    fake_cuda_runtime::FailCall("cudaMalloc", cudaErrorMemoryAllocation);
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, packet.data(), packet.size(), kWidth, kHeight, false), 0u);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Failed to allocate temporary device memory (Error 2: out of memory)");
    EXPECT_EQ(fake_cuda_runtime::CountCalls("cudaMalloc"), 1u);

    fake_cuda_runtime::ClearFailures();
    EXPECT_EQ(Vidlane_Encode(encoder, frame.data(), kWidth, packet.data(), packet.size(), kWidth, kHeight, false),
              fake_nvenc::PacketFor(0).size());
    Vidlane_Destroy(encoder);
    EXPECT_EQ(fake_cuda_runtime::LiveAllocations(), 0u);
    EXPECT_TRUE(fake_cuda_runtime::Violations().empty());
}

} // namespace
