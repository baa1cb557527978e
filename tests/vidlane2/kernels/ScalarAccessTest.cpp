// Word and byte access of the 16- and 32-bit scalar kernels: which one the launch
// wrappers choose, and that both give the layout's bytes. The CPU rules refuse a
// misaligned word as the device would fault on it, so a wrong choice aborts here.
#include "KernelReference.h"
#include "LaunchChecks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace vidlane2 {
namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;
using Bytes = std::vector<u8>;
constexpr u8 kUntouched = 0xA5;

TEST(ScalarAccess, WordsOnlyWherePointerAndPitchAllowThem)
{
    alignas(16) static u8 buffer[64];
    u8* const base = buffer;
    using K = FrameKernel;
    using A = Access;
    const struct {
        const char* what;
        K kernel;
        const u8* src;
        u32 srcPitch;
        u8* dst;
        u32 dstPitch;
        A expected;
    } cases[] = {
        {"uint16 encode, aligned", K::Uint16ToNv12, base, 16, base, 16, A::Words},
        {"uint16 encode, odd source pitch", K::Uint16ToNv12, base, 15, base, 16, A::Bytes},
        {"uint16 encode, odd source", K::Uint16ToNv12, base + 1, 16, base, 16, A::Bytes},
        {"uint16 encode, odd surface pitch (chroma words)", K::Uint16ToNv12, base, 16, base, 17, A::Bytes},
        {"uint16 encode, odd surface", K::Uint16ToNv12, base, 16, base + 3, 16, A::Bytes},
        {"uint32 encode, aligned", K::Uint32ToNv12, base + 4, 12, base + 8, 20, A::Words},
        {"uint32 encode, source pitch of 2 mod 4", K::Uint32ToNv12, base, 18, base, 20, A::Bytes},
        {"uint32 encode, surface at 2 mod 4", K::Uint32ToNv12, base, 16, base + 2, 16, A::Bytes},
        {"uint16 decode, aligned output", K::Nv12ToUint16, base + 1, 15, base + 2, 6, A::Words},
        {"uint16 decode, odd output pitch", K::Nv12ToUint16, base, 16, base, 7, A::Bytes},
        {"uint32 decode, aligned output", K::Nv12ToUint32, base + 3, 9, base + 4, 12, A::Words},
        {"uint32 decode, output at 2 mod 4", K::Nv12ToUint32, base, 16, base + 2, 16, A::Bytes},
        {"uint32 decode, output pitch of 2 mod 4", K::Nv12ToUint32, base, 16, base, 18, A::Bytes},
        {"8-bit kernels walk bytes", K::Uint8ToNv12, base, 16, base, 16, A::Bytes},
        {"4-bit kernels walk bytes", K::Nv12ToUint4, base, 16, base, 16, A::Bytes},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frameAccess(c.kernel, c.src, c.srcPitch, c.dst, c.dstPitch), c.expected) << c.what;
}

// A buffer whose first byte sits `offset` bytes past a 16-byte boundary.
class Placed {
public:
    Placed(std::size_t size, std::size_t offset, u8 fill) : m_bytes(size + offset + 16, fill)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(m_bytes.data());
        m_begin = m_bytes.data() + ((16 - address % 16) % 16) + offset;
        m_size = size;
    }
    u8* data() { return m_begin; }
    u8& operator[](std::size_t i) { return m_begin[i]; }
    Bytes copy() const { return Bytes(m_begin, m_begin + m_size); }

private:
    Bytes m_bytes;
    u8* m_begin = nullptr;
    std::size_t m_size = 0;
};

struct Layout {
    const char* name;
    std::size_t packedOffset, surfaceOffset;
    u32 packedPad, surfacePad;
};

// Layouts aligned to the value's width take the word path, the others the byte path.
const Layout kLayouts[] = {
    {"aligned", 0, 0, 0, 0},         {"aligned, padded rows", 4, 8, 8, 12}, {"odd packed pitch", 0, 0, 1, 0},
    {"odd packed pointer", 1, 0, 0, 0}, {"packed at 2 mod 4", 2, 0, 2, 0},     {"odd surface pitch", 0, 0, 0, 3},
    {"surface at 2 mod 4", 0, 2, 0, 0},
};

struct WideFormat {
    const char* name;
    u32 bytes; // per value
    FrameKernel encodeKernel, decodeKernel;
    void (*encode)(const u8*, u32, u8*, u32, u32, u32);
    void (*decode)(const u8*, u32, u8*, u32, u32, u32);
};

const WideFormat kWideFormats[] = {
    {"uint16", 2, FrameKernel::Uint16ToNv12, FrameKernel::Nv12ToUint16, reference::uint16_to_nv12,
     reference::nv12_to_uint16},
    {"uint32", 4, FrameKernel::Uint32ToNv12, FrameKernel::Nv12ToUint32, reference::uint32_to_nv12,
     reference::nv12_to_uint32},
};

// Byte k of value x lands at luma column k * width + x; chroma rows inside the
// frame are zero, everything else is untouched; decoding gives the values back.
TEST(ScalarAccess, BothPathsGiveTheLayoutsBytes)
{
    const u32 sizes[][2] = {{1, 1}, {3, 3}, {33, 9}, {64, 16}};
    std::mt19937 rng(21);
    for (const WideFormat& f : kWideFormats) {
        for (const Layout& l : kLayouts) {
            for (const auto& size : sizes) {
                const u32 w = size[0], h = size[1];
                SCOPED_TRACE(testing::Message() << f.name << ", " << l.name << ", " << w << "x" << h);
                const u32 row = f.bytes * w;
                const u32 packedPitch = row + l.packedPad, surfacePitch = row + l.surfacePad;
                const u32 surfaceRows = h + (h + 1) / 2;
                Placed src(std::size_t{packedPitch} * h, l.packedOffset, 0);
                for (std::size_t i = 0; i < std::size_t{packedPitch} * h; ++i) src[i] = static_cast<u8>(rng());
                Placed nv12(std::size_t{surfacePitch} * surfaceRows, l.surfaceOffset, kUntouched);
                Placed out(std::size_t{packedPitch} * h, l.packedOffset, kUntouched);
                const bool words = l.packedPad % f.bytes == 0 && l.packedOffset % f.bytes == 0 &&
                                   l.surfacePad % f.bytes == 0 && l.surfaceOffset % f.bytes == 0;
                EXPECT_EQ(frameAccess(f.encodeKernel, src.data(), packedPitch, nv12.data(), surfacePitch),
                          words ? Access::Words : Access::Bytes);

                f.encode(src.data(), packedPitch, nv12.data(), surfacePitch, w, h);
                f.decode(nv12.data(), surfacePitch, out.data(), packedPitch, w, h);

                for (u32 y = 0; y < h; ++y)
                    for (u32 c = 0; c < surfacePitch; ++c) {
                        const u8 expected = c < row ? src[y * packedPitch + f.bytes * (c % w) + c / w] : kUntouched;
                        ASSERT_EQ(nv12[y * surfacePitch + c], expected) << "luma row " << y << " column " << c;
                    }
                for (u32 r = 0; r < surfaceRows - h; ++r)
                    for (u32 c = 0; c < surfacePitch; ++c)
                        ASSERT_EQ(nv12[(h + r) * surfacePitch + c], r < h / 2 && c < row ? 0 : kUntouched)
                            << "chroma row " << r << " column " << c;
                for (u32 y = 0; y < h; ++y)
                    for (u32 c = 0; c < packedPitch; ++c)
                        ASSERT_EQ(out[y * packedPitch + c], c < row ? src[y * packedPitch + c] : kUntouched)
                            << "decoded row " << y << " byte " << c;
            }
        }
    }
}

// What the alignment check guards against: a word rule on a misaligned buffer.
TEST(ScalarAccessDeathTest, AMisalignedWordIsRefusedLikeTheDeviceWould)
{
    alignas(4) static u8 src[16] = {};
    alignas(4) static u8 nv12[64] = {};
    EXPECT_DEATH(rule::uint32_to_nv12<Access::Words>(0, 0, src + 1, 8, nv12, 16, 2, 2), "misaligned");
    EXPECT_DEATH(rule::nv12_to_uint16<Access::Words>(0, 0, nv12, 16, src + 1, 8, 2, 2), "misaligned");
}

} // namespace
} // namespace vidlane2
