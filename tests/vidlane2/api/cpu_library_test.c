/* The interface of Vidlane2-cpu-test.dll from a C program that links nothing
 * else: every export found by its plain name, an encode and a decode through
 * the fake drivers beside it, which the library loads by their Windows names,
 * and the error texts a caller reads. Prints "ok", or what went wrong. */
#include <Vidlane2.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

__declspec(dllimport) extern int32_t NvOptimusEnablementCuda;

static int failures = 0;

static void check(int condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

static void checkText(const char* text, const char* expected, const char* what)
{
    if (strcmp(text, expected) != 0) {
        fprintf(stderr, "failed: %s: \"%s\", expected \"%s\"\n", what, text, expected);
        ++failures;
    }
}

enum { kWidth = 64, kHeight = 32 };

int main(void)
{
    static const char* const names[] = {
        "Vidlane_CreateEncoder", "Vidlane_CreateDecoder", "Vidlane_Encode", "Vidlane_EncodePBO",
        "Vidlane_EncodeTexture", "Vidlane_Decode", "Vidlane_DecodePBO", "Vidlane_DecodeTexture",
        "Vidlane_SetBitrate", "Vidlane_GetError", "Vidlane_Destroy", "NvOptimusEnablementCuda"};
    HMODULE library = GetModuleHandleA("Vidlane2-cpu-test.dll");
    check(library != NULL, "the library is loaded under its file name");
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (!GetProcAddress(library, names[i])) {
            fprintf(stderr, "failed: no export %s\n", names[i]);
            ++failures;
        }
    const int32_t* optimus = (const int32_t*)(const void*)GetProcAddress(library, "NvOptimusEnablementCuda");
    check(optimus && *optimus == 1, "NvOptimusEnablementCuda is 1");
    check(NvOptimusEnablementCuda == 1, "NvOptimusEnablementCuda imported is 1");
    checkText(Vidlane_GetError(NULL), "", "no creation error yet");

    /* Nothing has loaded the encoder and decoder libraries yet. */
    check(GetModuleHandleA("nvEncodeAPI64.dll") == NULL, "NVENC not loaded before the first encoder");
    check(GetModuleHandleA("nvcuvid.dll") == NULL, "NVDEC not loaded before the first decoder");

    static unsigned char frame[kWidth * kHeight];
    unsigned char packet[64];
    CodecHandle* encoder = Vidlane_CreateEncoder(VIDLANE_UINT8, VIDLANE_H264, VIDLANE_LOSSY, 1000000, 30, kWidth,
                                                 kHeight);
    check(encoder != NULL, "encoder created on the fake drivers");
    if (encoder) {
        /* The fake NVENC's first packet: three bytes 0xA0. */
        uint64_t bytes = Vidlane_Encode(encoder, frame, kWidth, packet, sizeof packet, kWidth, kHeight, false);
        check(bytes == 3 && packet[0] == 0xA0 && packet[2] == 0xA0, "first packet");
        if (bytes == 0)
            fprintf(stderr, "encode: %s\n", Vidlane_GetError(encoder));
        check(Vidlane_Decode(encoder, packet, 3, frame, kWidth, kHeight) == 0, "decode on an encoder refused");
        checkText(Vidlane_GetError(encoder), "Invalid Vidlane decoder.", "decode on an encoder");
    }
    check(GetModuleHandleA("nvEncodeAPI64.dll") != NULL, "nvEncodeAPI64.dll loaded by the library");

    /* The fake parser's script: an H.264 sequence of the frame's size, then one picture shown. */
    static const char script[] = "SEQ 4 64 32 0 0 64 32 1 0 -1;FRAME 0;";
    static unsigned char rgba[kWidth * kHeight * 4];
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, kWidth, kHeight);
    check(decoder != NULL, "decoder created on the fake drivers");
    if (decoder) {
        uint64_t bytes = Vidlane_Decode(decoder, script, sizeof script - 1, rgba, kWidth, kHeight);
        check(bytes == sizeof rgba, "one RGBA frame decoded");
        if (bytes == 0)
            fprintf(stderr, "decode: %s\n", Vidlane_GetError(decoder));
        bool forceIFrame = true;
        check(Vidlane_Encode(decoder, frame, kWidth, packet, sizeof packet, kWidth, kHeight, forceIFrame) == 0,
              "encode on a decoder refused");
        checkText(Vidlane_GetError(decoder), "Invalid Vidlane encoder.", "encode on a decoder");
    }
    check(GetModuleHandleA("nvcuvid.dll") != NULL, "nvcuvid.dll loaded by the library");
    check(GetModuleHandleA("nvcuda.dll") != NULL, "nvcuda.dll loaded");

    check(Vidlane_CreateEncoder(7, VIDLANE_H264, VIDLANE_LOSSY, 1000000, 30, kWidth, kHeight) == NULL,
          "format 7 refused");
    checkText(Vidlane_GetError(NULL), "Invalid Vidlane format 7", "creation error");

    Vidlane_Destroy(encoder);
    Vidlane_Destroy(decoder);
    Vidlane_Destroy(NULL);
    if (failures)
        return 1;
    puts("ok");
    return 0;
}
