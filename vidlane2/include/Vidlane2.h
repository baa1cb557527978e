/* Vidlane2: H.264/HEVC encoding on NVENC and H.264/HEVC/AV1/VP9 decoding on NVDEC, for frames in
 * host memory, CUDA device memory, OpenGL textures and pixel-buffer objects.
 *
 * Encoding needs an NVIDIA driver that serves NVENC API 11.1: Linux 470.57.02 or
 * later, Windows 471.41 or later.
 *
 * Every call that can fail returns 0 (or a null handle) and leaves a text for
 * Vidlane_GetError. A handle must be used by one thread at a time, in the CUDA
 * context that was current when it was created. */
#ifndef VIDLANE2_H
#define VIDLANE2_H

#include <stdbool.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(VIDLANE2_BUILDING_LIBRARY)
#    define VIDLANE2_API __declspec(dllexport)
#  else
#    define VIDLANE2_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define VIDLANE2_API __attribute__((visibility("default")))
#else
#  define VIDLANE2_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The object behind every handle; opaque to callers. */
typedef struct CodecHandle CodecHandle;

/* Pixel formats, passed as 32-bit unsigned values. */
typedef uint32_t Vidlane_Format;
enum {
    VIDLANE_RGBA32 = 0,              /* 8-bit RGBA, 4 bytes a pixel */
    VIDLANE_UINT4 = 1,               /* 4-bit scalars, two a byte (high nibble first) */
    VIDLANE_UINT8 = 2,               /* 8-bit scalars */
    VIDLANE_UINT16 = 3,              /* 16-bit scalars, little-endian */
    VIDLANE_UINT32 = 4,              /* 32-bit scalars, little-endian */
    VIDLANE_R16G16B16A16 = 5,        /* half-float RGBA textures; 8-bit RGBA in memory */
    VIDLANE_R16G16B16A16_HDR10 = 6   /* half-float RGBA textures to 10-bit HEVC Main10;
                                        packed 10:10:10:2 words in memory (R in the low
                                        bits), 4 bytes a pixel, also when decoding */
};

typedef uint32_t Vidlane_Codec;
enum {
    VIDLANE_H264 = 0,
    VIDLANE_HEVC = 1,
    VIDLANE_AV1 = 2,    /* decoding only */
    VIDLANE_VP9 = 3     /* decoding only */
};

typedef uint32_t Vidlane_Compression;
enum {
    VIDLANE_LOSSY = 0,    /* constant bitrate */
    VIDLANE_LOSSLESS = 1
};

/* Encoders (H.264 and HEVC; AV1 and VP9 are refused). A size of 0 x 0 opens the
 * hardware session at the first encode.
 * Only the low 32 bits of bitrate (bits per second) take effect. */
VIDLANE2_API CodecHandle* Vidlane_CreateEncoder(Vidlane_Format format, Vidlane_Codec codec,
                                                Vidlane_Compression compression, uint64_t bitrate,
                                                uint32_t targetFrameRate, uint32_t width, uint32_t height);

/* Encodes one frame from host or device memory into dst; returns the bytes written.
 * A host frame of the scalar formats must be tightly packed. */
VIDLANE2_API uint64_t Vidlane_Encode(CodecHandle* handle, const void* src, uint64_t srcPitch, void* dst,
                                     uint64_t dstSize, uint32_t width, uint32_t height, bool forceIFrame);

/* Encodes the pixel-buffer object pbo (rows bottom-up, as OpenGL reads them). */
VIDLANE2_API uint64_t Vidlane_EncodePBO(CodecHandle* handle, uint32_t pbo, void* dst, uint64_t dstSize,
                                        uint32_t width, uint32_t height, bool forceIFrame);

/* Encodes the first width x height texels of an OpenGL texture. pictureType, if
 * not null, receives the NV_ENC_PIC_TYPE of the frame's last packet. */
VIDLANE2_API uint64_t Vidlane_EncodeTexture(CodecHandle* handle, uint32_t texture, uint32_t target, void* dst,
                                            uint64_t dstSize, uint32_t width, uint32_t height,
                                            uint32_t textureWidth, uint32_t textureHeight, bool forceIFrame,
                                            uint8_t* pictureType, bool flipVertical);

/* Changes the bitrate and frame rate of the running session; the next picture is an IDR picture. */
VIDLANE2_API void Vidlane_SetBitrate(CodecHandle* handle, uint64_t bitrate, uint32_t targetFrameRate);

/* Decoders. A size of 0 x 0 opens the hardware session at the first decode. */
VIDLANE2_API CodecHandle* Vidlane_CreateDecoder(Vidlane_Format format, Vidlane_Codec codec, uint32_t width,
                                                uint32_t height);

/* Decodes one complete compressed picture (for AV1 one temporal unit, for VP9 one
 * frame or superframe) into host or device memory; returns the bytes written:
 * the frame's size, except for VIDLANE_R16G16B16A16_HDR10, which writes
 * width x height x 4 bytes of packed 10:10:10:2 words. The colours follow the
 * stream's matrix and range (BT.709 limited range where it signals none).
 * 10-bit streams decode into VIDLANE_RGBA32, VIDLANE_R16G16B16A16 (8-bit RGBA)
 * and VIDLANE_R16G16B16A16_HDR10; the scalar formats take 8-bit streams only.
 *
 * Pictures in another order than decoded (H.264 and HEVC streams whose
 * sequence parameter set allows reordering, as B-frames do): each packet is
 * fed to the decoder once, the pictures it shows wait in display order, and
 * each call hands out the oldest; a call that finds none waiting fails with the
 * no-frame text and the handle stays usable. Other streams give the newest
 * picture of their packet, as ever.
 *
 * End of stream: a null src with a srcSize of 0 flushes. The first such call
 * tells the decoder that the stream has ended; each call hands out the next
 * waiting picture, then the no-frame text once none is left. The next packet
 * starts a new stream: pictures of the old one still waiting are dropped. So
 * are waiting pictures when a call brings another size, which they cannot be
 * written at. The same holds for Vidlane_DecodePBO and Vidlane_DecodeTexture. */
VIDLANE2_API uint64_t Vidlane_Decode(CodecHandle* handle, const void* src, uint64_t srcSize, void* dst,
                                     uint32_t width, uint32_t height);

/* Decodes into a pixel-buffer object of at least width x height x 4 bytes (VIDLANE_RGBA32 only). */
VIDLANE2_API uint64_t Vidlane_DecodePBO(CodecHandle* handle, const void* src, uint64_t srcSize, uint32_t pbo,
                                        uint32_t width, uint32_t height);

/* Decodes into an 8-bit RGBA texture of at least width x height texels (VIDLANE_RGBA32 only). */
VIDLANE2_API uint64_t Vidlane_DecodeTexture(CodecHandle* handle, const void* src, uint64_t srcSize,
                                            uint32_t texture, uint32_t target, uint32_t width, uint32_t height);

/* The last failure on handle, or with a null handle the last failed create or
 * call made with a null handle. Never null; valid until that text changes or
 * the handle is destroyed. */
VIDLANE2_API const char* Vidlane_GetError(CodecHandle* handle);

/* Destroys a handle; null is ignored. */
VIDLANE2_API void Vidlane_Destroy(CodecHandle* handle);

#ifdef __cplusplus
}
#endif

#endif /* VIDLANE2_H */
