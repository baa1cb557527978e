// In steady state (same size, same format) a frame allocates nothing, on the
// device or on the host. The device half is in the fakes' call records; the
// host half is counted by replacing operator new in this test program, which
// counts only calls made from this program's own code (the objects and the
// tests), not from the C++ runtime. Template code the fake driver libraries
// share with this program counts as its own, so the fakes reserve their records.
#include "ObjectFixture.h"

#include <atomic>
#include <cstdlib>
#include <new>

extern "C" char __executable_start;
extern "C" char etext;

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> counted{0};

void* allocate(std::size_t size, void* caller)
{
    if (counting.load(std::memory_order_relaxed) && caller >= &__executable_start && caller < &etext)
        counted.fetch_add(1, std::memory_order_relaxed);
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(std::size_t size) { return allocate(size, __builtin_return_address(0)); }
void* operator new[](std::size_t size) { return allocate(size, __builtin_return_address(0)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr uint32_t kWidth = 32;
constexpr uint32_t kHeight = 16;
constexpr int kWarmUp = 3;
constexpr int kFrames = 6;

struct Allocations {
    std::size_t host = 0;
    std::size_t device = 0;
};

std::size_t DeviceAllocations()
{
    return fake_cuda_runtime::CountCalls("cudaMalloc") + fake_cuda::CountCalls("cuMemAlloc_v2") +
           fake_cuda::CountCalls("cuMemAllocPitch_v2");
}

// Runs frame kWarmUp times, then counts what kFrames more allocate.
template <class Frame>
Allocations Measure(Frame frame)
{
    for (int i = 0; i < kWarmUp; ++i)
        EXPECT_GT(frame(), 0u);
    const std::size_t device = DeviceAllocations();
    std::size_t failed = 0;
    counted = 0;
    counting = true;
    for (int i = 0; i < kFrames; ++i)
        failed += frame() == 0;
    counting = false;
    EXPECT_EQ(failed, 0u);
    return {counted.load(), DeviceAllocations() - device};
}

class SteadyState : public ObjectTest {};

TEST_F(SteadyState, EncodeAllocatesNothingPerFrame)
{
    for (const Vidlane_Format format : {VIDLANE_UINT8, VIDLANE_UINT32, VIDLANE_RGBA32}) {
        SCOPED_TRACE(testing::Message() << "format " << format);
        ResetFakes();
        CodecHandle* encoder = Encoder(format);
        const uint32_t rowBytes = format == VIDLANE_UINT8 ? kWidth : kWidth * 4;
        const Bytes host = pattern(std::size_t{rowBytes} * kHeight, format);
        DeviceBuffer device(host);
        Bytes out(64);
        for (const void* src : {static_cast<const void*>(host.data()), static_cast<const void*>(device.get())}) {
            const Allocations a = Measure([&] {
                return Vidlane_Encode(encoder, src, rowBytes, out.data(), out.size(), kWidth, kHeight, false);
            });
            EXPECT_EQ(a.host, 0u) << (src == host.data() ? "host frame" : "device frame");
            EXPECT_EQ(a.device, 0u) << (src == host.data() ? "host frame" : "device frame");
        }
        DestroyAll();
    }
}

TEST_F(SteadyState, DecodeAllocatesNothingPerFrame)
{
    for (const Vidlane_Format format : {VIDLANE_UINT8, VIDLANE_RGBA32}) {
        SCOPED_TRACE(testing::Message() << "format " << format);
        ResetFakes();
        const std::string records =
            fake_nvdec::Seq(cudaVideoCodec_H264, kWidth, kHeight, 0, 0, kWidth, kHeight) + fake_nvdec::Frame(0);
        // The same behind a parameter set that allows reordering: the pictures
        // pass through the display queue, whose buffers are reused.
        const std::string reordering = WithSps(records, vidlane2::test::sps::h264HighBFrames);
        for (const std::string& packet : {records, reordering}) {
            CodecHandle* decoder = Decoder(format);
            Bytes host(std::size_t{kWidth} * kHeight * (format == VIDLANE_UINT8 ? 1 : 4));
            DeviceBuffer device(host.size());
            for (void* dst : {static_cast<void*>(host.data()), device.get()}) {
                const Allocations a = Measure(
                    [&] { return Vidlane_Decode(decoder, packet.data(), packet.size(), dst, kWidth, kHeight); });
                const char* what = packet == records ? "in display order" : "reordering";
                EXPECT_EQ(a.host, 0u) << what << (dst == host.data() ? ", into host memory" : ", into device memory");
                EXPECT_EQ(a.device, 0u) << what << (dst == host.data() ? ", into host memory" : ", into device memory");
            }
            DestroyAll();
        }
    }
}

} // namespace
