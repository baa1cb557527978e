#include "ObjectFixture.h"

#include "KernelReference.h"

namespace {

namespace reference = vidlane2::reference;
using fake_cuda_runtime::TexelKind;

constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;
constexpr uint32_t kTexture2D = 0x0DE1;
constexpr uint32_t kPbo = 7;
constexpr uint32_t kTexture = 9;

std::string Packet(uint32_t width, uint32_t height, const std::string& records)
{
    return fake_nvdec::Seq(cudaVideoCodec_H264, width, height, 0, 0, static_cast<int>(width),
                           static_cast<int>(height)) +
           records;
}

// Rows of the slot against src rows in reverse order.
void ExpectFlipped(const ObjectTest::Slot& slot, const std::uint8_t* src, std::size_t srcPitch, uint32_t height,
                   std::size_t rowBytes)
{
    ASSERT_NE(slot.data, nullptr);
    for (uint32_t r = 0; r < height; ++r)
        ASSERT_EQ(std::memcmp(slot.row(r), src + (height - 1 - r) * srcPitch, rowBytes), 0) << "row " << r;
}

class InteropObject : public ObjectTest {};

TEST_F(InteropObject, APixelBufferIsEncodedFlippedAndLeftUntouched)
{
    CodecHandle* encoder = Encoder(VIDLANE_RGBA32);
    std::uint8_t* pbo = fake_cuda_runtime::DefineBuffer(kPbo, kWidth * kHeight * 4);
    const Bytes pixels = pattern(kWidth * kHeight * 4, 5);
    std::memcpy(pbo, pixels.data(), pixels.size());
    Bytes out(64);
    for (int frame = 0; frame < 2; ++frame)
        ASSERT_GT(Vidlane_EncodePBO(encoder, kPbo, out.data(), out.size(), kWidth, kHeight, false), 0u)
            << Vidlane_GetError(encoder);
    ExpectFlipped(SlotOf(1), pixels.data(), kWidth * 4, kHeight, kWidth * 4);
    EXPECT_EQ(std::memcmp(pbo, pixels.data(), pixels.size()), 0) << "the buffer object is read-only";
    // One pass: a one-way flipping copy straight into the slot, no staging copy.
    EXPECT_EQ(cpu_kernels::Launches(), (std::vector<std::string>{"image_copy_flip_v", "image_copy_flip_v"}));
    EXPECT_EQ(fake_cuda_runtime::CountCalls("cudaMalloc"), 0u);
    EXPECT_EQ(fake_cuda_runtime::CountCalls("cudaMemcpy2D"), 0u);
    // Registered once for its name and size, read-only, and unmapped after each call.
    EXPECT_EQ(fake_cuda_runtime::CountCalls("cudaGraphicsGLRegisterBuffer"), 1u);
    EXPECT_EQ(fake_cuda_runtime::Registrations().at(0).flags, unsigned{cudaGraphicsRegisterFlagsReadOnly});
    EXPECT_EQ(fake_cuda_runtime::LiveMappings(), 0u);

    // Another size registers again and drops the old registration.
    fake_cuda_runtime::DefineBuffer(kPbo, kWidth * kHeight * 4 * 4);
    ASSERT_GT(Vidlane_EncodePBO(encoder, kPbo, out.data(), out.size(), kWidth * 2, kHeight * 2, false), 0u)
        << Vidlane_GetError(encoder);
    EXPECT_EQ(fake_cuda_runtime::CountCalls("cudaGraphicsGLRegisterBuffer"), 2u);
    EXPECT_EQ(fake_cuda_runtime::LiveRegistrations(), 1u);
}

TEST_F(InteropObject, ATooSmallBufferObjectIsRefusedAndUnmapped)
{
    CodecHandle* encoder = Encoder(VIDLANE_RGBA32);
    fake_cuda_runtime::DefineBuffer(kPbo, kWidth * kHeight * 4 - 1);
    Bytes out(64);
    EXPECT_EQ(Vidlane_EncodePBO(encoder, kPbo, out.data(), out.size(), kWidth, kHeight, false), 0u);
    EXPECT_STREQ(Vidlane_GetError(encoder), "Pixel-buffer object too small: it holds 511 bytes, the frame needs 512");
    EXPECT_EQ(fake_cuda_runtime::LiveMappings(), 0u);
}

// Every runtime call of the OpenGL paths may fail: the resource is unmapped
// again and the next call works.
TEST_F(InteropObject, EveryFailureOnTheOpenGlPathsUnmaps)
{
    struct Case {
        const char* entry;
        bool decode;
        bool texture;
    };
    const Case cases[] = {
        {"cudaGraphicsResourceGetMappedPointer", false, false},
        {"cudaGraphicsSubResourceGetMappedArray", false, true},
        {"cudaCreateTextureObject", false, true},
        {"cudaGraphicsResourceGetMappedPointer", true, false},
        {"cudaGraphicsSubResourceGetMappedArray", true, true},
        {"cudaMemcpy2DToArray", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.entry << (c.decode ? " decode" : " encode")
                                        << (c.texture ? " texture" : " buffer"));
        ResetFakes();
        fake_cuda_runtime::DefineBuffer(kPbo, kWidth * kHeight * 4);
        fake_cuda_runtime::DefineTexture(kTexture, kWidth, kHeight, TexelKind::Rgba8);
        CodecHandle* handle = c.decode ? Decoder(VIDLANE_RGBA32) : Encoder(VIDLANE_RGBA32);
        const std::string packet = Packet(kWidth, kHeight, fake_nvdec::Frame(0));
        Bytes out(64);
        auto call = [&] {
            if (c.decode)
                return c.texture ? Vidlane_DecodeTexture(handle, packet.data(), packet.size(), kTexture, kTexture2D,
                                                         kWidth, kHeight)
                                 : Vidlane_DecodePBO(handle, packet.data(), packet.size(), kPbo, kWidth, kHeight);
            return c.texture ? Vidlane_EncodeTexture(handle, kTexture, kTexture2D, out.data(), out.size(), kWidth,
                                                     kHeight, kWidth, kHeight, false, nullptr, true)
                             : Vidlane_EncodePBO(handle, kPbo, out.data(), out.size(), kWidth, kHeight, false);
        };
        fake_cuda_runtime::FailCall(c.entry, cudaErrorUnknown);
        EXPECT_EQ(call(), 0u);
        EXPECT_NE(std::string(Vidlane_GetError(handle)).find("(Error 999: unknown error)"), std::string::npos)
            << Vidlane_GetError(handle);
        EXPECT_EQ(fake_cuda_runtime::LiveMappings(), 0u);
        EXPECT_EQ(fake_cuda_runtime::LiveTextureObjects(), 0u);
        fake_cuda_runtime::ClearFailures();
        EXPECT_GT(call(), 0u) << Vidlane_GetError(handle);
        EXPECT_EQ(fake_cuda_runtime::LiveMappings(), 0u);
        DestroyAll();
    }
}

TEST_F(InteropObject, TexturesOfEachFormatAndFlipFollowTheCpuRules)
{
    struct Case {
        Vidlane_Format format;
        bool flip;
    };
    const Case cases[] = {{VIDLANE_RGBA32, false},       {VIDLANE_RGBA32, true},
                          {VIDLANE_R16G16B16A16, false}, {VIDLANE_R16G16B16A16, true},
                          {VIDLANE_R16G16B16A16_HDR10, false}, {VIDLANE_R16G16B16A16_HDR10, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << (c.flip ? " flipped" : ""));
        ResetFakes();
        const bool half = c.format != VIDLANE_RGBA32;
        auto& array = fake_cuda_runtime::DefineTexture(kTexture, kWidth, kHeight,
                                                       half ? TexelKind::RgbaHalf : TexelKind::Rgba8);
        // Half floats between 0 and 1 (exponent below 15), so that every channel code differs.
        for (std::size_t i = 0; i < array.bytes.size(); ++i)
            array.bytes[i] = half && i % 2 == 1 ? static_cast<std::uint8_t>(0x30 + i % 11)
                                                : static_cast<std::uint8_t>(i * 13 + 1);
        CodecHandle* encoder = Encoder(c.format, c.format == VIDLANE_R16G16B16A16_HDR10 ? VIDLANE_HEVC : VIDLANE_H264);
        Bytes out(64);
        uint8_t pictureType = 0xFF;
        ASSERT_GT(Vidlane_EncodeTexture(encoder, kTexture, kTexture2D, out.data(), out.size(), kWidth, kHeight, kWidth,
                                        kHeight, false, &pictureType, c.flip),
                  0u)
            << Vidlane_GetError(encoder);
        EXPECT_EQ(pictureType, NV_ENC_PIC_TYPE_IDR);

        // The CPU rules on the same texels; flipped or not, the slot shows the picture the same way up.
        const Slot slot = SlotOf(0);
        ASSERT_NE(slot.data, nullptr);
        Bytes expected(std::size_t{slot.pitch} * kHeight);
        if (!half) {
            std::vector<vidlane2::Texel8> texels(kWidth * kHeight);
            std::memcpy(texels.data(), array.bytes.data(), array.bytes.size());
            if (c.flip) {
                reference::image_flip_v_tex({texels.data(), kWidth, kHeight}, expected.data(), slot.pitch, kWidth,
                                            kHeight);
            } else {
                for (uint32_t r = 0; r < kHeight; ++r)
                    std::memcpy(expected.data() + r * slot.pitch, array.bytes.data() + r * kWidth * 4, kWidth * 4);
            }
        } else {
            // Half-float texels, read back through the flip of the 8-bit rule.
            std::vector<vidlane2::TexelF> texels(kWidth * kHeight);
            for (std::size_t i = 0; i < texels.size(); ++i) {
                auto channel = [&](int k) {
                    std::uint16_t h;
                    std::memcpy(&h, array.bytes.data() + i * 8 + k * 2, 2);
                    const int e = (h >> 10) & 0x1F;
                    const int m = h & 0x3FF;
                    return e == 0 ? std::ldexp(float(m), -24) : std::ldexp(float(m | 0x400), e - 25);
                };
                texels[i] = {channel(0), channel(1), channel(2), channel(3)};
            }
            const reference::HostTexture<vidlane2::TexelF> texture{texels.data(), kWidth, kHeight};
            if (c.format == VIDLANE_R16G16B16A16_HDR10) {
                if (c.flip)
                    reference::image_flip_v_tex_half_hdr_10bit(texture, expected.data(), slot.pitch, kWidth, kHeight);
                else
                    reference::image_no_flip_v_tex_half_hdr_10bit(texture, expected.data(), slot.pitch, kWidth,
                                                                  kHeight);
            } else {
                Bytes flipped(std::size_t{slot.pitch} * kHeight);
                reference::image_flip_v_tex_half(texture, flipped.data(), slot.pitch, kWidth, kHeight);
                if (c.flip) {
                    expected = flipped;
                } else {
                    for (uint32_t r = 0; r < kHeight; ++r)
                        std::memcpy(expected.data() + r * slot.pitch,
                                    flipped.data() + (kHeight - 1 - r) * slot.pitch, kWidth * 4);
                }
            }
        }
        for (uint32_t r = 0; r < kHeight; ++r)
            ASSERT_EQ(std::memcmp(slot.row(r), expected.data() + r * slot.pitch, kWidth * 4), 0) << "row " << r;
        // One pass each: at most one kernel writes the slot, and no staging buffer.
        EXPECT_LE(cpu_kernels::Launches().size(), 1u);
        EXPECT_EQ(fake_cuda_runtime::CountCalls("cudaMalloc"), 0u);
        EXPECT_EQ(fake_cuda_runtime::LiveMappings(), 0u);
        DestroyAll();
    }
}

TEST_F(InteropObject, DecodingIntoBufferObjectsAndTexturesWritesTheRgbaFrame)
{
    CodecHandle* decoder = Decoder(VIDLANE_RGBA32);
    std::uint8_t* pbo = fake_cuda_runtime::DefineBuffer(kPbo, kWidth * kHeight * 4);
    auto& texture = fake_cuda_runtime::DefineTexture(kTexture, kWidth, kHeight, TexelKind::Rgba8);
    const std::string packet = Packet(kWidth, kHeight, fake_nvdec::Frame(0));
    Bytes host(kWidth * kHeight * 4);
    ASSERT_EQ(Vidlane_Decode(decoder, packet.data(), packet.size(), host.data(), kWidth, kHeight), host.size());
    // The same picture decoded again each time: frames 1 and 2 of the fake.
    ASSERT_EQ(Vidlane_DecodePBO(decoder, packet.data(), packet.size(), kPbo, kWidth, kHeight), host.size())
        << Vidlane_GetError(decoder);
    ASSERT_EQ(Vidlane_DecodeTexture(decoder, packet.data(), packet.size(), kTexture, kTexture2D, kWidth, kHeight),
              host.size())
        << Vidlane_GetError(decoder);

    auto expected = [&](int decodeNumber) {
        Bytes nv12(kWidth * (kHeight + kHeight / 2));
        for (uint32_t r = 0; r < kHeight + kHeight / 2; ++r)
            for (uint32_t col = 0; col < kWidth; ++col)
                nv12[r * kWidth + col] = fake_nvdec::PictureByte(decodeNumber, r, col);
        Bytes rgba(kWidth * kHeight * 4);
        reference::yuv_to_rgba(nv12.data(), kWidth, rgba.data(), kWidth * 4, kWidth, kHeight);
        return rgba;
    };
    EXPECT_EQ(host, expected(0));
    EXPECT_EQ(Bytes(pbo, pbo + host.size()), expected(1));
    EXPECT_EQ(texture.bytes, expected(2));
    EXPECT_EQ(fake_cuda_runtime::Registrations().at(0).flags, unsigned{cudaGraphicsRegisterFlagsWriteDiscard});
    EXPECT_EQ(fake_cuda_runtime::LiveMappings(), 0u);
}

} // namespace
