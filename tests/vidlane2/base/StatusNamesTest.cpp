#include "base/StatusNames.h"

#include <gtest/gtest.h>

namespace {

TEST(NvencStatusName, NamesTheEnumeratorsAndNothingOutsideThem)
{
    const std::pair<int32_t, const char*> cases[] = {
        {0, "NV_ENC_SUCCESS"},
        {1, "NV_ENC_ERR_NO_ENCODE_DEVICE"},
        {17, "NV_ENC_ERR_NEED_MORE_INPUT"},
        {19, "NV_ENC_ERR_EVENT_NOT_REGISTERD"},
        {20, "NV_ENC_ERR_GENERIC"},
        {25, "NV_ENC_ERR_RESOURCE_NOT_MAPPED"},
        {26, "Unknown error code"},
        {-1, "Unknown error code"},
        {INT32_MIN, "Unknown error code"},
    };
    for (const auto& [status, name] : cases)
        EXPECT_EQ(vidlane2::NvencStatusName(status), name) << status;
}

// The fake driver on the library path knows a handful of names.
TEST(CudaDriverErrorName, AsksTheDriverAndFallsBackForUnknownCodes)
{
    EXPECT_EQ(vidlane2::CudaDriverErrorName(801), "CUDA_ERROR_NOT_SUPPORTED");
    EXPECT_EQ(vidlane2::CudaDriverErrorName(0), "CUDA_SUCCESS");
    EXPECT_EQ(vidlane2::CudaDriverErrorName(12345), "Unknown error code");
    EXPECT_EQ(vidlane2::CudaDriverErrorName(-1), "Unknown error code");
}

} // namespace
