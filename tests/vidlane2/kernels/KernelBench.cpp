// Achieved memory throughput of every kernel at 1920 x 1080 and 3840 x 2160,
// against a device-to-device copy moving the same number of bytes in the same run.
// Bytes counted: what a kernel must read plus what it writes.
#include "ArrayTexture.h"
#include "ColourKernels.h"
#include "FrameKernels.h"

#include <cuda_fp16.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <cstdio>
#include <functional>
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

void report(const char* name, std::uint32_t w, std::uint32_t h, double bytes, double kernelMs, double copyMs)
{
    if (kernelMs <= 0 || copyMs <= 0) {
        std::printf("%-36s %5ux%-5u  failed\n", name, w, h);
        return;
    }
    const double kernelGBs = bytes / kernelMs / 1e6, copyGBs = bytes / copyMs / 1e6;
    std::printf("%-36s %5ux%-5u %9.1f MB %9.3f ms %8.1f GB/s   copy %8.3f ms %8.1f GB/s   %5.1f%%\n", name, w, h,
                bytes / 1e6, kernelMs, kernelGBs, copyMs, copyGBs, 100.0 * kernelGBs / copyGBs);
}

void benchSize(std::uint32_t w, std::uint32_t h)
{
    const double px = double(w) * h;
    Device dev(std::size_t(16) * w * h + 4096);
    auto copyOf = [&](double bytes) {
        // A copy of n bytes reads n and writes n.
        const std::size_t n = std::size_t(bytes / 2);
        return timeMs([&] { return cudaMemcpyAsync(dev.copyDst, dev.a, n, cudaMemcpyDeviceToDevice); });
    };
    auto run = [&](const char* name, double bytes, const std::function<cudaError_t()>& call) {
        const double kernelMs = timeMs(call);
        report(name, w, h, bytes, kernelMs, copyOf(bytes));
    };
    const auto* src = static_cast<const std::uint8_t*>(dev.a);

    run("uint4_to_nv12", px / 2 + px * 1.5, [&] { return launchUint4ToNv12(src, (w + 1) / 2, dev.b, w, w, h); });
    run("uint8_to_nv12", px + px * 1.5, [&] { return launchUint8ToNv12(src, w, dev.b, w, w, h); });
    run("uint16_to_nv12", 2 * px + 3 * px, [&] { return launchUint16ToNv12(src, 2 * w, dev.b, 2 * w, w, h); });
    run("uint32_to_nv12", 4 * px + 6 * px, [&] { return launchUint32ToNv12(src, 4 * w, dev.b, 4 * w, w, h); });
    run("nv12_to_uint4", px + px / 2, [&] { return launchNv12ToUint4(src, w, dev.b, (w + 1) / 2, w, h); });
    run("nv12_to_uint8", 2 * px, [&] { return launchNv12ToUint8(src, w, dev.b, w, w, h); });
    run("nv12_to_uint16", 4 * px, [&] { return launchNv12ToUint16(src, 2 * w, dev.b, 2 * w, w, h); });
    run("nv12_to_uint32", 8 * px, [&] { return launchNv12ToUint32(src, 4 * w, dev.b, 4 * w, w, h); });
    run("image_flip_v", 16 * px, [&] { return launchImageFlipV(dev.a, 4 * w, dev.b, 4 * w, w, h); });
    if (LoadYuvToRgbMatrix() != cudaSuccess) return;
    run("ConvertNv12ToRgba (yuv_to_rgba)", 1.5 * px + 4 * px,
        [&] { return ConvertNv12ToRgba(src, int(w), dev.b, int(4 * w), int(w), int(h)); });

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
        run("image_flip_v_tex", 8 * px, [&] { return launchImageFlipVTex(t8, dev.b, 4 * w, w, h); });
        run("image_flip_v_tex_half", 12 * px, [&] { return launchImageFlipVTexHalf(tHalf, dev.b, 4 * w, w, h); });
        run("image_flip_v_tex_half_hdr_10bit", 12 * px,
            [&] { return launchImageFlipVTexHalfHdr10bit(tHalf, dev.b, 4 * w, w, h); });
        run("image_no_flip_v_tex_half_hdr_10bit", 12 * px,
            [&] { return launchImageNoFlipVTexHalfHdr10bit(tHalf, dev.b, 4 * w, w, h); });
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
    std::printf("%-36s %-11s %12s %12s %13s   %-25s %s\n", "kernel (launch geometry as shipped)", "frame", "bytes",
                "time", "throughput", "device copy, same bytes", "of copy");
    benchSize(1920, 1080);
    benchSize(3840, 2160);
    return 0;
}
