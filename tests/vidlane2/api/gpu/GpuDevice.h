#pragma once

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

#include <cstdlib>

// Skips without a usable CUDA device; on the GPU machine (VIDLANE2_REQUIRE_GPU
// set) a missing device fails instead.
#define REQUIRE_CUDA_DEVICE()                                                                      \
    do {                                                                                           \
        int devices = 0;                                                                           \
        if (cudaGetDeviceCount(&devices) != cudaSuccess || devices == 0) {                        \
            cudaGetLastError();                                                                    \
            if (std::getenv("VIDLANE2_REQUIRE_GPU"))                                               \
                FAIL() << "no CUDA device";                                                        \
            GTEST_SKIP() << "no CUDA device";                                                      \
        }                                                                                          \
    } while (0)
