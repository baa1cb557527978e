// The decode session on the real NVDEC, against FFmpeg's software decode of the
// same streams. The streams and their NV12 references are made at build time
// and lie beside this program.
#include "base/CudaDriver.h"
#include "sessions/DecodeSession.h"

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string DataFolder()
{
    std::vector<char> path(4096);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    std::string exe(path.data(), length > 0 ? static_cast<size_t>(length) : 0);
    return exe.substr(0, exe.find_last_of('/')) + "/vidlane2-session-streams/";
}

std::vector<uint8_t> ReadFile(const std::string& name)
{
    std::ifstream in(DataFolder() + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class DecodeSessionGpu : public testing::Test {
protected:
    void SetUp() override
    {
        int devices = 0;
        if (cudaGetDeviceCount(&devices) != cudaSuccess || devices == 0) {
            if (std::getenv("VIDLANE2_REQUIRE_GPU"))
                FAIL() << "no CUDA device, and the GPU check requires one";
            GTEST_SKIP() << "no CUDA device";
        }
        ASSERT_EQ(cudaFree(nullptr), cudaSuccess); // makes the primary context current
        const vidlane2::CudaDriverApi& cuda = vidlane2::CudaDriver();
        ASSERT_EQ(cuda.Call(cuda.cuCtxGetCurrent, &context), vidlane2::kCudaSuccess);
        ASSERT_NE(context, nullptr);
    }

    // Feeds the stream in pieces that ignore picture boundaries, then ends it;
    // returns every frame in display order, copied to the host.
    std::vector<std::vector<uint8_t>> DecodeAll(cudaVideoCodec codec, const std::vector<uint8_t>& stream)
    {
        vidlane2::DecodeSession session(context, codec);
        std::vector<std::vector<uint8_t>> frames;
        auto collect = [&](int count, uint8_t** output) {
            const size_t bytes = size_t{session.FramePitch()} *
                                 (session.GetLumaRows() + session.GetChromaRows() * session.GetChromaPlanes());
            for (int i = 0; i < count; ++i) {
                std::vector<uint8_t> host(bytes);
                EXPECT_EQ(cudaMemcpy(host.data(), output[i], bytes, cudaMemcpyDeviceToHost), cudaSuccess);
                frames.push_back(std::move(host));
            }
        };
        constexpr size_t kPiece = 4096;
        for (size_t offset = 0; offset < stream.size(); offset += kPiece) {
            const size_t size = std::min(kPiece, stream.size() - offset);
            uint8_t** output = nullptr;
            int count = 0;
            session.Decode(stream.data() + offset, static_cast<int>(size), &output, &count, 0, nullptr,
                           static_cast<int64_t>(offset));
            collect(count, output);
        }
        uint8_t** output = nullptr;
        int count = 0;
        session.Decode(nullptr, 0, &output, &count);
        collect(count, output);
        width = session.GetWidth();
        lumaRows = session.GetLumaRows();
        return frames;
    }

    void ExpectEqualToReference(const std::vector<std::vector<uint8_t>>& frames, size_t first, size_t count,
                                const std::string& reference)
    {
        const std::vector<uint8_t> expected = ReadFile(reference);
        ASSERT_FALSE(expected.empty()) << reference;
        ASSERT_GE(frames.size(), first + count);
        const size_t frameBytes = expected.size() / count;
        for (size_t i = 0; i < count; ++i) {
            ASSERT_EQ(frames[first + i].size(), frameBytes) << reference << " frame " << i;
            EXPECT_TRUE(std::equal(frames[first + i].begin(), frames[first + i].end(),
                                   expected.begin() + static_cast<std::ptrdiff_t>(i * frameBytes)))
                << reference << " frame " << i;
        }
    }

    CUcontext context = nullptr;
    uint32_t width = 0, lumaRows = 0;
};

TEST_F(DecodeSessionGpu, H264With1080LinesOnA1088LineSurfaceMatchesFFmpeg)
{
    const auto frames = DecodeAll(cudaVideoCodec_H264, ReadFile("h264_1080p.264"));
    EXPECT_EQ(width, 1920u);
    EXPECT_EQ(lumaRows, 1080u);
    ASSERT_EQ(frames.size(), 5u);
    ExpectEqualToReference(frames, 0, 5, "h264_1080p.nv12");
}

TEST_F(DecodeSessionGpu, HevcMatchesFFmpeg)
{
    const auto frames = DecodeAll(cudaVideoCodec_HEVC, ReadFile("hevc_640x360.265"));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(lumaRows, 360u);
    ASSERT_EQ(frames.size(), 5u);
    ExpectEqualToReference(frames, 0, 5, "hevc_640x360.nv12");
}

// A stream that shrinks midway: the first part matches FFmpeg, the second comes
// out scaled to the first size; decoded on its own, the second part matches too.
TEST_F(DecodeSessionGpu, H264ThatChangesSize)
{
    const auto frames = DecodeAll(cudaVideoCodec_H264, ReadFile("h264_change.264"));
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_EQ(width, 352u);
    ExpectEqualToReference(frames, 0, 4, "h264_352x288.nv12");
    for (size_t i = 4; i < 8; ++i)
        EXPECT_EQ(frames[i].size(), 352u * 288 * 3 / 2);

    const auto second = DecodeAll(cudaVideoCodec_H264, ReadFile("h264_176x144.264"));
    ExpectEqualToReference(second, 0, 4, "h264_176x144.nv12");
}

} // namespace
