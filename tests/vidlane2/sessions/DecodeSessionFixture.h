#pragma once

#include "sessions/DecodeSession.h"

#include "FakeCuda.h"
#include "FakeNvdec.h"
#include "SessionErrorMatchers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

inline CUcontext const kDecodeContext = reinterpret_cast<CUcontext>(0xDEC0);

// A decode session over the fake NVDEC parser, fed with scripted packets.
class DecodeSessionTest : public testing::Test {
protected:
    struct Result {
        int count = -1;
        std::vector<uint8_t*> frames;
        std::vector<int64_t> timestamps;
    };

    void SetUp() override
    {
        fake_cuda::Reset();
        fake_nvdec::Reset();
    }

    void TearDown() override
    {
        session.reset();
        EXPECT_EQ(fake_nvdec::LiveParsers(), 0u);
        EXPECT_EQ(fake_nvdec::LiveDecoders(), 0u);
        EXPECT_EQ(fake_nvdec::LiveLocks(), 0u);
        EXPECT_EQ(fake_nvdec::LiveMappings(), 0u);
        EXPECT_EQ(fake_cuda::LiveAllocations(), 0u);
        EXPECT_EQ(fake_cuda::ContextDepth(), 0u);
    }

    void Open(cudaVideoCodec codec = cudaVideoCodec_H264)
    {
        session = std::make_unique<vidlane2::DecodeSession>(kDecodeContext, codec);
    }

    Result Feed(const std::string& packet, int64_t timestamp = 0)
    {
        Result result;
        uint8_t** frames = nullptr;
        int64_t* timestamps = nullptr;
        session->Decode(reinterpret_cast<const uint8_t*>(packet.data()), static_cast<int>(packet.size()), &frames,
                        &result.count, CUVID_PKT_ENDOFPICTURE, &timestamps, timestamp, nullptr);
        if (result.count > 0) {
            result.frames.assign(frames, frames + result.count);
            result.timestamps.assign(timestamps, timestamps + result.count);
        }
        return result;
    }

    static std::string Seq1080p(cudaVideoCodec codec = cudaVideoCodec_H264)
    {
        return fake_nvdec::Seq(codec, 1920, 1088, 0, 0, 1920, 1080);
    }

    std::unique_ptr<vidlane2::DecodeSession> session;
};

inline void ExpectNvdecError(const std::function<void()>& action, const std::string& operation,
                             const std::string& message, int code)
{
    ExpectSessionError<vidlane2::NVDECException>(action, operation, message, code);
}
