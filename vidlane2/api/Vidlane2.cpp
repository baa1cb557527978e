// The exported interface: thin wrappers that check the handle, call its
// encoder or decoder and turn every failure into a 0 result and an error text.
#include "Vidlane2.h"

#include "api/CodecHandle.h"
#include "api/CreationError.h"
#include "base/Exception.h"

#include <exception>
#include <new>

// Asks hybrid-graphics drivers to run the process on the discrete GPU.
extern "C" {
VIDLANE2_API int32_t NvOptimusEnablementCuda = 1;
}

namespace {

constexpr const char* kInvalidEncoder = "Invalid Vidlane encoder.";
constexpr const char* kInvalidDecoder = "Invalid Vidlane decoder.";

// Runs body and returns its result; a failure leaves its text in error and
// yields a value-initialised result. Nothing escapes.
template <typename Body>
auto guarded(std::string& error, Body body) -> decltype(body())
{
    using Result = decltype(body());
    try {
        return body();
    } catch (const std::exception& e) {
        try {
            error = e.what();
        } catch (...) {
        }
    } catch (...) {
        error = "Unknown failure inside Vidlane2";
    }
    return Result();
}

// A handle of the wrong kind keeps the text; a null one has nowhere to keep it
// but the text that Vidlane_GetError(NULL) returns.
bool refused(CodecHandle* handle, bool usable, const char* text)
{
    if (usable)
        return false;
    try {
        if (handle)
            handle->error = text;
        else
            vidlane2::setCreationError(text);
    } catch (...) {
    }
    return true;
}

bool refusedAsEncoder(CodecHandle* handle)
{
    return refused(handle, handle && handle->encoder, kInvalidEncoder);
}

bool refusedAsDecoder(CodecHandle* handle)
{
    return refused(handle, handle && handle->decoder, kInvalidDecoder);
}

template <typename Build>
CodecHandle* create(Build build)
{
    std::string error;
    CodecHandle* handle = guarded(error, [&]() -> CodecHandle* {
        auto created = std::make_unique<CodecHandle>();
        build(*created);
        return created.release();
    });
    if (!handle) {
        try {
            vidlane2::setCreationError(error);
        } catch (...) {
        }
    }
    return handle;
}

} // namespace

extern "C" {

CodecHandle* Vidlane_CreateEncoder(Vidlane_Format format, Vidlane_Codec codec, Vidlane_Compression compression,
                                   uint64_t bitrate, uint32_t targetFrameRate, uint32_t width, uint32_t height)
{
    return create([&](CodecHandle& handle) {
        handle.encoder = std::make_unique<vidlane2::FrameEncoder>(format, codec, compression, bitrate, targetFrameRate);
        handle.encoder->recreate(width, height);
    });
}

CodecHandle* Vidlane_CreateDecoder(Vidlane_Format format, Vidlane_Codec codec, uint32_t width, uint32_t height)
{
    return create([&](CodecHandle& handle) {
        handle.decoder = std::make_unique<vidlane2::FrameDecoder>(format, codec);
        handle.decoder->recreate(width, height);
    });
}

uint64_t Vidlane_Encode(CodecHandle* handle, const void* src, uint64_t srcPitch, void* dst, uint64_t dstSize,
                        uint32_t width, uint32_t height, bool forceIFrame)
{
    if (refusedAsEncoder(handle))
        return 0;
    return guarded(handle->error, [&] {
        return handle->encoder->encode(src, srcPitch, dst, dstSize, width, height, forceIFrame, false);
    });
}

uint64_t Vidlane_EncodePBO(CodecHandle* handle, uint32_t pbo, void* dst, uint64_t dstSize, uint32_t width,
                           uint32_t height, bool forceIFrame)
{
    if (refusedAsEncoder(handle))
        return 0;
    return guarded(handle->error,
                   [&] { return handle->encoder->encodePBO(pbo, dst, dstSize, width, height, forceIFrame); });
}

uint64_t Vidlane_EncodeTexture(CodecHandle* handle, uint32_t texture, uint32_t target, void* dst, uint64_t dstSize,
                               uint32_t width, uint32_t height, uint32_t textureWidth, uint32_t textureHeight,
                               bool forceIFrame, uint8_t* pictureType, bool flipVertical)
{
    if (refusedAsEncoder(handle))
        return 0;
    return guarded(handle->error, [&] {
        return handle->encoder->encodeTexture(texture, target, dst, dstSize, width, height, textureWidth,
                                              textureHeight, forceIFrame, pictureType, flipVertical);
    });
}

void Vidlane_SetBitrate(CodecHandle* handle, uint64_t bitrate, uint32_t targetFrameRate)
{
    if (refusedAsEncoder(handle))
        return;
    guarded(handle->error, [&] {
        handle->encoder->setBitrate(bitrate, targetFrameRate);
        return true;
    });
}

uint64_t Vidlane_Decode(CodecHandle* handle, const void* src, uint64_t srcSize, void* dst, uint32_t width,
                        uint32_t height)
{
    if (refusedAsDecoder(handle))
        return 0;
    return guarded(handle->error, [&] { return handle->decoder->decode(src, srcSize, dst, width, height); });
}

uint64_t Vidlane_DecodePBO(CodecHandle* handle, const void* src, uint64_t srcSize, uint32_t pbo, uint32_t width,
                           uint32_t height)
{
    if (refusedAsDecoder(handle))
        return 0;
    return guarded(handle->error, [&] { return handle->decoder->decodePBO(src, srcSize, pbo, width, height); });
}

uint64_t Vidlane_DecodeTexture(CodecHandle* handle, const void* src, uint64_t srcSize, uint32_t texture,
                               uint32_t target, uint32_t width, uint32_t height)
{
    if (refusedAsDecoder(handle))
        return 0;
    return guarded(handle->error, [&] {
        return handle->decoder->decodeTexture(src, srcSize, texture, target, width, height);
    });
}

const char* Vidlane_GetError(CodecHandle* handle)
{
    return handle ? handle->error.c_str() : vidlane2::creationError();
}

void Vidlane_Destroy(CodecHandle* handle)
{
    delete handle;
}

} // extern "C"
