#include "CompressedStream.h"
#include "IvfReader.h"

#include <Vidlane2.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vidlane2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes ivfHeader(const char* fourcc = "VP90", std::uint32_t width = 176, std::uint32_t height = 144,
                std::uint32_t headerSize = 32)
{
    Bytes b = {'D', 'K', 'I', 'F'};
    put(b, 0, 2);
    put(b, headerSize, 2);
    b.insert(b.end(), fourcc, fourcc + 4);
    put(b, width, 2);
    put(b, height, 2);
    put(b, 30, 4); // rate
    put(b, 1, 4);  // scale
    put(b, 2, 4);  // frame count
    put(b, 0, 4);
    b.resize(headerSize, 0xEE);
    return b;
}

void addFrame(Bytes& b, std::uint32_t declared, std::size_t actual, std::uint64_t pts)
{
    put(b, declared, 4);
    put(b, pts, 8);
    b.insert(b.end(), actual, 0xA5);
}

std::string errorOf(const Bytes& file)
{
    try {
        readIvf(file.data(), file.size());
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "accepted";
}

TEST(IvfReader, GivesHeaderAndFramesOfAGoodFile)
{
    for (std::uint32_t headerSize : {32u, 40u}) { // a longer header is skipped as its length says
        SCOPED_TRACE(headerSize);
        Bytes file = ivfHeader("AV01", 1920, 1080, headerSize);
        addFrame(file, 5, 5, 0);
        addFrame(file, 300, 300, 1);
        const IvfFile ivf = readIvf(file.data(), file.size());
        EXPECT_STREQ(ivf.fourcc, "AV01");
        EXPECT_EQ(ivf.width, 1920u);
        EXPECT_EQ(ivf.height, 1080u);
        ASSERT_EQ(ivf.frames.size(), 2u);
        EXPECT_EQ(ivf.frames[0].offset, headerSize + 12);
        EXPECT_EQ(ivf.frames[0].size, 5u);
        EXPECT_EQ(ivf.frames[1].offset, headerSize + 12 + 5 + 12);
        EXPECT_EQ(ivf.frames[1].size, 300u);
    }
}

TEST(IvfReader, RefusesEveryTruncationWithWhereItIsCut)
{
    Bytes file = ivfHeader();
    addFrame(file, 20, 20, 0);
    addFrame(file, 20, 20, 1);
    for (std::size_t length = 0; length < file.size(); ++length) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        SCOPED_TRACE(length);
        const std::string error = errorOf(cut);
        if (length < 4)
            EXPECT_NE(error.find("does not begin with DKIF"), std::string::npos) << error;
        else if (length < 32)
            EXPECT_NE(error.find("32-byte header is cut off"), std::string::npos) << error;
        else if (length == 32)
            EXPECT_NE(error.find("holds no frame"), std::string::npos) << error;
        else if (length == 64) // a whole first frame, then nothing: a good file of one frame
            EXPECT_EQ(error, "accepted");
        else if (length < 44 || (length > 64 && length < 76))
            EXPECT_NE(error.find("12-byte header is cut off"), std::string::npos) << error;
        else
            EXPECT_NE(error.find("claims 20 bytes"), std::string::npos) << error;
    }
}

TEST(IvfReader, RefusesMalformedFiles)
{
    Bytes badVersion = ivfHeader();
    badVersion[4] = 1;
    addFrame(badVersion, 1, 1, 0);
    Bytes shortHeader = ivfHeader();
    shortHeader[6] = 16;
    addFrame(shortHeader, 1, 1, 0);
    Bytes longHeader = ivfHeader();
    longHeader[6] = 0xff;
    addFrame(longHeader, 1, 1, 0);
    Bytes emptyFrame = ivfHeader();
    addFrame(emptyFrame, 0, 0, 0);
    Bytes hugeFrame = ivfHeader();
    addFrame(hugeFrame, 0xffffffff, 8, 0);
    const Bytes text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'I', 'V', 'F', ' ', 'f', 'i', 'l', 'e'};
    const struct {
        const char* name;
        Bytes file;
        const char* error;
    } cases[] = {
        {"version 1", badVersion, "version 1"},
        {"header length 16", shortHeader, "header length 16"},
        {"header longer than the file", longHeader, "header length 255 in a file of 45 bytes"},
        {"empty frame", emptyFrame, "frame 0 at byte 32 is empty"},
        {"frame of 4 GiB", hugeFrame, "claims 4294967295 bytes, 8 are left"},
        {"text", text, "does not begin with DKIF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(errorOf(c.file).find(c.error), std::string::npos) << errorOf(c.file);
    }
}

TEST(CompressedStream, IvfCodecComesFromItsHeaderAndMustMatchTheCodecGiven)
{
    Bytes vp9 = ivfHeader("VP90", 0, 144);
    addFrame(vp9, 3, 3, 0);
    for (const std::optional<std::uint32_t> codec : {std::optional<std::uint32_t>(), std::optional<std::uint32_t>(VIDLANE_VP9)}) {
        const CompressedStream stream = openCompressedStream(vp9, codec, "clip.ivf");
        EXPECT_EQ(stream.codec, static_cast<std::uint32_t>(VIDLANE_VP9));
        EXPECT_EQ(stream.pictures.size(), 1u);
        EXPECT_EQ(stream.width, 0u); // a header without a whole size gives none
        EXPECT_EQ(stream.height, 0u);
    }
    Bytes av1 = ivfHeader("AV01");
    addFrame(av1, 3, 3, 0);
    EXPECT_EQ(openCompressedStream(av1, std::nullopt, "clip.ivf").codec, static_cast<std::uint32_t>(VIDLANE_AV1));
    Bytes odd = ivfHeader("\x01VP9");
    addFrame(odd, 3, 3, 0);

    const struct {
        const Bytes& file;
        std::optional<std::uint32_t> codec;
        const char* error;
    } refusals[] = {
        {vp9, VIDLANE_AV1, "the IVF file holds VP90, not AV01"},
        {vp9, VIDLANE_H264, "the IVF file holds VP90, not H.264"},
        {av1, VIDLANE_HEVC, "the IVF file holds AV01, not HEVC"},
        {odd, VIDLANE_VP9, "the IVF file holds ?VP9, not VP90"}, // control bytes never reach the terminal
        {odd, std::nullopt, "the IVF file holds ?VP9, which is neither AV1 (AV01) nor VP9 (VP90)"},
        {odd, VIDLANE_H264, "the IVF file holds ?VP9, not H.264"}, // never read as an elementary stream
    };
    for (const auto& r : refusals) {
        try {
            openCompressedStream(r.file, r.codec, "clip.ivf");
            ADD_FAILURE() << "accepted: " << r.error;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), r.error);
        }
    }
}

} // namespace
} // namespace vidlane2
