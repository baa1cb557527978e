// OpenGL textures and pixel-buffer objects through the public interface, in a
// headless EGL context on the GPU. Decodes into them must equal the host-memory
// decode of the same packets; what they hand to the encoder (the fake NVENC
// library on real CUDA memory) must equal the CPU rules. Registration is
// judged by its effects: the same object keeps showing its current contents,
// and a new name or size never shows stale data.
#include "HeadlessGl.h" // first: the GL declarations its function table is built from

#include "AccessUnits.h"
#include "FakeNvenc.h"
#include "GpuDevice.h"
#include "KernelReference.h"

#include <Vidlane2.h>

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
namespace ref = vidlane2::reference;

struct HandleDeleter {
    void operator()(CodecHandle* handle) const { Vidlane_Destroy(handle); }
};
using Handle = std::unique_ptr<CodecHandle, HandleDeleter>;

Bytes readFile(const std::string& name)
{
    std::ifstream in(std::string(VIDLANE2_GPU_STREAMS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << "missing test stream " << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Stream {
    Bytes bytes;
    std::vector<vidlane2::ByteRange> units;
    uint32_t width, height;

    Stream(const std::string& name, uint32_t w, uint32_t h) : bytes(readFile(name)), width(w), height(h)
    {
        units = vidlane2::splitAccessUnits(bytes.data(), bytes.size(), false);
    }
    const uint8_t* unit(size_t i) const { return bytes.data() + units[i].offset; }
    size_t frameBytes() const { return size_t{width} * height * 4; }
};

Bytes pattern(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& v : b) v = static_cast<uint8_t>(rng());
    return b;
}

// Linear colour with values below 0 and above 1, as rendering leaves it.
std::vector<float> colourPattern(size_t texels, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> channel(-0.25f, 1.5f);
    std::vector<float> f(texels * 4);
    for (auto& v : f) v = channel(rng);
    return f;
}

// expected = actual, with the frame's rows put where the input buffer must hold them.
Bytes withFrameRows(const Bytes& actual, uint32_t pitch, const Bytes& frame, uint32_t rowBytes, uint32_t height,
                    bool flipped)
{
    Bytes out = actual;
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t row = flipped ? height - 1 - y : y;
        std::copy(frame.begin() + size_t{y} * rowBytes, frame.begin() + size_t{y + 1} * rowBytes,
                  out.begin() + size_t{row} * pitch);
    }
    return out;
}

// The session's input buffer as the encoder last saw it (the session keeps one slot).
Bytes inputBuffer(uint32_t rows, uint32_t* pitch)
{
    const NV_ENC_REGISTER_RESOURCE& r = fake_nvenc::Registrations().back();
    *pitch = r.pitch;
    Bytes out(size_t{r.pitch} * rows);
    EXPECT_EQ(cudaMemcpy(out.data(), r.resourceToRegister, out.size(), cudaMemcpyDeviceToHost), cudaSuccess);
    return out;
}

class GlInteropGpu : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_CUDA_DEVICE();
        std::string why;
        m_context = HeadlessGl::create(why);
        if (!m_context) {
            if (std::getenv("VIDLANE2_REQUIRE_GPU"))
                FAIL() << "no OpenGL context for CUDA: " << why;
            GTEST_SKIP() << "no OpenGL context for CUDA: " << why;
        }
        std::printf("OpenGL: %s\n", m_context->renderer().c_str());
        fake_nvenc::Reset();
    }

    const GlFunctions& gl() const { return m_context->gl(); }

    void expectNoGlError(const char* step) const
    {
        const GLenum error = gl().glGetError();
        EXPECT_EQ(error, static_cast<GLenum>(GL_NO_ERROR)) << "OpenGL error after " << step;
    }

    GLuint newTexture() const
    {
        GLuint name = 0;
        gl().glGenTextures(1, &name);
        return name;
    }

    // (Re-)specifies a single-level texture; CUDA registers only complete ones.
    void specifyTexture(GLuint texture, GLint internalFormat, uint32_t width, uint32_t height, GLenum type,
                        const void* texels) const
    {
        gl().glBindTexture(GL_TEXTURE_2D, texture);
        gl().glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gl().glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gl().glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        gl().glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gl().glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height), 0, GL_RGBA, type, texels);
        gl().glBindTexture(GL_TEXTURE_2D, 0);
        expectNoGlError("glTexImage2D");
    }

    template <class T>
    std::vector<T> readTexture(GLuint texture, uint32_t width, uint32_t height, GLenum type) const
    {
        std::vector<T> out(size_t{width} * height * 4);
        gl().glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        gl().glPixelStorei(GL_PACK_ALIGNMENT, 1);
        gl().glBindTexture(GL_TEXTURE_2D, texture);
        gl().glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, type, out.data());
        gl().glBindTexture(GL_TEXTURE_2D, 0);
        expectNoGlError("glGetTexImage");
        return out;
    }

    GLuint newBuffer() const
    {
        GLuint name = 0;
        gl().glGenBuffers(1, &name);
        return name;
    }

    // A neutral binding point, so no pixel transfer picks the buffer up.
    void specifyBuffer(GLuint buffer, const Bytes& contents) const
    {
        gl().glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
        gl().glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(contents.size()), contents.data(),
                          GL_STREAM_COPY);
        gl().glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
        expectNoGlError("glBufferData");
    }

    void updateBuffer(GLuint buffer, const Bytes& contents) const
    {
        gl().glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
        gl().glBufferSubData(GL_COPY_WRITE_BUFFER, 0, static_cast<GLsizeiptr>(contents.size()), contents.data());
        gl().glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
        expectNoGlError("glBufferSubData");
    }

    Bytes readBuffer(GLuint buffer, size_t size) const
    {
        Bytes out(size);
        gl().glBindBuffer(GL_COPY_READ_BUFFER, buffer);
        gl().glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(size), out.data());
        gl().glBindBuffer(GL_COPY_READ_BUFFER, 0);
        expectNoGlError("glGetBufferSubData");
        return out;
    }

    std::unique_ptr<HeadlessGl> m_context;
};

// ---- decoding --------------------------------------------------------------------

TEST_F(GlInteropGpu, DecodesIntoATextureAndABufferObjectEqualTheHostDecodeAcrossSizeChanges)
{
    const Stream large("h264_320x240.h264", 320, 240);
    const Stream small("h264_160x120.h264", 160, 120);
    ASSERT_FALSE(large.units.empty());
    ASSERT_FALSE(small.units.empty());
    Handle host(Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 0, 0));
    Handle toTexture(Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 0, 0));
    Handle toBuffer(Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 0, 0));
    ASSERT_TRUE(host && toTexture && toBuffer) << Vidlane_GetError(nullptr);
    const GLuint texture = newTexture();
    const GLuint buffer = newBuffer();

    // One texture name and one buffer name throughout: each pass re-specifies
    // them at the stream's size, over a sentinel that a stale registration would leave.
    int pass = 0;
    for (const Stream* s : {&large, &small, &large}) {
        const size_t size = s->frameBytes();
        const Bytes sentinel(size, 0xA5);
        specifyTexture(texture, GL_RGBA8, s->width, s->height, GL_UNSIGNED_BYTE, sentinel.data());
        specifyBuffer(buffer, sentinel);
        Bytes previous;
        for (size_t i = 0; i < s->units.size(); ++i) {
            SCOPED_TRACE("pass " + std::to_string(pass) + ", picture " + std::to_string(i));
            const uint64_t packet = s->units[i].size;
            Bytes expected(size);
            ASSERT_EQ(Vidlane_Decode(host.get(), s->unit(i), packet, expected.data(), s->width, s->height), size)
                << Vidlane_GetError(host.get());
            ASSERT_NE(expected, previous) << "consecutive pictures must differ for this test to see stale frames";
            ASSERT_EQ(Vidlane_DecodeTexture(toTexture.get(), s->unit(i), packet, texture, GL_TEXTURE_2D, s->width,
                                            s->height),
                      size)
                << Vidlane_GetError(toTexture.get());
            ASSERT_EQ(Vidlane_DecodePBO(toBuffer.get(), s->unit(i), packet, buffer, s->width, s->height), size)
                << Vidlane_GetError(toBuffer.get());
            EXPECT_EQ(readTexture<uint8_t>(texture, s->width, s->height, GL_UNSIGNED_BYTE), expected);
            EXPECT_EQ(readBuffer(buffer, size), expected);
            previous = std::move(expected);
        }
        ++pass;
    }
    toTexture.reset(); // unregisters while the context lives
    toBuffer.reset();
    gl().glDeleteTextures(1, &texture);
    gl().glDeleteBuffers(1, &buffer);
    expectNoGlError("deleting the objects");
}

TEST_F(GlInteropGpu, EachTextureAndBufferObjectNameKeepsItsOwnPicture)
{
    const Stream stream("h264_320x240.h264", 320, 240);
    ASSERT_GE(stream.units.size(), 3u);
    Handle host(Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 320, 240));
    Handle toTexture(Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 320, 240));
    Handle toBuffer(Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 320, 240));
    ASSERT_TRUE(host && toTexture && toBuffer) << Vidlane_GetError(nullptr);
    const size_t size = stream.frameBytes();
    const Bytes sentinel(size, 0x5A);
    GLuint textures[2], buffers[2];
    for (int k = 0; k < 2; ++k) {
        textures[k] = newTexture();
        specifyTexture(textures[k], GL_RGBA8, 320, 240, GL_UNSIGNED_BYTE, sentinel.data());
        buffers[k] = newBuffer();
        specifyBuffer(buffers[k], sentinel);
    }

    // Pictures go to the two names in turn; the other name keeps the picture before.
    Bytes held[2] = {sentinel, sentinel};
    for (size_t i = 0; i < stream.units.size(); ++i) {
        SCOPED_TRACE("picture " + std::to_string(i));
        const size_t k = i % 2;
        Bytes expected(size);
        ASSERT_EQ(Vidlane_Decode(host.get(), stream.unit(i), stream.units[i].size, expected.data(), 320, 240), size)
            << Vidlane_GetError(host.get());
        ASSERT_EQ(Vidlane_DecodeTexture(toTexture.get(), stream.unit(i), stream.units[i].size, textures[k],
                                        GL_TEXTURE_2D, 320, 240),
                  size)
            << Vidlane_GetError(toTexture.get());
        ASSERT_EQ(Vidlane_DecodePBO(toBuffer.get(), stream.unit(i), stream.units[i].size, buffers[k], 320, 240), size)
            << Vidlane_GetError(toBuffer.get());
        held[k] = std::move(expected);
        for (int j = 0; j < 2; ++j) {
            EXPECT_EQ(readTexture<uint8_t>(textures[j], 320, 240, GL_UNSIGNED_BYTE), held[j]) << "texture " << j;
            EXPECT_EQ(readBuffer(buffers[j], size), held[j]) << "buffer " << j;
        }
    }
    toTexture.reset();
    toBuffer.reset();
}

// ---- encoding --------------------------------------------------------------------

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

// The device's approximate log2/exp2 may move a code by one, only where the
// exact value lies at a code boundary (as in the kernels' own GPU test).
void expectSrgbCodesMatch(const Bytes& actual, const Bytes& expected, uint32_t pitch,
                          const std::vector<vidlane2::TexelF>& texels, uint32_t textureWidth, bool flipped,
                          bool tenBit)
{
    const auto code = [&](uint32_t word, int ch) {
        return tenBit ? (ch == 3 ? word >> 30 : word >> (10 * ch) & 1023u) : word >> (8 * ch) & 255u;
    };
    size_t boundaryCodes = 0;
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint32_t textureRow = flipped ? kHeight - 1 - y : y;
        for (uint32_t x = 0; x < kWidth; ++x) {
            uint32_t g, c;
            std::memcpy(&g, &actual[size_t{y} * pitch + 4 * x], 4);
            std::memcpy(&c, &expected[size_t{y} * pitch + 4 * x], 4);
            const vidlane2::TexelF& t = texels[size_t{textureRow} * textureWidth + x];
            const float in[4] = {t.r, t.g, t.b, t.a};
            for (int ch = 0; ch < 4; ++ch) {
                const uint32_t gc = code(g, ch), cc = code(c, ch);
                if (gc == cc) continue;
                const float q = vidlane2::rule::srgbEncode(in[ch]) *
                                (tenBit ? vidlane2::kSrgb10Scale : vidlane2::kSrgb8Scale);
                const bool atBoundary = std::fabs(q - std::nearbyint(q)) < 0.01f &&
                                        (gc > cc ? gc - cc : cc - gc) <= (ch == 3 && tenBit ? 3u : 1u);
                ASSERT_TRUE(atBoundary) << "picture pixel " << x << "," << y << " channel " << ch << " input "
                                        << in[ch] << ": GPU " << gc << ", CPU " << cc;
                ++boundaryCodes;
            }
        }
    }
    std::printf("%zu channel codes at a code boundary differ by the last bit\n", boundaryCodes);
}

const char* formatName(uint32_t format)
{
    switch (format) {
    case VIDLANE_RGBA32: return "Rgba32";
    case VIDLANE_R16G16B16A16: return "R16G16B16A16";
    case VIDLANE_R16G16B16A16_HDR10: return "R16G16B16A16Hdr10";
    default: return "Other";
    }
}

struct TextureCase {
    uint32_t format;
    bool flip;
};

void PrintTo(const TextureCase& c, std::ostream* os)
{
    *os << formatName(c.format) << (c.flip ? " flipped" : " unflipped");
}

class EncodeTextureGpu : public GlInteropGpu, public ::testing::WithParamInterface<TextureCase> {};

// The texture is larger than the frame: only its first width x height texels are read.
TEST_P(EncodeTextureGpu, TheInputBufferHoldsTheCpuRulesResult)
{
    const TextureCase c = GetParam();
    constexpr uint32_t texW = kWidth + 8, texH = kHeight + 8;
    Handle encoder(Vidlane_CreateEncoder(c.format, VIDLANE_HEVC, VIDLANE_LOSSY, 8000000, 30, 0, 0));
    ASSERT_TRUE(encoder) << Vidlane_GetError(nullptr);
    const GLuint texture = newTexture();

    Bytes bytes;                          // RGBA8 texels
    std::vector<vidlane2::TexelF> floats; // half-float texels as the texture stores them
    if (c.format == VIDLANE_RGBA32) {
        bytes = pattern(size_t{texW} * texH * 4, 7);
        specifyTexture(texture, GL_RGBA8, texW, texH, GL_UNSIGNED_BYTE, bytes.data());
    } else {
        const std::vector<float> linear = colourPattern(size_t{texW} * texH, 8);
        specifyTexture(texture, GL_RGBA16F, texW, texH, GL_FLOAT, linear.data());
        const std::vector<float> stored = readTexture<float>(texture, texW, texH, GL_FLOAT);
        floats.resize(size_t{texW} * texH);
        std::memcpy(floats.data(), stored.data(), stored.size() * sizeof(float));
    }

    Bytes dst(256);
    uint8_t pictureType = 0xFF;
    const uint64_t written = Vidlane_EncodeTexture(encoder.get(), texture, GL_TEXTURE_2D, dst.data(), dst.size(),
                                                   kWidth, kHeight, texW, texH, false, &pictureType, c.flip);
    ASSERT_EQ(written, fake_nvenc::PacketFor(0).size()) << Vidlane_GetError(encoder.get());
    EXPECT_EQ(Bytes(dst.begin(), dst.begin() + written), fake_nvenc::PacketFor(0));
    EXPECT_EQ(pictureType, static_cast<uint8_t>(NV_ENC_PIC_TYPE_IDR));

    const NV_ENC_REGISTER_RESOURCE& r = fake_nvenc::Registrations().back();
    EXPECT_EQ(r.bufferFormat,
              c.format == VIDLANE_R16G16B16A16_HDR10 ? NV_ENC_BUFFER_FORMAT_ABGR10 : NV_ENC_BUFFER_FORMAT_ABGR);
    uint32_t pitch = 0;
    const Bytes actual = inputBuffer(kHeight, &pitch);
    Bytes expected = actual;
    if (c.format == VIDLANE_RGBA32) {
        std::vector<vidlane2::Texel8> texels(size_t{texW} * texH);
        std::memcpy(texels.data(), bytes.data(), bytes.size());
        if (c.flip) {
            ref::image_flip_v_tex({texels.data(), texW, texH}, expected.data(), pitch, kWidth, kHeight);
        } else { // a byte-exact copy of the first rows
            for (uint32_t y = 0; y < kHeight; ++y)
                std::memcpy(&expected[size_t{y} * pitch], &bytes[size_t{y} * texW * 4], kWidth * 4);
        }
        EXPECT_EQ(actual, expected);
    } else {
        const ref::HostTexture<vidlane2::TexelF> host{floats.data(), texW, texH};
        const bool tenBit = c.format == VIDLANE_R16G16B16A16_HDR10;
        if (tenBit && c.flip) {
            ref::image_flip_v_tex_half_hdr_10bit(host, expected.data(), pitch, kWidth, kHeight);
        } else if (tenBit) {
            ref::image_no_flip_v_tex_half_hdr_10bit(host, expected.data(), pitch, kWidth, kHeight);
        } else if (c.flip) {
            ref::image_flip_v_tex_half(host, expected.data(), pitch, kWidth, kHeight);
        } else { // 8-bit codes, rows in texture order
            Bytes flipped(size_t{kWidth} * kHeight * 4);
            ref::image_flip_v_tex_half(host, flipped.data(), kWidth * 4, kWidth, kHeight);
            ref::image_flip_v(flipped.data(), kWidth * 4, expected.data(), pitch, kWidth, kHeight);
        }
        expectSrgbCodesMatch(actual, expected, pitch, floats, texW, c.flip, tenBit);
    }
    encoder.reset();
    gl().glDeleteTextures(1, &texture);
}

INSTANTIATE_TEST_SUITE_P(FormatsAndFlips, EncodeTextureGpu,
                         ::testing::Values(TextureCase{VIDLANE_RGBA32, false}, TextureCase{VIDLANE_RGBA32, true},
                                           TextureCase{VIDLANE_R16G16B16A16, false},
                                           TextureCase{VIDLANE_R16G16B16A16, true},
                                           TextureCase{VIDLANE_R16G16B16A16_HDR10, false},
                                           TextureCase{VIDLANE_R16G16B16A16_HDR10, true}),
                         [](const ::testing::TestParamInfo<TextureCase>& info) {
                             return std::string(formatName(info.param.format)) +
                                    (info.param.flip ? "Flipped" : "Unflipped");
                         });

TEST_F(GlInteropGpu, EncodeTextureFollowsTheTexturesContentsNameAndSize)
{
    Handle encoder(Vidlane_CreateEncoder(VIDLANE_RGBA32, VIDLANE_H264, VIDLANE_LOSSY, 8000000, 30, kWidth, kHeight));
    ASSERT_TRUE(encoder) << Vidlane_GetError(nullptr);
    const GLuint a = newTexture();
    const GLuint b = newTexture();
    uint32_t picture = 0;
    // Encodes the whole texture without a flip: the input buffer must hold its texels.
    const auto encodeAndCheck = [&](GLuint texture, uint32_t width, uint32_t height, const Bytes& texels,
                                    uint8_t* pictureType) {
        Bytes dst(256);
        const uint64_t written = Vidlane_EncodeTexture(encoder.get(), texture, GL_TEXTURE_2D, dst.data(), dst.size(),
                                                       width, height, width, height, false, pictureType, false);
        ASSERT_EQ(written, fake_nvenc::PacketFor(picture).size()) << Vidlane_GetError(encoder.get());
        EXPECT_EQ(Bytes(dst.begin(), dst.begin() + written), fake_nvenc::PacketFor(picture));
        ++picture;
        EXPECT_EQ(fake_nvenc::Registrations().back().width, width);
        uint32_t pitch = 0;
        const Bytes actual = inputBuffer(height, &pitch);
        EXPECT_EQ(actual, withFrameRows(actual, pitch, texels, width * 4, height, false));
    };

    const Bytes first = pattern(size_t{kWidth} * kHeight * 4, 1);
    specifyTexture(a, GL_RGBA8, kWidth, kHeight, GL_UNSIGNED_BYTE, first.data());
    uint8_t pictureType = 0xFF;
    encodeAndCheck(a, kWidth, kHeight, first, &pictureType);
    EXPECT_EQ(pictureType, static_cast<uint8_t>(NV_ENC_PIC_TYPE_IDR));

    // Same name and size, new contents: the registration is kept and sees them.
    const Bytes second = pattern(first.size(), 2);
    gl().glBindTexture(GL_TEXTURE_2D, a);
    gl().glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, second.data());
    gl().glBindTexture(GL_TEXTURE_2D, 0);
    expectNoGlError("glTexSubImage2D");
    encodeAndCheck(a, kWidth, kHeight, second, &pictureType);
    EXPECT_EQ(pictureType, static_cast<uint8_t>(NV_ENC_PIC_TYPE_P));

    // Another name.
    const Bytes third = pattern(first.size(), 3);
    specifyTexture(b, GL_RGBA8, kWidth, kHeight, GL_UNSIGNED_BYTE, third.data());
    encodeAndCheck(b, kWidth, kHeight, third, nullptr);

    // The first name re-specified at a new size, twice, then back to the other name.
    const uint32_t w2 = kWidth + 32, h2 = kHeight + 16;
    const Bytes fourth = pattern(size_t{w2} * h2 * 4, 4);
    specifyTexture(a, GL_RGBA8, w2, h2, GL_UNSIGNED_BYTE, fourth.data());
    encodeAndCheck(a, w2, h2, fourth, nullptr);
    encodeAndCheck(a, w2, h2, fourth, nullptr);
    const Bytes fifth = pattern(size_t{w2} * h2 * 4, 5);
    specifyTexture(b, GL_RGBA8, w2, h2, GL_UNSIGNED_BYTE, fifth.data());
    encodeAndCheck(b, w2, h2, fifth, nullptr);

    encoder.reset();
    EXPECT_EQ(fake_nvenc::LiveSessions(), 0u);
    gl().glDeleteTextures(1, &a);
    gl().glDeleteTextures(1, &b);
}

class EncodePboGpu : public GlInteropGpu, public ::testing::WithParamInterface<uint32_t> {};

// Buffer row y becomes picture row height - 1 - y; the caller's buffer stays as it was.
TEST_P(EncodePboGpu, TheInputBufferHoldsTheBufferFlippedAndTheBufferIsUnchanged)
{
    Handle encoder(Vidlane_CreateEncoder(GetParam(), VIDLANE_HEVC, VIDLANE_LOSSY, 8000000, 30, 0, 0));
    ASSERT_TRUE(encoder) << Vidlane_GetError(nullptr);
    const GLuint buffer = newBuffer();
    const size_t size = size_t{kWidth} * kHeight * 4;
    for (uint32_t picture = 0; picture < 2; ++picture) {
        SCOPED_TRACE("picture " + std::to_string(picture));
        const Bytes contents = pattern(size, 20 + picture);
        if (picture == 0)
            specifyBuffer(buffer, contents);
        else
            updateBuffer(buffer, contents); // same name and size: the registration sees the new contents
        Bytes dst(256);
        const uint64_t written =
            Vidlane_EncodePBO(encoder.get(), buffer, dst.data(), dst.size(), kWidth, kHeight, picture == 1);
        ASSERT_EQ(written, fake_nvenc::PacketFor(picture).size()) << Vidlane_GetError(encoder.get());
        EXPECT_EQ(Bytes(dst.begin(), dst.begin() + written), fake_nvenc::PacketFor(picture));
        uint32_t pitch = 0;
        const Bytes actual = inputBuffer(kHeight, &pitch);
        EXPECT_EQ(actual, withFrameRows(actual, pitch, contents, kWidth * 4, kHeight, true));
        EXPECT_EQ(readBuffer(buffer, size), contents);
    }
    encoder.reset();
    gl().glDeleteBuffers(1, &buffer);
}

INSTANTIATE_TEST_SUITE_P(Formats, EncodePboGpu,
                         ::testing::Values(VIDLANE_RGBA32, VIDLANE_R16G16B16A16, VIDLANE_R16G16B16A16_HDR10),
                         [](const ::testing::TestParamInfo<uint32_t>& info) { return formatName(info.param); });

} // namespace
