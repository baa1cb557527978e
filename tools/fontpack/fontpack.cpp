// fontpack: compresses a font file into Dear ImGui's compressed-font stream (the
// stb compressor's format), for AddFontFromMemoryCompressedTTF.
//   fontpack <font file> <output file>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" unsigned int stb_compress(unsigned char* out, unsigned char* in, unsigned int length);

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fontpack <font file> <output file>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> font;
    if (in) {
        font.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (font.empty()) {
        std::fprintf(stderr, "fontpack: cannot read %s\n", argv[1]);
        return 1;
    }
    // The compressor's worst case grows the input by a quarter plus its header.
    std::vector<unsigned char> packed(font.size() + font.size() / 4 + 512);
    const unsigned int size = stb_compress(packed.data(), font.data(), static_cast<unsigned int>(font.size()));
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(packed.data()), size);
    if (!out) {
        std::fprintf(stderr, "fontpack: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
