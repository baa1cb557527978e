#include "codec/FrameDecoder.h"

#include "Vidlane2.h"
#include "base/CheckCudaRuntime.h"
#include "base/CudaDriver.h"
#include "bitstream/StreamSequence.h"
#include "codec/ColourConversion.h"
#include "codec/FrameLayout.h"
#include "codec/SessionFailure.h"
#include "codec/StreamColour.h"
#include "kernels/FrameKernels.h"
#include "kernels/StreamColourKernels.h"
#include "sessions/DecodeSession.h"

#include <cuda_runtime_api.h>

#include <climits>
#include <mutex>
#include <string>

namespace vidlane2 {

namespace {

// Sessions of all decoders are opened and closed one at a time; apart from the encoders' lock.
std::mutex& decoderMutex()
{
    static std::mutex mutex;
    return mutex;
}

constexpr int kFeedings = 3;

const char* const kNoFrame = "No frame decoded (Decoder expects encoded bitstream for a single complete frame. "
                             "Accumulating partial data or combining multiple frames is not supported.)";

// BT.709 limited range, the original rule, whose matrix lives in constant memory.
const YuvToRgbMatrix kBt709 = computeYuvToRgbMatrix();

// Bytes of one of the session's tightly packed frames.
std::uint64_t sessionFrameBytes(const DecodeSession& session)
{
    return static_cast<std::uint64_t>(session.FramePitch()) *
           (session.GetLumaRows() + std::uint64_t{session.GetChromaRows()} * session.GetChromaPlanes());
}

std::string sizeText(std::uint32_t width, std::uint32_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

// Unknown values stay H.264, as before there were more codecs.
cudaVideoCodec nvdecCodec(std::uint32_t codec)
{
    switch (codec) {
    case VIDLANE_HEVC: return cudaVideoCodec_HEVC;
    case VIDLANE_AV1: return cudaVideoCodec_AV1;
    case VIDLANE_VP9: return cudaVideoCodec_VP9;
    default: return cudaVideoCodec_H264;
    }
}

bool isScalarFormat(std::uint32_t format)
{
    return format == VIDLANE_UINT4 || format == VIDLANE_UINT8 || format == VIDLANE_UINT16 || format == VIDLANE_UINT32;
}

// What a decode writes: format 6 gives packed 10:10:10:2 words, 4 bytes a pixel,
// not the 8 of its half-float frames.
std::uint32_t decodedSize(std::uint32_t format, std::uint32_t width, std::uint32_t height)
{
    return format == VIDLANE_R16G16B16A16_HDR10 ? width * height * 4 : frameSize(format, width, height);
}

} // namespace

FrameDecoder::FrameDecoder(std::uint32_t format, std::uint32_t codec) : m_format(format), m_codec(codec)
{
    if (!isKnownFormat(format))
        throw Exception("Invalid Vidlane format " + std::to_string(format));
}

FrameDecoder::~FrameDecoder() = default;

void FrameDecoder::recreate(std::uint32_t width, std::uint32_t height)
{
    std::lock_guard<std::mutex> lock(decoderMutex());
    if (width == m_width && height == m_height)
        return;
    openSession(width, height);
}

// A new session starts a new stream: what waited for the old one is dropped.
// The size is stored only with a working session, so that a failure here never
// makes a later call with the same size skip the re-creation.
void FrameDecoder::openSession(std::uint32_t width, std::uint32_t height)
{
    CheckCudaRuntime(cudaDeviceSynchronize(), "Failed to synchronize device");
    CUcontext context = nullptr;
    CudaDriver().Call(CudaDriver().cuCtxGetCurrent, &context);

    m_waiting.clear();
    m_reorders.reset();
    m_ended = false;
    try {
        m_session.reset();
        m_width = 0;
        m_height = 0;
        m_session = std::make_unique<DecodeSession>(context, nvdecCodec(m_codec));
        m_width = width;
        m_height = height;
    } catch (const NVDECException& e) {
        throw decoderFailure("Failed to create decoder (", e);
    }
}

const std::uint8_t* FrameDecoder::decodeFrame(const void* src, std::uint64_t srcSize)
{
    if (!m_session)
        throw Exception("No decoder session: decode a picture of a real size first");
    if (src) {
        if (m_ended) {
            // The first packet after a flush: a new stream, in a new session.
            std::lock_guard<std::mutex> lock(decoderMutex());
            openSession(m_width, m_height);
        }
        noteSequence(src, srcSize);
        if (!m_reorders.value_or(false) && m_waiting.empty())
            return newestOfFeedings(src, srcSize);
        feedOnce(src, srcSize);
    } else if (!m_ended) {
        feedOnce(nullptr, 0); // the end of the stream: the session shows what it holds
        m_ended = true;
    }

    // A picture of an earlier sequence of another size cannot be handed out as this one.
    const std::uint64_t frameBytes = sessionFrameBytes(*m_session);
    std::uint64_t bytes = 0;
    for (const std::uint8_t* picture = m_waiting.take(bytes); picture; picture = m_waiting.take(bytes))
        if (bytes == frameBytes)
            return picture;
    throw Exception(kNoFrame);
}

// One feeding of the session, with the next picture count as its timestamp;
// frames[0, count) are the pictures it shows.
int FrameDecoder::feed(const void* src, std::uint64_t srcSize, std::uint8_t**& frames)
{
    int count = 0;
    try {
        m_session->Decode(static_cast<const std::uint8_t*>(src), static_cast<int>(srcSize), &frames, &count,
                          src ? CUVID_PKT_ENDOFPICTURE : 0, nullptr, static_cast<std::int64_t>(m_pictureCounter++),
                          nullptr);
    } catch (const NVDECException& e) {
        throw decoderFailure("Decode failed (", e);
    }
    return frames ? count : 0;
}

// A stream in display order: the packet is fed until it shows a picture, at
// most three times, and the newest one shown is handed out.
const std::uint8_t* FrameDecoder::newestOfFeedings(const void* src, std::uint64_t srcSize)
{
    std::uint8_t** frames = nullptr;
    int count = 0;
    for (int feeding = 0; feeding < kFeedings && count == 0; ++feeding)
        count = feed(src, srcSize, frames);
    if (count > 0)
        return frames[count - 1];
    throw Exception(kNoFrame);
}

// A reordering stream, or its end: the packet is fed once, and every picture
// it shows joins the queue.
void FrameDecoder::feedOnce(const void* src, std::uint64_t srcSize)
{
    std::uint8_t** frames = nullptr;
    const int count = feed(src, srcSize, frames);
    const std::uint64_t frameBytes = sessionFrameBytes(*m_session);
    for (int i = 0; i < count; ++i)
        m_waiting.push(frames[i], frameBytes);
}

// H.264 and HEVC tell in their sequence parameter sets whether pictures may be
// shown out of decoding order; AV1 temporal units and VP9 superframes show one
// picture each, in order.
void FrameDecoder::noteSequence(const void* src, std::uint64_t srcSize)
{
    if (m_codec == VIDLANE_AV1 || m_codec == VIDLANE_VP9)
        return;
    const auto sequence =
        readPacketSequence(static_cast<const std::uint8_t*>(src), static_cast<std::size_t>(srcSize),
                           m_codec == VIDLANE_HEVC);
    if (sequence)
        m_reorders = sequence->reorders;
}

void FrameDecoder::checkPacket(const void* src, std::uint64_t srcSize, std::uint32_t width,
                               std::uint32_t height) const
{
    checkFrameDimensions(m_format, width, height);
    if (!src && srcSize == 0)
        return; // a flush
    if (!src || srcSize == 0)
        throw Exception("Invalid compressed picture: the pointer is null or the size is 0");
    if (srcSize > static_cast<std::uint64_t>(INT_MAX))
        throw Exception("Invalid compressed picture: " + std::to_string(srcSize) + " bytes is more than one picture");
}

void FrameDecoder::checkDecodedLayout(std::uint32_t width, std::uint32_t height) const
{
    // The conversions read the caller's size out of the session's frame: it
    // must be exactly that size, 8- or 10-bit, with its chroma plane where NV12 has it.
    const std::uint32_t sessionWidth = effectiveWidth(m_format, width);
    if (m_session->GetWidth() != sessionWidth || m_session->GetLumaRows() != height)
        throw Exception("Decoded picture is " + sizeText(m_session->GetWidth(), m_session->GetLumaRows()) +
                        ", the call expects " + sizeText(sessionWidth, height));
    const int depth = m_session->GetBitDepth();
    if ((depth != 8 && depth != 10) || m_session->GetChromaPlanes() != 1 ||
        m_session->GetChromaRows() != (height + 1) / 2)
        throw Exception("Decoded picture is not 8- or 10-bit 4:2:0: only such streams can be decoded");
    if (depth != 8 && isScalarFormat(m_format))
        throw Exception("Decoded picture is 10-bit: the scalar formats (UINT4, UINT8, UINT16, UINT32) take 8-bit "
                        "streams only");
}

std::uint64_t FrameDecoder::decode(const void* src, std::uint64_t srcSize, void* dst, std::uint32_t width,
                                   std::uint32_t height)
{
    checkPacket(src, srcSize, width, height);
    if (!dst)
        throw Exception("Invalid output buffer: the pointer is null");
    recreate(effectiveWidth(m_format, width), height);
    const std::uint8_t* frame = decodeFrame(src, srcSize);
    checkDecodedLayout(width, height);

    const std::uint32_t size = decodedSize(m_format, width, height);
    const MemoryKind kind = memoryKindOf(dst);
    const bool toDevice = kind != MemoryKind::Host;
    if (!toDevice)
        ensureStagingBuffer(width, height);
    std::uint8_t* target = toDevice ? static_cast<std::uint8_t*>(dst) : m_staging.data();
    convert(frame, target, width, height);
    if (!toDevice)
        CheckCudaRuntime(cudaMemcpy(dst, target, size, cudaMemcpyDeviceToHost), "Failed to copy output to host memory");
    // The host may read managed memory as soon as the call returns, so the
    // conversion must have run by then.
    if (kind == MemoryKind::Managed)
        CheckCudaRuntime(cudaStreamSynchronize(nullptr), "Failed to finish the frame in managed memory");
    return size;
}

void FrameDecoder::convert(const std::uint8_t* frame, std::uint8_t* target, std::uint32_t width,
                           std::uint32_t height)
{
    const std::uint32_t pitch = m_session->FramePitch();
    cudaError_t status = cudaSuccess;
    switch (m_format) {
    case VIDLANE_RGBA32:
    case VIDLANE_R16G16B16A16: // any stream, delivered as 8-bit RGBA
    case VIDLANE_R16G16B16A16_HDR10:
        status = convertToRgb(frame, target, width, height);
        break;
    case VIDLANE_UINT4:
        status = launchNv12ToUint4(frame, pitch, target, width / 2, width, height);
        break;
    case VIDLANE_UINT8:
        status = launchNv12ToUint8(frame, pitch, target, width, width, height);
        break;
    case VIDLANE_UINT16:
        status = launchNv12ToUint16(frame, pitch, target, width * 2, width, height);
        break;
    case VIDLANE_UINT32:
        status = launchNv12ToUint32(frame, pitch, target, width * 4, width, height);
        break;
    }
    CheckCudaRuntime(status, "Failed to convert decoded frame");
}

// 8-bit BT.709 limited range keeps the original kernel; every other stream
// takes the stream colour kernels with its own matrix and depth.
cudaError_t FrameDecoder::convertToRgb(const std::uint8_t* frame, std::uint8_t* target, std::uint32_t width,
                                       std::uint32_t height)
{
    const int pitch = static_cast<int>(m_session->FramePitch());
    const int depth = m_session->GetBitDepth();
    const ColourSpace space = streamColourSpace(m_session->GetVideoFormat(), m_session->GetVp9ColourSpace());
    const int w = static_cast<int>(width), h = static_cast<int>(height), rowBytes = static_cast<int>(width * 4);
    if (m_format == VIDLANE_R16G16B16A16_HDR10)
        return ConvertYuvToAbgr10(frame, pitch, depth, yuvToRgb(space, depth, OutputScale::Ten), target, rowBytes, w,
                                  h);
    if (depth == 8 && space == kBt709Limited)
        return static_cast<cudaError_t>(convertNv12ToRgba(kBt709, frame, pitch, target, rowBytes, w, h));
    return ConvertYuvToRgba8(frame, pitch, depth, yuvToRgb(space, depth, OutputScale::Eight), target, rowBytes, w, h);
}

void FrameDecoder::ensureStagingBuffer(std::uint32_t width, std::uint32_t height)
{
    m_staging.ensure(decodedSize(m_format, width, height));
}

} // namespace vidlane2
