// vidlane-cli: encodes raw frames into an H.264/HEVC elementary stream and
// decodes such a stream, or an AV1/VP9 IVF file, back into raw frames, through
// the public interface.
#include "CompressedStream.h"
#include "RunReport.h"
#include "Terminal.h"

#include <Vidlane2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// How the library's text for a call that hands out no picture begins.
const char* const kNoFrame = "No frame decoded";

struct Options {
    std::string mode;
    uint32_t format = VIDLANE_RGBA32;
    std::optional<uint32_t> codec; // found from the input where it is read, else H.264
    uint32_t compression = VIDLANE_LOSSY;
    uint64_t bitrate = 8000000;
    uint32_t frameRate = 30;
    uint32_t width = 0;
    uint32_t height = 0;
    std::string input;
    std::string output;
};

const char* const kFormats[] = {"rgba32", "uint4", "uint8", "uint16", "uint32", "r16g16b16a16", "hdr10"};
const char* const kCodecs[] = {"h264", "hevc", "av1", "vp9"}; // by Vidlane_Codec value

int usage()
{
    std::fprintf(stderr,
                 "usage: vidlane-cli encode --size WxH [--format F] [--codec h264|hevc] [--lossless]\n"
                 "                          [--bitrate BITS] [--fps N] INPUT OUTPUT\n"
                 "       vidlane-cli decode [--size WxH] [--format F] [--codec C] INPUT OUTPUT\n"
                 "       vidlane-cli probe [--codec C] INPUT\n"
                 "  encode: INPUT holds raw frames, OUTPUT receives the elementary stream\n"
                 "  decode: INPUT is an H.264/HEVC elementary stream or an AV1/VP9 IVF file,\n"
                 "          OUTPUT receives raw frames; the size comes from the stream unless given\n"
                 "  probe:  prints the codec and the picture size that the stream gives\n"
                 "  codecs: h264 (default), hevc, av1, vp9 (av1 and vp9 decode only); decode and\n"
                 "          probe find the codec in the input unless it is given\n"
                 "  formats: rgba32 (default), uint4, uint8, uint16, uint32, r16g16b16a16, hdr10\n"
                 "           (hdr10 frames are packed 10:10:10:2 words, 4 bytes a pixel)\n");
    return 2;
}

// Looks value up in names; false if it is none of them.
template <std::size_t N>
bool lookUp(const char* value, const char* const (&names)[N], uint32_t& index)
{
    for (uint32_t i = 0; value && i < N; ++i)
        if (std::strcmp(value, names[i]) == 0) {
            index = i;
            return true;
        }
    return false;
}

bool parse(int argc, char** argv, Options& o)
{
    if (argc < 2)
        return false;
    o.mode = argv[1];
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--size") {
            const char* v = value();
            if (!v || std::sscanf(v, "%ux%u", &o.width, &o.height) != 2 || o.width == 0 || o.height == 0)
                return false;
        } else if (arg == "--format") {
            if (!lookUp(value(), kFormats, o.format))
                return false;
        } else if (arg == "--codec") {
            uint32_t codec = 0;
            if (!lookUp(value(), kCodecs, codec))
                return false;
            o.codec = codec;
        } else if (arg == "--lossless") {
            o.compression = VIDLANE_LOSSLESS;
        } else if (arg == "--bitrate") {
            const char* v = value();
            if (!v)
                return false;
            o.bitrate = std::strtoull(v, nullptr, 10);
        } else if (arg == "--fps") {
            const char* v = value();
            if (!v)
                return false;
            o.frameRate = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        } else {
            files.push_back(arg);
        }
    }
    const bool sized = o.width != 0;
    const std::size_t fileCount = o.mode == "probe" ? 1 : 2;
    if (files.size() != fileCount || (o.mode != "encode" && o.mode != "decode" && o.mode != "probe") ||
        (o.mode == "encode" && !sized))
        return false;
    o.input = files[0];
    o.output = fileCount == 2 ? files[1] : std::string();
    return true;
}

// Bytes of one frame in memory, as the encoder reads it.
uint64_t frameBytes(uint32_t format, uint64_t width, uint64_t height)
{
    const uint64_t halfBytes[] = {8, 1, 2, 4, 8, 8, 16};
    return width * height * halfBytes[format] / 2;
}

// Bytes that one decode call writes: format 6 decodes to one packed word a pixel.
uint64_t decodedBytes(uint32_t format, uint64_t width, uint64_t height)
{
    return format == VIDLANE_R16G16B16A16_HDR10 ? width * height * 4 : frameBytes(format, width, height);
}

std::vector<uint8_t> readFile(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int fail(const char* what, CodecHandle* handle)
{
    std::fprintf(stderr, "vidlane-cli: %s failed: %s\n", what, Vidlane_GetError(handle));
    return 1;
}

bool onTerminal()
{
    return vidlane2::StderrIsTerminal();
}

// Reads and splits the input; on failure says why and returns false.
bool openInput(const Options& o, std::vector<uint8_t>& bytes, vidlane2::CompressedStream& stream)
{
    bool ok = false;
    bytes = readFile(o.input, ok);
    if (!ok) {
        std::fprintf(stderr, "vidlane-cli: cannot read %s\n", o.input.c_str());
        return false;
    }
    try {
        stream = vidlane2::openCompressedStream(bytes, o.codec, o.input);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "vidlane-cli: %s: %s\n", o.input.c_str(), e.what());
        return false;
    }
    if (stream.width == 0 && (o.mode == "probe" || o.width == 0)) {
        const bool ivf = stream.codec == VIDLANE_AV1 || stream.codec == VIDLANE_VP9;
        std::fprintf(stderr, "vidlane-cli: %s: %s, so the picture size is unknown; give it with --size WxH\n",
                     o.input.c_str(),
                     ivf ? "its IVF header gives no picture size"
                         : "no sequence parameter set that can be read (none, cut short or malformed)");
        return false;
    }
    return true;
}

int probe(const Options& o)
{
    std::vector<uint8_t> bytes;
    vidlane2::CompressedStream stream;
    if (!openInput(o, bytes, stream))
        return 1;
    std::printf("%s %ux%u, %zu pictures\n", kCodecs[stream.codec], stream.width, stream.height, stream.pictures.size());
    return 0;
}

int encode(const Options& o)
{
    const uint32_t codec = o.codec.value_or(VIDLANE_H264);
    if (codec == VIDLANE_AV1 || codec == VIDLANE_VP9) {
        std::fprintf(stderr, "vidlane-cli: encode takes h264 or hevc; the encoder has no %s\n", kCodecs[codec]);
        return 2;
    }
    bool ok = false;
    const std::vector<uint8_t> frames = readFile(o.input, ok);
    const uint64_t size = frameBytes(o.format, o.width, o.height);
    if (!ok || size == 0 || frames.size() % size != 0) {
        std::fprintf(stderr, "vidlane-cli: %s does not hold whole frames of %llu bytes\n", o.input.c_str(),
                     static_cast<unsigned long long>(size));
        return 1;
    }
    vidlane2::RunReport report("encoded", onTerminal());
    CodecHandle* encoder =
        Vidlane_CreateEncoder(o.format, codec, o.compression, o.bitrate, o.frameRate, o.width, o.height);
    if (!encoder) {
        fail("creating the encoder", nullptr);
        report.finish();
        return 1;
    }
    std::ofstream out(o.output, std::ios::binary);
    std::vector<uint8_t> packet(size + (1u << 20)); // room for a lossless picture and its headers
    const uint64_t pitch = size / o.height;
    int status = 0;
    for (uint64_t offset = 0; offset < frames.size(); offset += size) {
        const uint64_t written = Vidlane_Encode(encoder, frames.data() + offset, pitch, packet.data(), packet.size(),
                                                o.width, o.height, offset == 0);
        if (written == 0) {
            report.clearProgress();
            status = fail("encoding", encoder);
            break;
        }
        out.write(reinterpret_cast<const char*>(packet.data()), static_cast<std::streamsize>(written));
        report.addFrame(written);
    }
    Vidlane_Destroy(encoder);
    report.finish();
    return status;
}

int decode(const Options& o)
{
    std::vector<uint8_t> bytes;
    vidlane2::CompressedStream stream;
    if (!openInput(o, bytes, stream))
        return 1;
    const uint32_t width = o.width != 0 ? o.width : stream.width;
    const uint32_t height = o.width != 0 ? o.height : stream.height;
    vidlane2::RunReport report("decoded", onTerminal());
    CodecHandle* decoder = Vidlane_CreateDecoder(o.format, stream.codec, width, height);
    if (!decoder) {
        fail("creating the decoder", nullptr);
        report.finish();
        return 1;
    }
    std::ofstream out(o.output, std::ios::binary);
    std::vector<uint8_t> frame(decodedBytes(o.format, width, height));
    // Every packet, then the end of the stream (a null packet) until no picture
    // is left. A packet that shows no picture yet is no failure: with B-frames
    // its picture comes with a later packet or with the flush.
    int status = 0;
    std::size_t frames = 0;
    const auto decodeOne = [&](const uint8_t* packet, uint64_t packetSize) {
        const uint64_t size = Vidlane_Decode(decoder, packet, packetSize, frame.data(), width, height);
        if (size == 0) {
            if (std::strncmp(Vidlane_GetError(decoder), kNoFrame, std::strlen(kNoFrame)) != 0) {
                report.clearProgress();
                status = fail("decoding", decoder);
            }
            return false;
        }
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(size));
        report.addFrame(size);
        ++frames;
        return true;
    };
    for (const vidlane2::ByteRange& picture : stream.pictures) {
        decodeOne(bytes.data() + picture.offset, picture.size);
        if (status != 0)
            break;
    }
    while (status == 0 && decodeOne(nullptr, 0)) {
    }
    // Every call may have held its picture back without failing; the run failed all the same.
    if (status == 0 && frames == 0) {
        report.clearProgress();
        std::fprintf(stderr, "vidlane-cli: %s: no picture came out of its %zu packets\n", o.input.c_str(),
                     stream.pictures.size());
        status = 1;
    }
    Vidlane_Destroy(decoder);
    report.finish();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options))
        return usage();
    if (options.mode == "probe")
        return probe(options);
    return options.mode == "encode" ? encode(options) : decode(options);
}
