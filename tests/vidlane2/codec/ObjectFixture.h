#pragma once

// The C interface over the whole object layer, on the CPU: the fake CUDA
// runtime and driver, the fake NVENC and NVDEC and the kernels' CPU launchers.
#include "CpuKernels.h"
#include "FakeCuda.h"
#include "FakeCudaRuntime.h"
#include "FakeNvdec.h"
#include "FakeNvenc.h"
#include "SpsBytes.h"

#include <Vidlane2.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A scripted packet for the fake parser with a real sequence parameter set
// (hex, as in SpsBytes.h) behind a start code after its records: the parser
// skips it as bytes that start no record, the decoder reads it.
inline std::string WithSps(const std::string& records, const char* spsHex)
{
    const Bytes set = vidlane2::test::fromHex(spsHex);
    return records + std::string("\0\0\0\1", 4) + std::string(set.begin(), set.end());
}

inline Bytes pattern(std::size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + seed * 17 + (i >> 8));
    return bytes;
}

// Device memory of the fake runtime holding a copy of host bytes.
class DeviceBuffer {
public:
    explicit DeviceBuffer(const Bytes& bytes) : m_size(bytes.size())
    {
        EXPECT_EQ(cudaMalloc(&m_data, m_size), cudaSuccess);
        std::memcpy(m_data, bytes.data(), m_size); // device memory is host memory here
    }
    explicit DeviceBuffer(std::size_t size) : DeviceBuffer(Bytes(size)) {}
    ~DeviceBuffer() { cudaFree(m_data); }
    DeviceBuffer(const DeviceBuffer&) = delete;
    DeviceBuffer& operator=(const DeviceBuffer&) = delete;

    void* get() const { return m_data; }
    Bytes bytes() const
    {
        const auto* p = static_cast<const std::uint8_t*>(m_data);
        return Bytes(p, p + m_size);
    }

private:
    void* m_data = nullptr;
    std::size_t m_size;
};

class ObjectTest : public testing::Test {
public:
    // The input slot the n-th picture (counting from 0) was encoded from.
    struct Slot {
        const std::uint8_t* data = nullptr;
        uint32_t pitch = 0;
        const std::uint8_t* row(std::size_t r) const { return data + r * pitch; }
    };

protected:
    void SetUp() override { ResetFakes(); }

    void TearDown() override
    {
        DestroyAll();
        const auto& violations = fake_cuda_runtime::Violations();
        for (const std::string& violation : violations)
            ADD_FAILURE() << violation;
        EXPECT_EQ(fake_cuda_runtime::LiveAllocations(), 0u);
        EXPECT_EQ(fake_cuda_runtime::LiveTextureObjects(), 0u);
        EXPECT_EQ(fake_cuda_runtime::LiveRegistrations(), 0u);
        EXPECT_EQ(fake_nvenc::LiveSessions(), 0u);
        EXPECT_EQ(fake_nvenc::LiveMappings(), 0u);
        EXPECT_EQ(fake_nvdec::LiveDecoders(), 0u);
        EXPECT_EQ(fake_nvdec::LiveParsers(), 0u);
        ResetFakes(); // frees the OpenGL objects
    }

    static void ResetFakes()
    {
        fake_cuda::Reset();
        fake_cuda_runtime::Reset();
        fake_nvenc::Reset();
        fake_nvdec::Reset();
        cpu_kernels::Reset();
    }

    void DestroyAll()
    {
        for (CodecHandle* handle : m_handles)
            Vidlane_Destroy(handle);
        m_handles.clear();
    }

    CodecHandle* Encoder(Vidlane_Format format, Vidlane_Codec codec = VIDLANE_H264, uint32_t width = 0,
                         uint32_t height = 0, Vidlane_Compression compression = VIDLANE_LOSSY)
    {
        CodecHandle* handle = Vidlane_CreateEncoder(format, codec, compression, 8000000, 30, width, height);
        EXPECT_NE(handle, nullptr) << Vidlane_GetError(nullptr);
        if (handle)
            m_handles.push_back(handle);
        return handle;
    }

    CodecHandle* Decoder(Vidlane_Format format, Vidlane_Codec codec = VIDLANE_H264)
    {
        CodecHandle* handle = Vidlane_CreateDecoder(format, codec, 0, 0);
        EXPECT_NE(handle, nullptr) << Vidlane_GetError(nullptr);
        if (handle)
            m_handles.push_back(handle);
        return handle;
    }

    static Slot SlotOf(std::size_t picture)
    {
        const auto& maps = fake_nvenc::MapRequests();
        if (picture >= maps.size())
            return {};
        for (const auto& registration : fake_nvenc::Registrations())
            if (registration.registeredResource == maps[picture].registeredResource)
                return {static_cast<const std::uint8_t*>(registration.resourceToRegister), registration.pitch};
        return {};
    }

private:
    std::vector<CodecHandle*> m_handles;
};
