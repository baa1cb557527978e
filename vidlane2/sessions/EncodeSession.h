#pragma once

#include "sessions/InputSlot.h"
#include "sessions/NvencApi.h"

#include <cstdint>
#include <vector>

namespace vidlane2 {

using EncodedPackets = std::vector<std::vector<uint8_t>>;

// Receives each packet while its bitstream buffer is locked: data is valid
// only during the call, which must not throw.
class PacketSink {
public:
    virtual void Take(const uint8_t* data, uint32_t size) = 0;

protected:
    ~PacketSink() = default;
};

// One NVENC encode session: the encoder library's function table, the
// hardware encoder and a fixed ring of input, output and event slots. Frame n
// uses slot n mod the ring size; packets come back in submission order.
class EncodeSession {
public:
    virtual ~EncodeSession();
    EncodeSession(const EncodeSession&) = delete;
    EncodeSession& operator=(const EncodeSession&) = delete;

    // Fills caller-owned parameters (whose encodeConfig points at a
    // caller-owned configuration) with the session's defaults for a codec,
    // preset and tuning.
    void CreateDefaultEncoderParams(NV_ENC_INITIALIZE_PARAMS* pInitializeParams, GUID codecGuid, GUID presetGuid,
                                    NV_ENC_TUNING_INFO tuningInfo);
    void CreateEncoder(const NV_ENC_INITIALIZE_PARAMS* pInitializeParams);

    // The slot the next EncodeFrame submits.
    const InputSlot& NextInputSlot() const;
    // picParams and pictureTypeOut may be null; pictureTypeOut receives the
    // picture type of the last packet collected and is untouched without one.
    // A frame whose packet cannot be collected is dropped: its slot is
    // released and counted, so the next frame encodes normally.
    void EncodeFrame(PacketSink& sink, const NV_ENC_PIC_PARAMS* picParams = nullptr,
                     uint8_t* pictureTypeOut = nullptr);
    void EndEncode(PacketSink& sink);
    // The same, collecting copies of the packets.
    void EncodeFrame(EncodedPackets& packets, const NV_ENC_PIC_PARAMS* picParams = nullptr,
                     uint8_t* pictureTypeOut = nullptr);
    void EndEncode(EncodedPackets& packets);

    void GetInitializeParams(NV_ENC_INITIALIZE_PARAMS* pInitializeParams) const;
    bool Reconfigure(const NV_ENC_RECONFIGURE_PARAMS* pReconfigureParams);

    void Shutdown();

    uint32_t GetEncodeWidth() const { return m_nEncodeWidth; }
    uint32_t GetEncodeHeight() const { return m_nEncodeHeight; }
    int32_t GetEncoderBufferCount() const { return m_nEncoderBuffer; }
    NV_ENC_BUFFER_FORMAT GetInputFormat() const { return m_eInputFormat; }

    // Memory layout of each input format.
    static uint32_t GetWidthInBytes(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t width);
    static uint32_t GetNumChromaPlanes(NV_ENC_BUFFER_FORMAT bufferFormat);
    static uint32_t GetChromaPitch(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t lumaPitch);
    static uint32_t GetChromaHeight(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t lumaHeight);
    static std::vector<uint32_t> GetChromaSubPlaneOffsets(NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t pitch,
                                                          uint32_t height);

protected:
    EncodeSession(void* pDevice, NV_ENC_DEVICE_TYPE eDeviceType, uint32_t nWidth, uint32_t nHeight,
                  NV_ENC_BUFFER_FORMAT eBufferFormat, uint32_t nExtraOutputDelay);

    virtual void AllocateInputBuffers(int32_t numInputBuffers) = 0;
    virtual void ReleaseInputs() = 0;

    bool IsHardwareSessionOpen() const { return m_hEncoder != nullptr; }
    bool IsInitialized() const { return m_bInitialized; }
    uint32_t GetLimitWidth() const { return m_nLimitWidth; }
    uint32_t GetLimitHeight() const { return m_nLimitHeight; }

    void RegisterResource(const std::vector<void*>& inputBuffers, uint32_t width, uint32_t height, uint32_t pitch,
                          NV_ENC_BUFFER_FORMAT bufferFormat);
    void ReleaseRegistrations();
    void ClearInputSlots() { m_vInputSlots.clear(); }
    void CloseHardwareSession();

private:
    void LoadNvEncApi();
    void InitializeBitstreamBuffer();
    void ReadPresetConfig(const char* operation, GUID codecGuid, GUID presetGuid, NV_ENC_TUNING_INFO tuningInfo,
                          NV_ENC_CONFIG& config);
    void CheckMinimumSize(GUID codecGuid, uint32_t width, uint32_t height);
    bool RingReady() const;
    void* CompletionEventFor(int32_t slot) const;
    void MapResources(int32_t slot);
    void SendEOS();
    void GetEncodedPacket(PacketSink& sink, bool bOutputDelay, uint8_t* pictureTypeOut);
    void CollectSlot(int32_t slot, PacketSink& sink, uint8_t* pictureTypeOut);
    NVENCSTATUS UnmapSlot(int32_t slot);
    void WaitForCompletionEvent(int32_t slot);
    void DrainQuietly();

    void* m_hEncoder = nullptr;
    NV_ENCODE_API_FUNCTION_LIST m_nvenc{};
    std::vector<InputSlot> m_vInputSlots;
    std::vector<NV_ENC_REGISTERED_PTR> m_vRegisteredInputs;
    std::vector<NV_ENC_INPUT_PTR> m_vMappedInputBuffers;
    std::vector<void*> m_vCompletionEvents;
    int32_t m_iSubmitted = 0;
    int32_t m_iGot = 0;
    int32_t m_nEncoderBuffer = 0;
    int32_t m_nPipelineDelay = 0;
    uint32_t m_nEncodeWidth = 0;
    uint32_t m_nEncodeHeight = 0;
    NV_ENC_BUFFER_FORMAT m_eInputFormat = NV_ENC_BUFFER_FORMAT_UNDEFINED;
    void* m_pEncodeDevice = nullptr;
    NV_ENC_DEVICE_TYPE m_eEncodeDeviceType = NV_ENC_DEVICE_TYPE_CUDA;
    NV_ENC_INITIALIZE_PARAMS m_initializeParams{};
    NV_ENC_CONFIG m_config{};
    bool m_bInitialized = false;
    uint32_t m_nExtraDelay = 0;
    std::vector<NV_ENC_OUTPUT_PTR> m_vBitstreamBuffers;
    uint32_t m_nLimitWidth = 0;
    uint32_t m_nLimitHeight = 0;
    void* m_hEncodeLibrary = nullptr;
};

} // namespace vidlane2
