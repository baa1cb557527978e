#include "base/CheckCudaRuntime.h"
#include "base/Exception.h"

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

namespace {

TEST(CheckCudaRuntime, SuccessReturnsQuietly)
{
    EXPECT_NO_THROW(vidlane2::CheckCudaRuntime(0, "Failed to copy input frame"));
}

TEST(CheckCudaRuntime, FailureNamesMessageCodeAndRuntimeText)
{
    try {
        vidlane2::CheckCudaRuntime(2, "Failed to allocate temporary device memory");
        FAIL() << "no exception";
    } catch (const vidlane2::Exception& error) {
        EXPECT_STREQ(error.what(), (std::string("Failed to allocate temporary device memory (Error 2: ") +
                                    cudaGetErrorString(cudaErrorMemoryAllocation) + ")")
                                       .c_str());
        EXPECT_STREQ(error.what(), "Failed to allocate temporary device memory (Error 2: out of memory)");
    }
}

} // namespace
