#pragma once

// An encode session on the fake drivers, created with the defaults the encoder
// object starts from and a ring of the given size.
#include "sessions/CudaEncodeSession.h"

#include "FakeCuda.h"
#include "FakeNvenc.h"

#include <gtest/gtest.h>

#include <memory>

class EncodeSessionFixture {
protected:
    EncodeSessionFixture()
    {
        fake_cuda::Reset();
        fake_nvenc::Reset();
    }

    void Create(int ringSize)
    {
        session = std::make_unique<vidlane2::CudaEncodeSession>(reinterpret_cast<CUcontext>(0xC0DE), 1280, 720,
                                                                NV_ENC_BUFFER_FORMAT_NV12, 0);
        params.encodeConfig = &config;
        session->CreateDefaultEncoderParams(&params, vidlane2::nvenc::kCodecH264, vidlane2::nvenc::kPresetP4,
                                            NV_ENC_TUNING_INFO_LOW_LATENCY);
        config.rcParams.lookaheadDepth = static_cast<uint16_t>(ringSize - 1);
        session->CreateEncoder(&params);
        ASSERT_EQ(session->GetEncoderBufferCount(), ringSize);
    }

    std::unique_ptr<vidlane2::CudaEncodeSession> session;
    NV_ENC_INITIALIZE_PARAMS params{};
    NV_ENC_CONFIG config{};
};
