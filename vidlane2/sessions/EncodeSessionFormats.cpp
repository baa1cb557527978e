#include "sessions/EncodeSession.h"

#include "base/SessionExceptions.h"

namespace vidlane2 {

namespace {

[[noreturn]] void ThrowInvalidFormat(const char* operation)
{
    throw VIDLANE_NVENC_ERROR(operation, "Invalid Buffer format", NV_ENC_ERR_INVALID_PARAM);
}

bool IsPacked(NV_ENC_BUFFER_FORMAT format)
{
    switch (format) {
    case NV_ENC_BUFFER_FORMAT_ARGB:
    case NV_ENC_BUFFER_FORMAT_ARGB10:
    case NV_ENC_BUFFER_FORMAT_AYUV:
    case NV_ENC_BUFFER_FORMAT_ABGR:
    case NV_ENC_BUFFER_FORMAT_ABGR10:
        return true;
    default:
        return false;
    }
}

} // namespace

uint32_t EncodeSession::GetWidthInBytes(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t width)
{
    switch (bufferFormat) {
    case NV_ENC_BUFFER_FORMAT_NV12:
    case NV_ENC_BUFFER_FORMAT_YV12:
    case NV_ENC_BUFFER_FORMAT_IYUV:
    case NV_ENC_BUFFER_FORMAT_YUV444:
        return width;
    case NV_ENC_BUFFER_FORMAT_YUV420_10BIT:
    case NV_ENC_BUFFER_FORMAT_YUV444_10BIT:
        return width * 2;
    default:
        if (IsPacked(bufferFormat))
            return width * 4;
        ThrowInvalidFormat("EncodeSession::GetWidthInBytes");
    }
}

uint32_t EncodeSession::GetNumChromaPlanes(NV_ENC_BUFFER_FORMAT bufferFormat)
{
    switch (bufferFormat) {
    case NV_ENC_BUFFER_FORMAT_NV12:
    case NV_ENC_BUFFER_FORMAT_YUV420_10BIT:
        return 1;
    case NV_ENC_BUFFER_FORMAT_YV12:
    case NV_ENC_BUFFER_FORMAT_IYUV:
    case NV_ENC_BUFFER_FORMAT_YUV444:
    case NV_ENC_BUFFER_FORMAT_YUV444_10BIT:
        return 2;
    default:
        if (IsPacked(bufferFormat))
            return 0;
        ThrowInvalidFormat("EncodeSession::GetNumChromaPlanes");
    }
}

uint32_t EncodeSession::GetChromaPitch(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t lumaPitch)
{
    switch (bufferFormat) {
    case NV_ENC_BUFFER_FORMAT_NV12:
    case NV_ENC_BUFFER_FORMAT_YUV420_10BIT:
    case NV_ENC_BUFFER_FORMAT_YUV444:
    case NV_ENC_BUFFER_FORMAT_YUV444_10BIT:
        return lumaPitch;
    case NV_ENC_BUFFER_FORMAT_YV12:
    case NV_ENC_BUFFER_FORMAT_IYUV:
        return (lumaPitch + 1) / 2;
    default:
        if (IsPacked(bufferFormat))
            return 0;
        ThrowInvalidFormat("EncodeSession::GetChromaPitch");
    }
}

uint32_t EncodeSession::GetChromaHeight(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t lumaHeight)
{
    switch (bufferFormat) {
    case NV_ENC_BUFFER_FORMAT_NV12:
    case NV_ENC_BUFFER_FORMAT_YV12:
    case NV_ENC_BUFFER_FORMAT_IYUV:
    case NV_ENC_BUFFER_FORMAT_YUV420_10BIT:
        return (lumaHeight + 1) / 2;
    case NV_ENC_BUFFER_FORMAT_YUV444:
    case NV_ENC_BUFFER_FORMAT_YUV444_10BIT:
        return lumaHeight;
    default:
        if (IsPacked(bufferFormat))
            return 0;
        ThrowInvalidFormat("EncodeSession::GetChromaHeight");
    }
}

std::vector<uint32_t> EncodeSession::GetChromaSubPlaneOffsets(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t pitch,
                                                              uint32_t height)
{
    switch (bufferFormat) {
    case NV_ENC_BUFFER_FORMAT_NV12:
    case NV_ENC_BUFFER_FORMAT_YUV420_10BIT:
        return {pitch * height};
    case NV_ENC_BUFFER_FORMAT_YV12:
    case NV_ENC_BUFFER_FORMAT_IYUV: {
        const uint32_t chromaPlane = GetChromaPitch(bufferFormat, pitch) * GetChromaHeight(bufferFormat, height);
        return {pitch * height, pitch * height + chromaPlane};
    }
    case NV_ENC_BUFFER_FORMAT_YUV444:
    case NV_ENC_BUFFER_FORMAT_YUV444_10BIT:
        return {pitch * height, 2 * pitch * height};
    default:
        if (IsPacked(bufferFormat))
            return {};
        ThrowInvalidFormat("EncodeSession::GetChromaSubPlaneOffsets");
    }
}

} // namespace vidlane2
