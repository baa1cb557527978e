#pragma once

#include <ffnvcodec/nvEncodeAPI.h>

#include <cstdint>

namespace vidlane2 {

// One input buffer of the encode session; the encoder object writes a picture
// into it (luma plane first) before submitting the frame.
struct InputSlot {
    void* devicePtr = nullptr;
    uint32_t chromaPlaneOffsets[2] = {0, 0};
    uint32_t chromaPlaneCount = 0;
    uint32_t pitch = 0;
    uint32_t chromaPitch = 0;
    NV_ENC_BUFFER_FORMAT bufferFormat = NV_ENC_BUFFER_FORMAT_UNDEFINED;
    NV_ENC_INPUT_RESOURCE_TYPE resourceType = NV_ENC_INPUT_RESOURCE_TYPE_CUDADEVICEPTR;
};

} // namespace vidlane2
