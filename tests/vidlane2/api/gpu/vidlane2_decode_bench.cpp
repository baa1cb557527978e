// Decoded frames per second of a 1080p and a 2160p stream: through
// Vidlane_Decode into device and into host memory, and through the decode
// session alone on the same stream in the same run.
#include "AccessUnits.h"
#include "base/CudaDriver.h"
#include "sessions/DecodeSession.h"

#include <Vidlane2.h>

#include <ffnvcodec/dynlink_cuda.h>

#include <cuda_runtime_api.h>

#include <chrono>
#include <exception>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Stream {
    std::string name;
    uint32_t width, height;
    std::vector<uint8_t> bytes;
    std::vector<vidlane2::ByteRange> units;
};

double perSecond(size_t frames, Clock::time_point start)
{
    return frames / std::chrono::duration<double>(Clock::now() - start).count();
}

double viaInterface(const Stream& s, bool device)
{
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, s.width, s.height);
    if (!decoder) {
        std::printf("  create failed: %s\n", Vidlane_GetError(nullptr));
        return 0;
    }
    const size_t size = size_t{s.width} * s.height * 4;
    std::vector<uint8_t> host(size);
    void* target = host.data();
    if (device)
        cudaMalloc(&target, size);
    const auto start = Clock::now();
    size_t frames = 0;
    for (const auto& unit : s.units) {
        if (Vidlane_Decode(decoder, s.bytes.data() + unit.offset, unit.size, target, s.width, s.height) == 0) {
            std::printf("  decode failed: %s\n", Vidlane_GetError(decoder));
            break;
        }
        ++frames;
    }
    cudaDeviceSynchronize();
    const double fps = perSecond(frames, start);
    if (device)
        cudaFree(target);
    Vidlane_Destroy(decoder);
    return fps;
}

double sessionAlone(const Stream& s)
{
    cudaFree(nullptr); // makes the runtime's primary context current
    CUcontext context = nullptr;
    vidlane2::CudaDriver().Call(vidlane2::CudaDriver().cuCtxGetCurrent, &context);
    try {
        vidlane2::DecodeSession session(context, cudaVideoCodec_H264);
        const auto start = Clock::now();
        size_t frames = 0;
        int64_t timestamp = 0;
        for (const auto& unit : s.units) {
            uint8_t** out = nullptr;
            int count = 0;
            session.Decode(s.bytes.data() + unit.offset, static_cast<int>(unit.size), &out, &count, 8, nullptr,
                           timestamp++, nullptr);
            frames += static_cast<size_t>(count);
        }
        return perSecond(frames, start);
    } catch (const std::exception& e) {
        std::printf("  session failed: %s\n", e.what());
        return 0;
    }
}

bool load(Stream& s)
{
    std::ifstream in(std::string(VIDLANE2_BENCH_STREAMS) + "/" + s.name, std::ios::binary);
    if (!in)
        return false;
    s.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    s.units = vidlane2::splitAccessUnits(s.bytes.data(), s.bytes.size(), false);
    return !s.units.empty();
}

} // namespace

int main()
{
    int devices = 0;
    if (cudaGetDeviceCount(&devices) != cudaSuccess || devices == 0) {
        std::printf("no CUDA device\n");
        return 1;
    }
    Stream streams[] = {{"bench_1920x1080.h264", 1920, 1080, {}, {}}, {"bench_3840x2160.h264", 3840, 2160, {}, {}}};
    int status = 0;
    for (Stream& s : streams) {
        if (!load(s)) {
            std::printf("%s: missing\n", s.name.c_str());
            status = 1;
            continue;
        }
        viaInterface(s, true); // warm-up: session creation, first allocations
        const double alone = sessionAlone(s);
        const double device = viaInterface(s, true);
        const double host = viaInterface(s, false);
        const auto ofAlone = [alone](double fps) { return alone > 0 ? 100.0 * fps / alone : 0.0; };
        std::printf("%s (%zu pictures): session alone %.1f fps, Vidlane_Decode to device %.1f fps (%.0f%% of the "
                    "session alone), to host %.1f fps (%.0f%%)\n",
                    s.name.c_str(), s.units.size(), alone, device, ofAlone(device), host, ofAlone(host));
        if (alone <= 0 || device <= 0 || host <= 0)
            status = 1;
    }
    return status;
}
