// Achieved memory throughput of every kernel at 1920 x 1080 and 3840 x 2160, at
// each launch shape of KernelShapes.h, as a share of a device-to-device copy
// moving the same number of bytes in the same run. Bytes counted: what a kernel
// must read plus what it writes. Buffers stay in place between runs, for the
// copy as for the kernels.
#include "ArrayTexture.h"
#include "ColourKernels.h"
#include "KernelShapes.h"
#include "KernelVariants.h"

#include <cuda_fp16.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace {

using namespace vidlane2;

constexpr int kWarmups = 5;
constexpr int kRuns = 50;

bool ok(cudaError_t status, const char* what)
{
    if (status != cudaSuccess) std::fprintf(stderr, "%s: %s\n", what, cudaGetErrorString(status));
    return status == cudaSuccess;
}

// Mean milliseconds of one call, timed with events over many calls.
double timeMs(const std::function<cudaError_t()>& call)
{
    for (int i = 0; i < kWarmups; ++i)
        if (!ok(call(), "launch")) return -1;
    cudaEvent_t start, stop;
    cudaEventCreate(&start);
    cudaEventCreate(&stop);
    cudaEventRecord(start);
    for (int i = 0; i < kRuns; ++i) call();
    cudaEventRecord(stop);
    if (!ok(cudaEventSynchronize(stop), "run")) return -1;
    float ms = 0;
    cudaEventElapsedTime(&ms, start, stop);
    cudaEventDestroy(start);
    cudaEventDestroy(stop);
    return ms / kRuns;
}

struct Device {
    void* a = nullptr;
    void* b = nullptr;
    void* copyDst = nullptr;
    Device(std::size_t bytes)
    {
        ok(cudaMalloc(&a, bytes), "cudaMalloc");
        ok(cudaMalloc(&b, bytes), "cudaMalloc");
        ok(cudaMalloc(&copyDst, bytes), "cudaMalloc");
        cudaMemset(a, 0x40, bytes);
        cudaMemset(b, 0x40, bytes);
    }
    ~Device()
    {
        cudaFree(a);
        cudaFree(b);
        cudaFree(copyDst);
    }
};

constexpr std::size_t kShapes = sizeof test::kKernelShapes / sizeof test::kKernelShapes[0];

struct Case {
    const char* name;
    double bytes;
    std::function<cudaError_t(const test::KernelShape&)> call;
};

// Shares of the copy of every kernel, for the closing averages.
struct Shares {
    double sum[kShapes] = {};
    int count[kShapes] = {};
    int cases = 0;
};

void benchCases(std::uint32_t w, std::uint32_t h, const std::vector<Case>& cases, const Device& dev, Shares& shares)
{
    std::map<std::size_t, double> copyMs;
    for (const Case& c : cases) {
        ++shares.cases;
        // A copy of n bytes reads n and writes n.
        const std::size_t n = std::size_t(c.bytes / 2);
        if (copyMs.count(n) == 0)
            copyMs[n] = timeMs([&] { return cudaMemcpyAsync(dev.copyDst, dev.a, n, cudaMemcpyDeviceToDevice); });
        const double copy = copyMs[n];
        std::printf("%-34s %5ux%-5u %7.1f %8.1f", c.name, w, h, c.bytes / 1e6, copy > 0 ? c.bytes / copy / 1e6 : 0.0);
        double shippedGBs = 0;
        for (std::size_t i = 0; i < kShapes; ++i) {
            const test::KernelShape& shape = test::kKernelShapes[i];
            const double ms = timeMs([&] { return c.call(shape); });
            if (ms <= 0 || copy <= 0) {
                std::printf(" %15s", "failed");
                continue;
            }
            const double share = copy / ms;
            std::printf(" %14.1f%%", 100.0 * share);
            shares.sum[i] += share;
            ++shares.count[i];
            if (std::strcmp(shape.name, test::kShippedShape.name) == 0) shippedGBs = c.bytes / ms / 1e6;
        }
        std::printf(" %9.1f\n", shippedGBs);
    }
}

void benchSize(std::uint32_t w, std::uint32_t h, Shares& shares)
{
    const double px = double(w) * h;
    Device dev(std::size_t(16) * w * h + 4096);
    const auto* src = static_cast<const std::uint8_t*>(dev.a);
    using K = FrameKernel;
    auto scalar = [&](K kernel, std::uint32_t srcPitch, std::uint32_t dstPitch) {
        return [=, &dev](const test::KernelShape& s) {
            return launchScalarKernelAs(kernel, s.frame, src, srcPitch, dev.b, dstPitch, w, h);
        };
    };
    std::vector<Case> cases = {
        {"uint4_to_nv12", px / 2 + px * 1.5, scalar(K::Uint4ToNv12, (w + 1) / 2, w)},
        {"uint8_to_nv12", px + px * 1.5, scalar(K::Uint8ToNv12, w, w)},
        {"uint16_to_nv12", 2 * px + 3 * px, scalar(K::Uint16ToNv12, 2 * w, 2 * w)},
        {"uint32_to_nv12", 4 * px + 6 * px, scalar(K::Uint32ToNv12, 4 * w, 4 * w)},
        {"nv12_to_uint4", px + px / 2, scalar(K::Nv12ToUint4, w, (w + 1) / 2)},
        {"nv12_to_uint8", 2 * px, scalar(K::Nv12ToUint8, w, w)},
        {"nv12_to_uint16", 4 * px, scalar(K::Nv12ToUint16, 2 * w, 2 * w)},
        {"nv12_to_uint32", 8 * px, scalar(K::Nv12ToUint32, 4 * w, 4 * w)},
        {"image_flip_v", 16 * px,
         [&](const test::KernelShape& s) { return launchImageFlipVAs(s.frame.block, dev.a, 4 * w, dev.b, 4 * w, w, h); }},
        {"yuv_to_rgba", 1.5 * px + 4 * px, [&](const test::KernelShape& s) {
             return launchYuvToRgbaAs(s.colour, src, int(w), dev.b, int(4 * w), int(w), int(h));
         }},
    };
    if (!ok(LoadYuvToRgbMatrix(), "LoadYuvToRgbMatrix")) return;
    benchCases(w, h, cases, dev, shares);

    cudaChannelFormatDesc rgba8 = cudaCreateChannelDesc<uchar4>(), half4 = cudaCreateChannelDescHalf4();
    cudaArray_t array8 = nullptr, arrayHalf = nullptr;
    if (!ok(cudaMallocArray(&array8, &rgba8, w, h), "cudaMallocArray") ||
        !ok(cudaMallocArray(&arrayHalf, &half4, w, h), "cudaMallocArray"))
        return;
    {
        std::vector<__half> halves(std::size_t(4) * w * h, __float2half_rn(0.5f));
        cudaMemcpy2DToArray(arrayHalf, 0, 0, halves.data(), 8 * w, 8 * w, h, cudaMemcpyHostToDevice);
        ArrayTexture tex8(array8), texHalf(arrayHalf);
        const cudaTextureObject_t t8 = tex8.object(), tHalf = texHalf.object();
        auto texture = [&](TextureKernel kernel, cudaTextureObject_t t) {
            return [=, &dev](const test::KernelShape& s) {
                return launchTextureKernelAs(kernel, s.frame.block, t, dev.b, 4 * w, w, h);
            };
        };
        const std::vector<Case> textureCases = {
            {"image_flip_v_tex", 8 * px, texture(TextureKernel::FlipV8, t8)},
            {"image_flip_v_tex_half", 12 * px, texture(TextureKernel::FlipVHalf, tHalf)},
            {"image_flip_v_tex_half_hdr_10bit", 12 * px, texture(TextureKernel::FlipVHalfHdr10, tHalf)},
            {"image_no_flip_v_tex_half_hdr_10bit", 12 * px, texture(TextureKernel::NoFlipHalfHdr10, tHalf)},
        };
        benchCases(w, h, textureCases, dev, shares);
        cudaDeviceSynchronize();
    }
    cudaFreeArray(array8);
    cudaFreeArray(arrayHalf);
}

} // namespace

int main()
{
    int devices = 0;
    if (cudaGetDeviceCount(&devices) != cudaSuccess || devices == 0) {
        std::printf("vidlane2_kernel_bench: no CUDA device\n");
        return 1;
    }
    cudaDeviceProp prop{};
    cudaGetDeviceProperties(&prop, 0);
    std::printf("device: %s (compute %d.%d); mean of %d launches after %d warm-ups\n", prop.name, prop.major,
                prop.minor, kRuns, kWarmups);
    std::printf("throughput as a share of the device copy, per launch shape (frame kernels; yuv_to_rgba)\n");
    std::printf("%-34s %-11s %7s %8s", "kernel", "frame", "MB", "copyGB/s");
    for (const test::KernelShape& shape : test::kKernelShapes) std::printf(" %15s", shape.name);
    std::printf(" %9s\n", "shipped GB/s");
    Shares shares;
    benchSize(1920, 1080, shares);
    benchSize(3840, 2160, shares);
    int failed = 0;
    std::printf("mean share of the copy over all kernels and both sizes:");
    for (std::size_t i = 0; i < kShapes; ++i) {
        std::printf("  %s %.1f%%", test::kKernelShapes[i].name,
                    shares.count[i] ? 100.0 * shares.sum[i] / shares.count[i] : 0.0);
        if (shares.count[i] != shares.cases) ++failed;
    }
    std::printf("\n");
    return failed == 0 ? 0 : 1;
}
