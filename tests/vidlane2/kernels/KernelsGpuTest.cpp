// Every kernel on the GPU against its CPU reference, byte for byte, on random
// frames. Skipped without a CUDA device.
#include "ArrayTexture.h"
#include "ColourKernels.h"
#include "FrameKernels.h"
#include "KernelReference.h"
#include "KernelShapes.h"
#include "KernelVariants.h"

#include <cuda_fp16.h>
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

namespace vidlane2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

class KernelsGpu : public testing::Test {
protected:
    void SetUp() override
    {
        int devices = 0;
        if (cudaGetDeviceCount(&devices) == cudaSuccess && devices > 0) return;
        // The GPU check sets this, so a machine whose GPU cannot be reached fails instead of skipping.
        if (std::getenv("VIDLANE2_REQUIRE_GPU") != nullptr) FAIL() << "no CUDA device";
        GTEST_SKIP() << "no CUDA device";
    }
};

struct Size {
    std::uint32_t w, h;
};
const Size kSizes[] = {{1, 1}, {2, 1}, {1, 3}, {5, 3}, {33, 17}, {1919, 1079}, {1920, 1080}, {4096, 2160}};

Bytes randomBytes(std::size_t n, std::mt19937& rng)
{
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

// A device buffer with the same bytes as a host one.
class DeviceBytes {
public:
    explicit DeviceBytes(const Bytes& host) : m_size(host.size())
    {
        EXPECT_EQ(cudaMalloc(&m_ptr, m_size), cudaSuccess);
        EXPECT_EQ(cudaMemcpy(m_ptr, host.data(), m_size, cudaMemcpyHostToDevice), cudaSuccess);
    }
    ~DeviceBytes() { cudaFree(m_ptr); }
    DeviceBytes(const DeviceBytes&) = delete;
    DeviceBytes& operator=(const DeviceBytes&) = delete;
    void* get() const { return m_ptr; }
    Bytes download() const
    {
        Bytes host(m_size);
        EXPECT_EQ(cudaDeviceSynchronize(), cudaSuccess);
        EXPECT_EQ(cudaMemcpy(host.data(), m_ptr, m_size, cudaMemcpyDeviceToHost), cudaSuccess);
        return host;
    }

private:
    void* m_ptr = nullptr;
    std::size_t m_size;
};

// The first differing byte, for a readable failure.
::testing::AssertionResult sameBytes(const Bytes& gpu, const Bytes& cpu)
{
    if (gpu.size() != cpu.size()) return ::testing::AssertionFailure() << "sizes differ";
    for (std::size_t i = 0; i < gpu.size(); ++i)
        if (gpu[i] != cpu[i])
            return ::testing::AssertionFailure() << "byte " << i << ": GPU " << int(gpu[i]) << ", CPU " << int(cpu[i]);
    return ::testing::AssertionSuccess();
}

using Reference = void (*)(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t,
                           std::uint32_t);

struct MemoryKernel {
    const char* name;
    FrameKernel kernel;
    Reference reference;
    std::uint32_t packedNum, packedDen; // packed bytes a pixel, as a fraction
    bool encodes;
};

const MemoryKernel kMemoryKernels[] = {
    {"uint4_to_nv12", FrameKernel::Uint4ToNv12, reference::uint4_to_nv12, 1, 2, true},
    {"uint8_to_nv12", FrameKernel::Uint8ToNv12, reference::uint8_to_nv12, 1, 1, true},
    {"uint16_to_nv12", FrameKernel::Uint16ToNv12, reference::uint16_to_nv12, 2, 1, true},
    {"uint32_to_nv12", FrameKernel::Uint32ToNv12, reference::uint32_to_nv12, 4, 1, true},
    {"nv12_to_uint4", FrameKernel::Nv12ToUint4, reference::nv12_to_uint4, 1, 2, false},
    {"nv12_to_uint8", FrameKernel::Nv12ToUint8, reference::nv12_to_uint8, 1, 1, false},
    {"nv12_to_uint16", FrameKernel::Nv12ToUint16, reference::nv12_to_uint16, 2, 1, false},
    {"nv12_to_uint32", FrameKernel::Nv12ToUint32, reference::nv12_to_uint32, 4, 1, false},
};

// The public launchers, and every launch shape with word and byte access, on
// aligned buffers (the word path) and on buffers one byte off (the byte path).
TEST_F(KernelsGpu, MemoryKernelsMatchTheCpu)
{
    using Launcher = cudaError_t (*)(const void*, std::uint32_t, void*, std::uint32_t, std::uint32_t, std::uint32_t,
                                     cudaStream_t);
    const Launcher launchers[] = {launchUint4ToNv12,  launchUint8ToNv12,  launchUint16ToNv12, launchUint32ToNv12,
                                  launchNv12ToUint4,  launchNv12ToUint8,  launchNv12ToUint16, launchNv12ToUint32};
    std::mt19937 rng(11);
    for (std::size_t i = 0; i < std::size(kMemoryKernels); ++i) {
        const MemoryKernel& k = kMemoryKernels[i];
        for (const Size s : kSizes) {
            for (const std::uint32_t offset : {0u, 1u}) {
                SCOPED_TRACE(testing::Message() << k.name << " " << s.w << "x" << s.h << " offset " << offset);
                const std::uint32_t packedRow = (s.w * k.packedNum + k.packedDen - 1) / k.packedDen;
                const std::uint32_t lumaRow = k.packedDen == 2 ? s.w : packedRow;
                const std::uint32_t packedPitch = packedRow + (offset ? 1 + rng() % 3 : 4 * (rng() % 2));
                const std::uint32_t nv12Pitch = lumaRow + 64 + offset;
                const std::size_t nv12Size = std::size_t{nv12Pitch} * (s.h + (s.h + 1) / 2) + offset;
                const std::size_t packedSize = std::size_t{packedPitch} * s.h + offset;
                const Bytes src = randomBytes(k.encodes ? packedSize : nv12Size, rng);
                const Bytes dstBefore = randomBytes(k.encodes ? nv12Size : packedSize, rng);
                const std::uint32_t srcPitch = k.encodes ? packedPitch : nv12Pitch;
                const std::uint32_t dstPitch = k.encodes ? nv12Pitch : packedPitch;
                Bytes expected = dstBefore;
                k.reference(src.data() + offset, srcPitch, expected.data() + offset, dstPitch, s.w, s.h);

                DeviceBytes dSrc(src);
                const auto* deviceSrc = static_cast<const std::uint8_t*>(dSrc.get()) + offset;
                {
                    DeviceBytes dDst(dstBefore);
                    ASSERT_EQ(launchers[i](deviceSrc, srcPitch, static_cast<std::uint8_t*>(dDst.get()) + offset,
                                           dstPitch, s.w, s.h, nullptr),
                              cudaSuccess);
                    EXPECT_TRUE(sameBytes(dDst.download(), expected)) << "shipped launcher";
                }
                for (const test::KernelShape& shape : test::kKernelShapes) {
                    DeviceBytes dDst(dstBefore);
                    ASSERT_EQ(launchScalarKernelAs(k.kernel, shape.frame, deviceSrc, srcPitch,
                                                   static_cast<std::uint8_t*>(dDst.get()) + offset, dstPitch, s.w,
                                                   s.h),
                              cudaSuccess)
                        << shape.name;
                    EXPECT_TRUE(sameBytes(dDst.download(), expected)) << shape.name;
                }
            }
        }
    }
}

TEST_F(KernelsGpu, ExchangeFlipMatchesTheCpu)
{
    std::mt19937 rng(12);
    for (const Size s : kSizes) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        const std::uint32_t pitch = 4 * s.w + 4 * (rng() % 3);
        const Bytes a = randomBytes(std::size_t{pitch} * s.h, rng), b = randomBytes(std::size_t{pitch} * s.h, rng);
        Bytes ea = a, eb = b;
        reference::image_flip_v(ea.data(), pitch, eb.data(), pitch, s.w, s.h);
        {
            DeviceBytes dA(a), dB(b);
            ASSERT_EQ(launchImageFlipV(dA.get(), pitch, dB.get(), pitch, s.w, s.h), cudaSuccess);
            EXPECT_TRUE(sameBytes(dA.download(), ea));
            EXPECT_TRUE(sameBytes(dB.download(), eb));
        }
        for (const test::KernelShape& shape : test::kKernelShapes) {
            DeviceBytes dA(a), dB(b);
            ASSERT_EQ(launchImageFlipVAs(shape.frame.block, dA.get(), pitch, dB.get(), pitch, s.w, s.h), cudaSuccess);
            EXPECT_TRUE(sameBytes(dA.download(), ea)) << shape.name;
            EXPECT_TRUE(sameBytes(dB.download(), eb)) << shape.name;
        }
    }
}

TEST_F(KernelsGpu, OneWayFlipMatchesTheCpuAndLeavesItsSourceAlone)
{
    std::mt19937 rng(13);
    for (const Size s : kSizes) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        const std::uint32_t pitch = 4 * s.w + 4 * (rng() % 3);
        const Bytes a = randomBytes(std::size_t{pitch} * s.h, rng), b = randomBytes(std::size_t{pitch} * s.h, rng);
        DeviceBytes dA(a), dB(b);
        ASSERT_EQ(launchImageCopyFlipV(dA.get(), pitch, dB.get(), pitch, s.w, s.h), cudaSuccess);
        Bytes eb = b;
        reference::image_copy_flip_v(a.data(), pitch, eb.data(), pitch, s.w, s.h);
        EXPECT_TRUE(sameBytes(dA.download(), a));
        EXPECT_TRUE(sameBytes(dB.download(), eb));
    }
}

// A CUDA array, as a mapped OpenGL texture gives one, holding host texels.
class DeviceArray {
public:
    DeviceArray(const cudaChannelFormatDesc& format, const void* texels, std::size_t texelBytes, std::uint32_t w,
                std::uint32_t h)
    {
        EXPECT_EQ(cudaMallocArray(&m_array, &format, w, h), cudaSuccess);
        EXPECT_EQ(cudaMemcpy2DToArray(m_array, 0, 0, texels, w * texelBytes, w * texelBytes, h,
                                      cudaMemcpyHostToDevice),
                  cudaSuccess);
    }
    ~DeviceArray() { cudaFreeArray(m_array); }
    DeviceArray(const DeviceArray&) = delete;
    DeviceArray& operator=(const DeviceArray&) = delete;
    cudaArray_t get() const { return m_array; }

private:
    cudaArray_t m_array = nullptr;
};

TEST_F(KernelsGpu, EightBitTextureFlipMatchesTheCpu)
{
    std::mt19937 rng(13);
    for (const Size s : kSizes) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        std::vector<Texel8> texels(std::size_t{s.w} * s.h);
        for (auto& t : texels) t = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
        DeviceArray array(cudaCreateChannelDesc<uchar4>(), texels.data(), 4, s.w, s.h);
        ArrayTexture texture(array.get());
        ASSERT_EQ(texture.status(), cudaSuccess);
        const std::uint32_t pitch = 4 * s.w + 16;
        const Bytes before = randomBytes(std::size_t{pitch} * s.h, rng);
        Bytes expected = before;
        reference::image_flip_v_tex({texels.data(), s.w, s.h}, expected.data(), pitch, s.w, s.h);
        {
            DeviceBytes dst(before);
            ASSERT_EQ(launchImageFlipVTex(texture.object(), dst.get(), pitch, s.w, s.h), cudaSuccess);
            EXPECT_TRUE(sameBytes(dst.download(), expected));
        }
        for (const test::KernelShape& shape : test::kKernelShapes) {
            DeviceBytes dst(before);
            ASSERT_EQ(launchTextureKernelAs(TextureKernel::FlipV8, shape.frame.block, texture.object(), dst.get(),
                                            pitch, s.w, s.h),
                      cudaSuccess);
            EXPECT_TRUE(sameBytes(dst.download(), expected)) << shape.name;
        }
    }
}

// The device's approximate log2/exp2 differ from the host's in the last bits, so a
// code may differ by one, and only where the exact value lies at a code boundary.
struct HalfKernel {
    const char* name;
    cudaError_t (*launch)(cudaTextureObject_t, void*, std::uint32_t, std::uint32_t, std::uint32_t, cudaStream_t);
    void (*reference)(const reference::HostTexture<TexelF>&, std::uint8_t*, std::uint32_t, std::uint32_t,
                      std::uint32_t);
    bool tenBit;
    bool flipped;
};

const HalfKernel kHalfKernels[] = {
    {"image_flip_v_tex_half", launchImageFlipVTexHalf, reference::image_flip_v_tex_half, false, true},
    {"image_flip_v_tex_half_hdr_10bit", launchImageFlipVTexHalfHdr10bit, reference::image_flip_v_tex_half_hdr_10bit,
     true, true},
    {"image_no_flip_v_tex_half_hdr_10bit", launchImageNoFlipVTexHalfHdr10bit,
     reference::image_no_flip_v_tex_half_hdr_10bit, true, false},
};

std::uint32_t codeAt(std::uint32_t word, int channel, bool tenBit)
{
    return tenBit ? (channel == 3 ? word >> 30 : word >> (10 * channel) & 1023) : word >> (8 * channel) & 255;
}

TEST_F(KernelsGpu, HalfFloatTextureKernelsMatchTheCpu)
{
    std::mt19937 rng(14);
    std::uniform_real_distribution<float> channel(-0.25f, 1.5f);
    for (const HalfKernel& k : kHalfKernels) {
        std::size_t boundaryCodes = 0, channels = 0;
        for (const Size s : kSizes) {
            SCOPED_TRACE(testing::Message() << k.name << " " << s.w << "x" << s.h);
            std::vector<__half> halves(std::size_t{s.w} * s.h * 4);
            std::vector<TexelF> texels(std::size_t{s.w} * s.h);
            for (std::size_t i = 0; i < halves.size(); ++i) halves[i] = __float2half_rn(channel(rng));
            if (halves.size() >= 8) { // the special values
                halves[0] = __float2half_rn(NAN);
                halves[1] = __float2half_rn(INFINITY);
                halves[2] = __float2half_rn(-INFINITY);
                halves[3] = __float2half_rn(65504.0f);
                halves[4] = __float2half_rn(1.0f);
                halves[5] = __float2half_rn(0.2f);
                halves[6] = __float2half_rn(2.0f);
                halves[7] = __float2half_rn(0.0f);
            }
            for (std::size_t i = 0; i < texels.size(); ++i)
                texels[i] = {__half2float(halves[4 * i]), __half2float(halves[4 * i + 1]),
                             __half2float(halves[4 * i + 2]), __half2float(halves[4 * i + 3])};
            DeviceArray array(cudaCreateChannelDescHalf4(), halves.data(), 8, s.w, s.h);
            ArrayTexture texture(array.get());
            ASSERT_EQ(texture.status(), cudaSuccess);
            const std::uint32_t pitch = 4 * s.w + 8;
            const Bytes before = randomBytes(std::size_t{pitch} * s.h, rng);
            DeviceBytes dst(before);
            ASSERT_EQ(k.launch(texture.object(), dst.get(), pitch, s.w, s.h, nullptr), cudaSuccess);
            Bytes expected = before;
            k.reference({texels.data(), s.w, s.h}, expected.data(), pitch, s.w, s.h);
            const Bytes gpu = dst.download();

            for (std::uint32_t y = 0; y < s.h; ++y) {
                const std::uint32_t row = k.flipped ? s.h - 1 - y : y;
                for (std::uint32_t x = 0; x < s.w; ++x) {
                    std::uint32_t g, c;
                    std::memcpy(&g, &gpu[row * pitch + 4 * x], 4);
                    std::memcpy(&c, &expected[row * pitch + 4 * x], 4);
                    const TexelF& t = texels[std::size_t{y} * s.w + x];
                    const float in[4] = {t.r, t.g, t.b, t.a};
                    for (int ch = 0; ch < 4; ++ch, ++channels) {
                        const std::uint32_t gc = codeAt(g, ch, k.tenBit), cc = codeAt(c, ch, k.tenBit);
                        if (gc == cc) continue;
                        const float q = rule::srgbEncode(in[ch]) * (k.tenBit ? kSrgb10Scale : kSrgb8Scale);
                        const bool atBoundary = std::fabs(q - std::nearbyint(q)) < 0.01f &&
                                                (gc > cc ? gc - cc : cc - gc) <= (ch == 3 && k.tenBit ? 3u : 1u);
                        ASSERT_TRUE(atBoundary) << "pixel " << x << "," << y << " channel " << ch << " input "
                                                << in[ch] << ": GPU " << gc << ", CPU " << cc;
                        ++boundaryCodes;
                    }
                }
                // Bytes past the frame's row, in the pitch, stay as they were.
                for (std::uint32_t b = 4 * s.w; b < pitch; ++b) ASSERT_EQ(gpu[row * pitch + b], before[row * pitch + b]);
            }
        }
        std::printf("%s: %zu of %zu channel codes at a code boundary differ by the last bit\n", k.name, boundaryCodes,
                    channels);
    }
}

TEST_F(KernelsGpu, ColourConversionMatchesTheCpu)
{
    ASSERT_EQ(LoadYuvToRgbMatrix(), cudaSuccess);
    std::mt19937 rng(15);
    for (const Size s : kSizes) {
        for (bool packed : {true, false}) {
            // Packed rows (to the even width that holds the last chroma pair) are what
            // the decoder passes; padded rows take the vector path.
            const int w = static_cast<int>(s.w), h = static_cast<int>(s.h);
            const int nv12Pitch = packed ? w + w % 2 : (w + 63) / 64 * 64;
            const int rgbaPitch = packed ? 4 * w : 4 * nv12Pitch;
            SCOPED_TRACE(testing::Message() << w << "x" << h << (packed ? " packed" : " padded"));
            const Bytes nv12 = randomBytes(static_cast<std::size_t>(nv12Pitch) * (h + (h + 1) / 2), rng);
            const Bytes before = randomBytes(static_cast<std::size_t>(rgbaPitch) * h, rng);
            Bytes expected = before;
            reference::yuv_to_rgba(nv12.data(), nv12Pitch, expected.data(), rgbaPitch, w, h);
            DeviceBytes dNv12(nv12);
            {
                DeviceBytes dRgba(before);
                ASSERT_EQ(ConvertNv12ToRgba(dNv12.get(), nv12Pitch, dRgba.get(), rgbaPitch, w, h), cudaSuccess);
                EXPECT_TRUE(sameBytes(dRgba.download(), expected));
            }
            // The matrix is loaded now; the conversion alone at every shape.
            for (const test::KernelShape& shape : test::kKernelShapes) {
                DeviceBytes dRgba(before);
                ASSERT_EQ(launchYuvToRgbaAs(shape.colour, dNv12.get(), nv12Pitch, dRgba.get(), rgbaPitch, w, h),
                          cudaSuccess);
                EXPECT_TRUE(sameBytes(dRgba.download(), expected)) << shape.name;
            }
        }
    }
}

// Refused launches touch nothing and leave no error behind for the next call.
TEST_F(KernelsGpu, RefusedLaunchesReportInvalidValue)
{
    const Bytes frame(64, 7);
    DeviceBytes a(frame), b(frame);
    EXPECT_EQ(launchUint8ToNv12(a.get(), 3, b.get(), 8, 8, 2), cudaErrorInvalidValue);
    EXPECT_EQ(launchImageFlipV(a.get(), 16, a.get(), 16, 4, 2), cudaErrorInvalidValue);
    EXPECT_EQ(ConvertNv12ToRgba(a.get(), 4, b.get(), 8, 4, 2), cudaErrorInvalidValue);
    EXPECT_EQ(launchNv12ToUint8(a.get(), 8, b.get(), 8, 0, 2), cudaSuccess);
    EXPECT_TRUE(sameBytes(b.download(), frame));
    EXPECT_EQ(cudaGetLastError(), cudaSuccess);
}

} // namespace
} // namespace vidlane2
