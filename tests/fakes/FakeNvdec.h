#pragma once

// Control side of the fake NVDEC library (libnvcuvid.so.1). Decode surfaces
// live in host memory, as the fake CUDA driver's device memory does.
//
// The fake parser reads packets as text records separated by ';':
//   SEQ codec codedWidth codedHeight left top right bottom chroma depthMinus8 [chromaDepthMinus8
//       [minSurfaces fullRange matrix primaries transfer]]
//   PIC index       decode a picture into surface index
//   VP9PIC index colourSpace   a PIC whose VP9 parameters carry colourSpace
//   AV1PIC index applyGrain    a PIC whose AV1 parameters carry apply_grain
//   OPPOINT count   ask for the AV1 operating point among count (-1 without a callback)
//   OUT index       display surface index
//   FRAME index     PIC then OUT
// Unknown records are skipped, as a parser skips bytes that start no unit; a
// known record with missing numbers makes the call fail with
// CUDA_ERROR_INVALID_VALUE. End of stream displays every picture not yet
// shown, in decode order. A callback that fails stops the packet.
#include <ffnvcodec/dynlink_cuda.h>
#include <ffnvcodec/dynlink_nvcuvid.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fake_nvdec {

struct MapRequest {
    int pictureIndex;
    CUVIDPROCPARAMS params;
};

// The file name under which the system's loader opened this fake.
std::string LibraryFile();

void Reset();
void FailCall(const std::string& entry, int status, int skip = 0);
void ClearFailures();
CUVIDDECODECAPS& Caps(); // the answer to every capability query
void SetDecodeStatus(int pictureIndex, cuvidDecodeStatus status);

std::vector<std::string> Calls();
size_t CountCalls(const std::string& entry);
const std::vector<CUVIDPARSERPARAMS>& ParserParams();
const std::vector<CUVIDDECODECAPS>& CapsQueries();
const std::vector<CUVIDDECODECREATEINFO>& CreatedDecoders();
const std::vector<CUVIDRECONFIGUREDECODERINFO>& Reconfigurations();
const std::vector<int>& DecodedPictures(); // CurrPicIdx of every decode call
const std::vector<CUVIDPICPARAMS>& DecodedPictureParams(); // as the driver got them
const std::vector<int>& OperatingPointResults();
const std::vector<MapRequest>& MapRequests();
const std::vector<int>& SequenceResults(); // what the sequence callback returned
// Flags and timestamp of every packet given to the parser (payload not kept).
const std::vector<CUVIDSOURCEDATAPACKET>& Packets();

size_t LiveParsers();
size_t LiveDecoders();
size_t LiveLocks();
size_t LiveMappings();

// Byte of a decoded picture before NVDEC crops its display area and scales
// that into the decoder's target: row counts across the coded picture's
// planes from its top (a chroma plane starts at row codedHeight × plane),
// column counts bytes; decodeNumber counts decode calls since Reset.
uint8_t PictureByte(int decodeNumber, size_t row, size_t column);
size_t SurfacePitch(); // of the current decoder's surfaces, from its target width

// Record builders for the scripted parser.
std::string Seq(cudaVideoCodec codec, unsigned codedWidth, unsigned codedHeight, int left, int top, int right,
                int bottom, cudaVideoChromaFormat chroma = cudaVideoChromaFormat_420, int depthMinus8 = 0,
                int chromaDepthMinus8 = -1);
// What a sequence header carries beyond its size: the parser's surface request
// and the video signal description (all zero: none).
struct SeqSignal {
    int minSurfaces = 0;
    int fullRange = 0;
    int matrix = 0;
    int primaries = 0;
    int transfer = 0;
};
std::string Seq(cudaVideoCodec codec, unsigned codedWidth, unsigned codedHeight, int depthMinus8,
                const SeqSignal& signal);
std::string Vp9Pic(int index, int colourSpace);
std::string Av1Pic(int index, int applyGrain);
std::string OperatingPoint(int count);
std::string Pic(int index);
std::string Out(int index);
std::string Frame(int index);

} // namespace fake_nvdec
