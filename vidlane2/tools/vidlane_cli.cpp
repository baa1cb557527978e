// vidlane-cli: encodes raw frames into an H.264/HEVC elementary stream and
// decodes such a stream back into raw frames, through the public interface.
#include "AccessUnits.h"

#include <Vidlane2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string mode;
    uint32_t format = VIDLANE_RGBA32;
    uint32_t codec = VIDLANE_H264;
    uint32_t compression = VIDLANE_LOSSY;
    uint64_t bitrate = 8000000;
    uint32_t frameRate = 30;
    uint32_t width = 0;
    uint32_t height = 0;
    std::string input;
    std::string output;
};

const char* const kFormats[] = {"rgba32", "uint4", "uint8", "uint16", "uint32", "r16g16b16a16", "hdr10"};

int usage()
{
    std::fprintf(stderr,
                 "usage: vidlane-cli encode|decode --size WxH [--format F] [--codec h264|hevc]\n"
                 "                   [--lossless] [--bitrate BITS] [--fps N] INPUT OUTPUT\n"
                 "  encode: INPUT holds raw frames, OUTPUT receives the elementary stream\n"
                 "  decode: INPUT is an elementary stream, OUTPUT receives raw frames\n"
                 "  formats: rgba32 (default), uint4, uint8, uint16, uint32, r16g16b16a16, hdr10\n");
    return 2;
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
            if (!v || std::sscanf(v, "%ux%u", &o.width, &o.height) != 2)
                return false;
        } else if (arg == "--format") {
            const char* v = value();
            bool found = false;
            for (uint32_t f = 0; v && f < std::size(kFormats); ++f)
                if (std::strcmp(v, kFormats[f]) == 0) {
                    o.format = f;
                    found = true;
                }
            if (!found)
                return false;
        } else if (arg == "--codec") {
            const char* v = value();
            if (!v || (std::strcmp(v, "h264") != 0 && std::strcmp(v, "hevc") != 0))
                return false;
            o.codec = std::strcmp(v, "hevc") == 0 ? VIDLANE_HEVC : VIDLANE_H264;
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
    if (files.size() != 2 || (o.mode != "encode" && o.mode != "decode") || o.width == 0 || o.height == 0)
        return false;
    o.input = files[0];
    o.output = files[1];
    return true;
}

// Bytes of one frame and of one row in memory.
uint64_t frameBytes(uint32_t format, uint64_t width, uint64_t height)
{
    const uint64_t halfBytes[] = {8, 1, 2, 4, 8, 8, 16};
    return width * height * halfBytes[format] / 2;
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

int encode(const Options& o)
{
    bool ok = false;
    const std::vector<uint8_t> frames = readFile(o.input, ok);
    const uint64_t size = frameBytes(o.format, o.width, o.height);
    if (!ok || size == 0 || frames.size() % size != 0) {
        std::fprintf(stderr, "vidlane-cli: %s does not hold whole frames of %llu bytes\n", o.input.c_str(),
                     static_cast<unsigned long long>(size));
        return 1;
    }
    CodecHandle* encoder =
        Vidlane_CreateEncoder(o.format, o.codec, o.compression, o.bitrate, o.frameRate, o.width, o.height);
    if (!encoder)
        return fail("creating the encoder", nullptr);
    std::ofstream out(o.output, std::ios::binary);
    std::vector<uint8_t> packet(size + (1u << 20)); // room for a lossless picture and its headers
    const uint64_t pitch = size / o.height;
    int status = 0;
    for (uint64_t offset = 0; offset < frames.size(); offset += size) {
        const uint64_t written = Vidlane_Encode(encoder, frames.data() + offset, pitch, packet.data(), packet.size(),
                                                o.width, o.height, offset == 0);
        if (written == 0) {
            status = fail("encoding", encoder);
            break;
        }
        out.write(reinterpret_cast<const char*>(packet.data()), static_cast<std::streamsize>(written));
    }
    Vidlane_Destroy(encoder);
    return status;
}

int decode(const Options& o)
{
    bool ok = false;
    const std::vector<uint8_t> stream = readFile(o.input, ok);
    if (!ok) {
        std::fprintf(stderr, "vidlane-cli: cannot read %s\n", o.input.c_str());
        return 1;
    }
    CodecHandle* decoder = Vidlane_CreateDecoder(o.format, o.codec, o.width, o.height);
    if (!decoder)
        return fail("creating the decoder", nullptr);
    std::ofstream out(o.output, std::ios::binary);
    std::vector<uint8_t> frame(frameBytes(o.format, o.width, o.height));
    int status = 0;
    for (const auto& unit : vidlane2::splitAccessUnits(stream.data(), stream.size(), o.codec == VIDLANE_HEVC)) {
        const uint64_t size =
            Vidlane_Decode(decoder, stream.data() + unit.offset, unit.size, frame.data(), o.width, o.height);
        if (size == 0) {
            status = fail("decoding", decoder);
            break;
        }
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(size));
    }
    Vidlane_Destroy(decoder);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options))
        return usage();
    return options.mode == "encode" ? encode(options) : decode(options);
}
