#pragma once

#include "codec/FrameDecoder.h"
#include "codec/FrameEncoder.h"

#include <memory>
#include <string>

// The object behind every handle: an encoder or a decoder, and the text of the
// last failure on it (never cleared by a successful call).
struct CodecHandle {
    std::unique_ptr<vidlane2::FrameEncoder> encoder;
    std::unique_ptr<vidlane2::FrameDecoder> decoder;
    std::string error;

    ~CodecHandle()
    {
        // The decoder goes before the encoder.
        decoder.reset();
        encoder.reset();
    }
};
