#include "codec/FrameEncoder.h"

#include "Vidlane2.h"
#include "base/CheckCudaRuntime.h"
#include "base/CudaDriver.h"
#include "codec/EncoderSettings.h"
#include "codec/FrameLayout.h"
#include "codec/SessionFailure.h"
#include "kernels/FrameKernels.h"
#include "sessions/CudaEncodeSession.h"

#include <cuda_runtime_api.h>

#include <cstring>
#include <mutex>

namespace vidlane2 {

namespace {

// Sessions of all encoders are opened and closed one at a time.
std::mutex& encoderMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Bytes of one packed row of a scalar format.
std::uint32_t packedRowBytes(std::uint32_t format, std::uint32_t width)
{
    return frameSize(format, width, 1);
}

// Copies packets straight into the caller's buffer. One that does not fit
// marks the frame as overflowing; the rest of the frame is still collected
// (and dropped), so that the session stays in step.
class OutputBuffer final : public PacketSink {
public:
    OutputBuffer(void* dst, std::uint64_t size) : m_out(static_cast<std::uint8_t*>(dst)), m_size(size) {}

    void Take(const std::uint8_t* data, std::uint32_t size) override
    {
        if (m_overflow || size > m_size - m_written) {
            m_overflow = true;
            return;
        }
        if (size > 0)
            std::memcpy(m_out + m_written, data, size);
        m_written += size;
    }

    bool overflowed() const { return m_overflow; }
    std::uint64_t written() const { return m_written; }

private:
    std::uint8_t* m_out;
    std::uint64_t m_size;
    std::uint64_t m_written = 0;
    bool m_overflow = false;
};

cudaMemcpyKind copyKindFrom(const void* src)
{
    return isDevicePointer(src) ? cudaMemcpyDeviceToDevice : cudaMemcpyHostToDevice;
}

} // namespace

FrameEncoder::FrameEncoder(std::uint32_t format, std::uint32_t codec, std::uint32_t compression,
                           std::uint64_t bitrate, std::uint32_t targetFrameRate)
    : m_format(format), m_codec(codec), m_compression(compression), m_bitrate(bitrate),
      m_targetFrameRate(targetFrameRate)
{
    if (!isKnownFormat(format))
        throw Exception("Invalid Vidlane format " + std::to_string(format));
    checkEncoderCodec(codec);
    checkFormatAndCodec(format, codec);
    checkTargetFrameRate(targetFrameRate);
}

FrameEncoder::~FrameEncoder()
{
    try {
        closeSession();
    } catch (...) {
        // The stream is abandoned; its last packets have nowhere to go.
    }
}

void FrameEncoder::closeSession()
{
    if (!m_session)
        return;
    // The session is closed and gone afterwards even when ending its stream fails.
    std::unique_ptr<CudaEncodeSession> session = std::move(m_session);
    m_width = 0;
    m_height = 0;
    struct Shutdown {
        CudaEncodeSession& session;
        ~Shutdown() { session.Shutdown(); }
    } shutdown{*session};
    EncodedPackets discarded;
    session->EndEncode(discarded);
}

void FrameEncoder::recreate(std::uint32_t width, std::uint32_t height)
{
    std::lock_guard<std::mutex> lock(encoderMutex());
    if (width == m_width && height == m_height)
        return;

    // The size is stored only with a working session, so that a failure here
    // never makes a later call with the same size skip the re-creation.
    CheckCudaRuntime(cudaDeviceSynchronize(), "Failed to synchronize device");
    CUcontext context = nullptr;
    CudaDriver().Call(CudaDriver().cuCtxGetCurrent, &context);

    try {
        closeSession();
        auto session = std::make_unique<CudaEncodeSession>(context, width, height, encoderInputFormat(m_format), 0);
        NV_ENC_INITIALIZE_PARAMS params;
        NV_ENC_CONFIG config;
        prepareEncoderParams(params, config);
        session->CreateDefaultEncoderParams(&params, encoderCodecGuid(m_codec), encoderPresetGuid(m_compression),
                                            encoderTuning(m_compression));
        EncoderSettings settings;
        settings.format = m_format;
        settings.codec = m_codec;
        settings.compression = m_compression;
        settings.bitrate = m_bitrate;
        settings.targetFrameRate = m_targetFrameRate;
        settings.width = width;
        settings.height = height;
        applyEncoderSettings(settings, params, config);
        session->CreateEncoder(&params);

        m_session = std::move(session);
        m_width = width;
        m_height = height;
    } catch (const NVENCException& e) {
        throw encoderFailure("Failed to create encoder (", e);
    }
}

void FrameEncoder::checkFrame(void* dst, std::uint32_t width, std::uint32_t height) const
{
    checkFrameDimensions(m_format, width, height);
    if (!dst)
        throw Exception("Invalid output buffer: the pointer is null");
    if (isDevicePointer(dst))
        throw Exception("Invalid output buffer: it must be in host memory");
}

std::uint64_t FrameEncoder::encode(const void* src, std::uint64_t srcPitch, void* dst, std::uint64_t dstSize,
                                   std::uint32_t width, std::uint32_t height, bool forceIFrame, bool fromPBO)
{
    checkFrame(dst, width, height);
    if (!src)
        throw Exception("Invalid input frame: the pointer is null");
    if (srcPitch > UINT32_MAX)
        throw Exception("Invalid input pitch " + std::to_string(srcPitch) + ": it must be below 4 GiB");
    recreate(effectiveWidth(m_format, width), height);
    copyToInputSlot(src, srcPitch, width, height, fromPBO);
    return encodeFrame(dst, dstSize, forceIFrame, nullptr);
}

void FrameEncoder::copyToInputSlot(const void* src, std::uint64_t srcPitch, std::uint32_t width,
                                   std::uint32_t height, bool fromPBO)
{
    const InputSlot& slot = m_session->NextInputSlot();
    const std::uint32_t pitch = static_cast<std::uint32_t>(srcPitch);

    if (m_format == VIDLANE_RGBA32 || m_format == VIDLANE_R16G16B16A16 || m_format == VIDLANE_R16G16B16A16_HDR10) {
        const std::uint32_t rowBytes = width * 4;
        if (!fromPBO) {
            CheckCudaRuntime(cudaMemcpy2D(slot.devicePtr, slot.pitch, src, srcPitch, rowBytes, height,
                                          copyKindFrom(src)),
                             "Failed to copy input frame");
            return;
        }
        // One read of the buffer object, one write of the slot; the buffer stays untouched.
        CheckCudaRuntime(launchImageCopyFlipV(src, pitch, slot.devicePtr, slot.pitch, width, height),
                         "Failed to convert input frame");
        return;
    }

    const void* source = src;
    std::uint32_t sourcePitch = pitch;
    if (!isDevicePointer(src)) {
        const std::uint32_t rowBytes = packedRowBytes(m_format, width);
        ensureStagingBuffer(width, height);
        CheckCudaRuntime(cudaMemcpy2D(m_staging.data(), rowBytes, src, srcPitch, rowBytes, height,
                                      cudaMemcpyHostToDevice),
                         "Failed to copy input frame");
        source = m_staging.data();
        sourcePitch = rowBytes;
    }

    cudaError_t status = cudaSuccess;
    switch (m_format) {
    case VIDLANE_UINT4:
        status = launchUint4ToNv12(source, sourcePitch, slot.devicePtr, slot.pitch, width, height);
        break;
    case VIDLANE_UINT8:
        status = launchUint8ToNv12(source, sourcePitch, slot.devicePtr, slot.pitch, width, height);
        break;
    case VIDLANE_UINT16:
        status = launchUint16ToNv12(source, sourcePitch, slot.devicePtr, slot.pitch, width, height);
        break;
    case VIDLANE_UINT32:
        status = launchUint32ToNv12(source, sourcePitch, slot.devicePtr, slot.pitch, width, height);
        break;
    }
    CheckCudaRuntime(status, "Failed to convert input frame");
}

std::uint64_t FrameEncoder::encodeFrame(void* dst, std::uint64_t dstSize, bool forceIFrame,
                                        std::uint8_t* pictureType)
{
    if (!m_session)
        throw Exception("No encoder session: encode a frame of a real size first");
    OutputBuffer output(dst, dstSize);
    try {
        if (forceIFrame) {
            NV_ENC_PIC_PARAMS picParams;
            std::memset(&picParams, 0, sizeof picParams);
            picParams.encodePicFlags = NV_ENC_PIC_FLAG_FORCEIDR | NV_ENC_PIC_FLAG_OUTPUT_SPSPPS;
            m_session->EncodeFrame(output, &picParams, pictureType);
        } else {
            m_session->EncodeFrame(output, nullptr, pictureType);
        }
    } catch (const NVENCException& e) {
        throw encoderFailure("Encode failed (", e);
    }
    if (output.overflowed())
        throw Exception("Encode output buffer overflow");
    return output.written();
}

void FrameEncoder::setBitrate(std::uint64_t bitrate, std::uint32_t targetFrameRate)
{
    checkTargetFrameRate(targetFrameRate);
    if (!m_session)
        throw Exception("No encoder session to change the bitrate of: encode a frame first");

    NV_ENC_RECONFIGURE_PARAMS reconfigure;
    std::memset(&reconfigure, 0, sizeof reconfigure);
    reconfigure.version = nvenc::kReconfigureParamsVer;
    reconfigure.resetEncoder = 1;
    reconfigure.forceIDR = 1;
    NV_ENC_CONFIG config;
    std::memset(&config, 0, sizeof config);
    config.version = nvenc::kConfigVer;
    reconfigure.reInitEncodeParams.encodeConfig = &config;

    try {
        m_session->GetInitializeParams(&reconfigure.reInitEncodeParams);
        reconfigure.reInitEncodeParams.frameRateNum = targetFrameRate;
        reconfigure.reInitEncodeParams.frameRateDen = 1;
        // As creation sets them: the maximum and the one-frame VBV follow the
        // new rate too. Lossless has no bitrate.
        if (m_compression == VIDLANE_LOSSY)
            setRateControl(config.rcParams, bitrate, targetFrameRate);
        if (!m_session->Reconfigure(&reconfigure))
            throw Exception("Failed to change the bitrate: the encoder refused the new settings");
    } catch (const NVENCException& e) {
        throw encoderFailure("Failed to change the bitrate (", e);
    }
    m_bitrate = bitrate;
    m_targetFrameRate = targetFrameRate;
}

void FrameEncoder::ensureStagingBuffer(std::uint32_t width, std::uint32_t height)
{
    m_staging.ensure(frameSize(m_format, width, height));
}

} // namespace vidlane2
