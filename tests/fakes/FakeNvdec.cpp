// An NVDEC stand-in for tests with a scripted parser (see FakeNvdec.h).
#include "FakeNvdec.h"
#include "FakeCalls.h"
#include "FakePlatform.h"
#include "FakeCuda.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace {

constexpr CUresult kSuccess = static_cast<CUresult>(0);
constexpr CUresult kInvalidValue = static_cast<CUresult>(1);
constexpr CUresult kInvalidContext = static_cast<CUresult>(201);
constexpr CUresult kNotSupported = static_cast<CUresult>(801);
constexpr CUresult kUnknown = static_cast<CUresult>(999);

struct Parser {
    CUVIDPARSERPARAMS params;
    std::deque<int> pending; // decoded, not yet displayed, in decode order
    std::map<int, int64_t> timestamps;
};

// The rectangle a decoder crops, and the target it scales that into.
struct Output {
    int left, top, right, bottom;
    unsigned width, height;
};

struct Decoder {
    CUVIDDECODECREATEINFO info;
    Output output;
    size_t pitch;
    std::map<int, std::vector<uint8_t>> surfaces;
};

CUVIDDECODECAPS DefaultCaps();

// A process that never calls Reset meets a working driver too.
struct State {
    fake::CallRecorder recorder;
    CUVIDDECODECAPS caps = DefaultCaps();
    std::map<int, cuvidDecodeStatus> statuses;
    std::vector<CUVIDPARSERPARAMS> parserParams;
    std::vector<CUVIDDECODECAPS> capsQueries;
    std::vector<CUVIDDECODECREATEINFO> created;
    std::vector<CUVIDRECONFIGUREDECODERINFO> reconfigurations;
    std::vector<int> decoded;
    std::vector<CUVIDPICPARAMS> decodedParams;
    std::vector<int> operatingPoints;
    std::vector<fake_nvdec::MapRequest> maps;
    std::vector<int> sequenceResults;
    std::vector<CUVIDSOURCEDATAPACKET> packets;
    std::set<Parser*> parsers;
    std::set<Decoder*> decoders;
    std::set<void*> locks;
    std::set<unsigned long long> mapped;
    int decodeCount = 0;
    size_t lastPitch = 0;
};

State& state()
{
    static State s;
    return s;
}

CUresult Enter(const char* name)
{
    return static_cast<CUresult>(state().recorder.Enter(name));
}

CUVIDDECODECAPS DefaultCaps()
{
    CUVIDDECODECAPS caps{};
    caps.bIsSupported = 1;
    caps.nMaxWidth = 8192;
    caps.nMaxHeight = 8192;
    caps.nMaxMBCount = 8192 / 16 * 8192 / 16;
    // Below every stream the tests use; a test about the check sets its own.
    caps.nMinWidth = 16;
    caps.nMinHeight = 8;
    return caps;
}

size_t BytesPerSample(const CUVIDDECODECREATEINFO& info)
{
    return info.bitDepthMinus8 ? 2 : 1;
}

bool ReadInts(std::istringstream& in, std::vector<long long>& values, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        long long value;
        if (!(in >> value))
            return false;
        values.push_back(value);
    }
    return true;
}

// Like the driver: an empty display area is the whole coded picture, any
// other must lie inside it, and the target's sides must be even.
template <typename Area>
bool OutputOf(const Area& area, unsigned codedWidth, unsigned codedHeight, unsigned targetWidth,
              unsigned targetHeight, Output& output)
{
    output = {area.left, area.top, area.right, area.bottom, targetWidth, targetHeight};
    if (!area.left && !area.top && !area.right && !area.bottom) {
        output.right = static_cast<int>(codedWidth);
        output.bottom = static_cast<int>(codedHeight);
    }
    const bool inside = output.left >= 0 && output.top >= 0 && output.left < output.right &&
                        output.top < output.bottom && output.right <= static_cast<int>(codedWidth) &&
                        output.bottom <= static_cast<int>(codedHeight);
    return inside && targetWidth && targetHeight && targetWidth % 2 == 0 && targetHeight % 2 == 0;
}

size_t PitchFor(const CUVIDDECODECREATEINFO& info, unsigned targetWidth)
{
    return (targetWidth * BytesPerSample(info) + 255) / 256 * 256;
}

// Crops the display area out of the coded picture and scales it into the
// target (nearest sample), plane by plane; the picture's bytes are
// PictureByte, rows counted across the coded picture's planes.
void RenderSurface(const Decoder& d, int number, std::vector<uint8_t>& surface)
{
    const Output& o = d.output;
    const size_t sample = BytesPerSample(d.info);
    const bool subsampled = d.info.ChromaFormat == cudaVideoChromaFormat_420;
    const size_t planes = subsampled ? 2 : 3;
    const size_t codedRows = d.info.ulHeight;
    // Room for three full planes covers every chroma layout; what no plane
    // fills stays a value no picture byte pattern singles out.
    surface.assign(d.pitch * o.height * 3, 0xEE);
    auto sourceX = [&](size_t x) { return o.left + x * static_cast<size_t>(o.right - o.left) / o.width; };
    auto sourceY = [&](size_t y) { return o.top + y * static_cast<size_t>(o.bottom - o.top) / o.height; };
    for (size_t plane = 0; plane < planes; ++plane) {
        const bool chroma = plane > 0;
        const size_t rows = chroma && subsampled ? o.height / 2 : o.height;
        for (size_t y = 0; y < rows; ++y) {
            const size_t codedY = chroma && subsampled ? sourceY(2 * y) / 2 : sourceY(y);
            const size_t codedRow = plane * codedRows + codedY;
            uint8_t* row = surface.data() + (plane * o.height + y) * d.pitch;
            for (size_t column = 0; column < o.width * sample; ++column) {
                size_t codedColumn;
                if (chroma && subsampled) {
                    const size_t pair = column / (2 * sample), byte = column % (2 * sample);
                    codedColumn = sourceX(2 * pair) / 2 * 2 * sample + byte;
                } else {
                    codedColumn = sourceX(column / sample) * sample + column % sample;
                }
                row[column] = fake_nvdec::PictureByte(number, codedRow, codedColumn);
            }
        }
    }
}

// Runs one record; returns false when a callback failed.
bool Display(Parser& parser, int index)
{
    CUVIDPARSERDISPINFO info{};
    info.picture_index = index;
    info.progressive_frame = 1;
    auto ts = parser.timestamps.find(index);
    info.timestamp = ts == parser.timestamps.end() ? 0 : ts->second;
    parser.pending.erase(std::remove(parser.pending.begin(), parser.pending.end(), index), parser.pending.end());
    return parser.params.pfnDisplayPicture(parser.params.pUserData, &info) != 0;
}

bool Decode(Parser& parser, int index, int64_t timestamp, CUVIDPICPARAMS pic = {})
{
    pic.CurrPicIdx = index;
    parser.timestamps[index] = timestamp;
    parser.pending.push_back(index);
    return parser.params.pfnDecodePicture(parser.params.pUserData, &pic) != 0;
}

bool Sequence(Parser& parser, const std::vector<long long>& v)
{
    CUVIDEOFORMAT format{};
    format.codec = static_cast<cudaVideoCodec>(v[0]);
    format.progressive_sequence = 1;
    format.coded_width = static_cast<unsigned>(v[1]);
    format.coded_height = static_cast<unsigned>(v[2]);
    format.display_area.left = static_cast<int>(v[3]);
    format.display_area.top = static_cast<int>(v[4]);
    format.display_area.right = static_cast<int>(v[5]);
    format.display_area.bottom = static_cast<int>(v[6]);
    format.chroma_format = static_cast<cudaVideoChromaFormat>(v[7]);
    format.bit_depth_luma_minus8 = static_cast<unsigned char>(v[8]);
    format.bit_depth_chroma_minus8 = static_cast<unsigned char>(v.size() > 9 && v[9] >= 0 ? v[9] : v[8]);
    if (v.size() > 14) {
        format.min_num_decode_surfaces = static_cast<unsigned char>(v[10]);
        format.video_signal_description.video_full_range_flag = static_cast<unsigned char>(v[11] & 1);
        format.video_signal_description.matrix_coefficients = static_cast<unsigned char>(v[12]);
        format.video_signal_description.color_primaries = static_cast<unsigned char>(v[13]);
        format.video_signal_description.transfer_characteristics = static_cast<unsigned char>(v[14]);
    }
    const int result = parser.params.pfnSequenceCallback(parser.params.pUserData, &format);
    state().sequenceResults.push_back(result);
    return result != 0;
}

// Like the driver, destruction needs a current context; without one the
// object stays alive.
bool NoContextCurrent()
{
    return fake_cuda::CurrentContext() == nullptr;
}

} // namespace

namespace fake_nvdec {

std::string LibraryFile() { return fake::LibraryFileName(reinterpret_cast<const void*>(&state)); }

void Reset()
{
    State& s = state();
    s.recorder.Reset();
    s.caps = DefaultCaps();
    s.statuses.clear();
    s.parserParams.clear();
    s.capsQueries.clear();
    s.created.clear();
    s.reconfigurations.clear();
    s.decoded.clear();
    s.decodedParams.clear();
    s.operatingPoints.clear();
    s.maps.clear();
    s.sequenceResults.clear();
    s.packets.clear();
    s.mapped.clear();
    s.decodeCount = 0;
}

void FailCall(const std::string& entry, int status, int skip) { state().recorder.Fail(entry, status, skip); }
void ClearFailures() { state().recorder.ClearFailures(); }
CUVIDDECODECAPS& Caps() { return state().caps; }
void SetDecodeStatus(int pictureIndex, cuvidDecodeStatus status) { state().statuses[pictureIndex] = status; }
std::vector<std::string> Calls() { return state().recorder.Calls(); }
size_t CountCalls(const std::string& entry)
{
    const auto& calls = Calls();
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), entry));
}
const std::vector<CUVIDPARSERPARAMS>& ParserParams() { return state().parserParams; }
const std::vector<CUVIDDECODECAPS>& CapsQueries() { return state().capsQueries; }
const std::vector<CUVIDDECODECREATEINFO>& CreatedDecoders() { return state().created; }
const std::vector<CUVIDRECONFIGUREDECODERINFO>& Reconfigurations() { return state().reconfigurations; }
const std::vector<int>& DecodedPictures() { return state().decoded; }
const std::vector<CUVIDPICPARAMS>& DecodedPictureParams() { return state().decodedParams; }
const std::vector<int>& OperatingPointResults() { return state().operatingPoints; }
const std::vector<MapRequest>& MapRequests() { return state().maps; }
const std::vector<int>& SequenceResults() { return state().sequenceResults; }
const std::vector<CUVIDSOURCEDATAPACKET>& Packets() { return state().packets; }
size_t LiveParsers() { return state().parsers.size(); }
size_t LiveDecoders() { return state().decoders.size(); }
size_t LiveLocks() { return state().locks.size(); }
size_t LiveMappings() { return state().mapped.size(); }
size_t SurfacePitch() { return state().lastPitch; }

uint8_t PictureByte(int decodeNumber, size_t row, size_t column)
{
    return static_cast<uint8_t>(decodeNumber * 37 + row * 7 + column);
}

std::string Seq(cudaVideoCodec codec, unsigned codedWidth, unsigned codedHeight, int left, int top, int right,
                int bottom, cudaVideoChromaFormat chroma, int depthMinus8, int chromaDepthMinus8)
{
    std::ostringstream out;
    out << "SEQ " << static_cast<int>(codec) << ' ' << codedWidth << ' ' << codedHeight << ' ' << left << ' '
        << top << ' ' << right << ' ' << bottom << ' ' << static_cast<int>(chroma) << ' ' << depthMinus8 << ' '
        << chromaDepthMinus8 << ';';
    return out.str();
}

std::string Seq(cudaVideoCodec codec, unsigned codedWidth, unsigned codedHeight, int depthMinus8,
                const SeqSignal& signal)
{
    std::string record = Seq(codec, codedWidth, codedHeight, 0, 0, static_cast<int>(codedWidth),
                             static_cast<int>(codedHeight), cudaVideoChromaFormat_420, depthMinus8);
    record.pop_back();
    std::ostringstream out;
    out << record << ' ' << signal.minSurfaces << ' ' << signal.fullRange << ' ' << signal.matrix << ' '
        << signal.primaries << ' ' << signal.transfer << ';';
    return out.str();
}

std::string Vp9Pic(int index, int colourSpace)
{
    return "VP9PIC " + std::to_string(index) + ' ' + std::to_string(colourSpace) + ';';
}
std::string Av1Pic(int index, int applyGrain)
{
    return "AV1PIC " + std::to_string(index) + ' ' + std::to_string(applyGrain) + ';';
}
std::string OperatingPoint(int count) { return "OPPOINT " + std::to_string(count) + ';'; }
std::string Pic(int index) { return "PIC " + std::to_string(index) + ';'; }
std::string Out(int index) { return "OUT " + std::to_string(index) + ';'; }
std::string Frame(int index) { return "FRAME " + std::to_string(index) + ';'; }

} // namespace fake_nvdec

extern "C" {

CUresult cuvidCtxLockCreate(CUvideoctxlock* lock, CUcontext)
{
    if (CUresult r = Enter("cuvidCtxLockCreate"))
        return r;
    *lock = reinterpret_cast<CUvideoctxlock>(new int(0));
    state().locks.insert(*lock);
    return kSuccess;
}

CUresult cuvidCtxLockDestroy(CUvideoctxlock lock)
{
    if (CUresult r = Enter("cuvidCtxLockDestroy"))
        return r;
    if (!state().locks.erase(lock))
        return kInvalidValue;
    delete reinterpret_cast<int*>(lock);
    return kSuccess;
}

CUresult cuvidCreateVideoParser(CUvideoparser* parser, CUVIDPARSERPARAMS* params)
{
    if (CUresult r = Enter("cuvidCreateVideoParser"))
        return r;
    state().parserParams.push_back(*params);
    auto* created = new Parser{*params, {}, {}};
    state().parsers.insert(created);
    *parser = created;
    return kSuccess;
}

CUresult cuvidDestroyVideoParser(CUvideoparser parser)
{
    if (CUresult r = Enter("cuvidDestroyVideoParser"))
        return r;
    if (NoContextCurrent())
        return kInvalidContext;
    auto* p = static_cast<Parser*>(parser);
    if (!state().parsers.erase(p))
        return kInvalidValue;
    delete p;
    return kSuccess;
}

CUresult cuvidParseVideoData(CUvideoparser handle, CUVIDSOURCEDATAPACKET* packet)
{
    if (CUresult r = Enter("cuvidParseVideoData"))
        return r;
    auto* parser = static_cast<Parser*>(handle);
    CUVIDSOURCEDATAPACKET recorded = *packet;
    recorded.payload = nullptr;
    state().packets.push_back(recorded);
    if (!state().parsers.count(parser))
        return kInvalidValue;
    const std::string payload = packet->payload && packet->payload_size
                                    ? std::string(reinterpret_cast<const char*>(packet->payload), packet->payload_size)
                                    : std::string();
    std::istringstream records(payload);
    std::string record;
    while (std::getline(records, record, ';')) {
        std::istringstream in(record);
        std::string word;
        if (!(in >> word))
            continue;
        std::vector<long long> v;
        bool ok = true;
        if (word == "SEQ") {
            if (!ReadInts(in, v, 9))
                return kInvalidValue;
            long long extra;
            while (v.size() < 15 && in >> extra)
                v.push_back(extra);
            ok = Sequence(*parser, v);
        } else if (word == "VP9PIC" || word == "AV1PIC") {
            if (!ReadInts(in, v, 2))
                return kInvalidValue;
            CUVIDPICPARAMS pic{};
            if (word == "VP9PIC")
                pic.CodecSpecific.vp9.colorSpace = static_cast<unsigned char>(v[1]);
            else
                pic.CodecSpecific.av1.apply_grain = static_cast<unsigned short>(v[1] & 1);
            ok = Decode(*parser, static_cast<int>(v[0]), packet->timestamp, pic);
        } else if (word == "OPPOINT") {
            if (!ReadInts(in, v, 1))
                return kInvalidValue;
            CUVIDOPERATINGPOINTINFO info{};
            info.codec = cudaVideoCodec_AV1;
            info.av1.operating_points_cnt = static_cast<unsigned char>(v[0]);
            for (long long i = 0; i < v[0] && i < 32; ++i)
                info.av1.operating_points_idc[i] = static_cast<unsigned short>(0x101 << i % 8);
            state().operatingPoints.push_back(parser->params.pfnGetOperatingPoint
                                                  ? parser->params.pfnGetOperatingPoint(parser->params.pUserData, &info)
                                                  : -1);
        } else if (word == "PIC" || word == "OUT" || word == "FRAME") {
            if (!ReadInts(in, v, 1))
                return kInvalidValue;
            const int index = static_cast<int>(v[0]);
            if (word != "OUT")
                ok = Decode(*parser, index, packet->timestamp);
            if (ok && word != "PIC")
                ok = Display(*parser, index);
        }
        if (!ok)
            return kUnknown;
    }
    if (packet->flags & CUVID_PKT_ENDOFSTREAM) {
        while (!parser->pending.empty())
            if (!Display(*parser, parser->pending.front()))
                return kUnknown;
    }
    return kSuccess;
}

CUresult cuvidGetDecoderCaps(CUVIDDECODECAPS* caps)
{
    if (CUresult r = Enter("cuvidGetDecoderCaps"))
        return r;
    state().capsQueries.push_back(*caps);
    CUVIDDECODECAPS answer = state().caps;
    answer.eCodecType = caps->eCodecType;
    answer.eChromaFormat = caps->eChromaFormat;
    answer.nBitDepthMinus8 = caps->nBitDepthMinus8;
    *caps = answer;
    return kSuccess;
}

CUresult cuvidCreateDecoder(CUvideodecoder* decoder, CUVIDDECODECREATEINFO* info)
{
    if (CUresult r = Enter("cuvidCreateDecoder"))
        return r;
    state().created.push_back(*info);
    // The hardware refuses pictures below its minimum.
    if (info->ulWidth < state().caps.nMinWidth || info->ulHeight < state().caps.nMinHeight)
        return kNotSupported;
    Output output{};
    if (!OutputOf(info->display_area, static_cast<unsigned>(info->ulWidth), static_cast<unsigned>(info->ulHeight),
                  static_cast<unsigned>(info->ulTargetWidth), static_cast<unsigned>(info->ulTargetHeight), output))
        return kInvalidValue;
    const size_t pitch = PitchFor(*info, output.width);
    auto* created = new Decoder{*info, output, pitch, {}};
    state().decoders.insert(created);
    state().lastPitch = pitch;
    *decoder = created;
    return kSuccess;
}

CUresult cuvidDestroyDecoder(CUvideodecoder decoder)
{
    if (CUresult r = Enter("cuvidDestroyDecoder"))
        return r;
    if (NoContextCurrent())
        return kInvalidContext;
    auto* d = static_cast<Decoder*>(decoder);
    if (!state().decoders.erase(d))
        return kInvalidValue;
    delete d;
    return kSuccess;
}

CUresult cuvidReconfigureDecoder(CUvideodecoder decoder, CUVIDRECONFIGUREDECODERINFO* info)
{
    if (CUresult r = Enter("cuvidReconfigureDecoder"))
        return r;
    auto* d = static_cast<Decoder*>(decoder);
    if (!state().decoders.count(d))
        return kInvalidValue;
    state().reconfigurations.push_back(*info);
    if (info->ulWidth > d->info.ulMaxWidth || info->ulHeight > d->info.ulMaxHeight)
        return kInvalidValue;
    Output output{};
    if (!OutputOf(info->display_area, info->ulWidth, info->ulHeight, info->ulTargetWidth, info->ulTargetHeight,
                  output))
        return kInvalidValue;
    d->info.ulWidth = info->ulWidth;
    d->info.ulHeight = info->ulHeight;
    d->output = output;
    d->pitch = PitchFor(d->info, output.width);
    state().lastPitch = d->pitch;
    return kSuccess;
}

CUresult cuvidDecodePicture(CUvideodecoder decoder, CUVIDPICPARAMS* pic)
{
    if (CUresult r = Enter("cuvidDecodePicture"))
        return r;
    auto* d = static_cast<Decoder*>(decoder);
    if (!state().decoders.count(d))
        return kInvalidValue;
    state().decoded.push_back(pic->CurrPicIdx);
    state().decodedParams.push_back(*pic);
    const int number = state().decodeCount++;
    if (pic->CurrPicIdx < 0 || static_cast<unsigned long>(pic->CurrPicIdx) >= d->info.ulNumDecodeSurfaces)
        return kInvalidValue;
    RenderSurface(*d, number, d->surfaces[pic->CurrPicIdx]);
    return kSuccess;
}

CUresult cuvidGetDecodeStatus(CUvideodecoder, int index, CUVIDGETDECODESTATUS* status)
{
    if (CUresult r = Enter("cuvidGetDecodeStatus"))
        return r;
    auto found = state().statuses.find(index);
    status->decodeStatus = found == state().statuses.end() ? cuvidDecodeStatus_Success : found->second;
    return kSuccess;
}

CUresult cuvidMapVideoFrame64(CUvideodecoder decoder, int index, unsigned long long* devPtr, unsigned int* pitch,
                              CUVIDPROCPARAMS* params)
{
    if (CUresult r = Enter("cuvidMapVideoFrame64"))
        return r;
    state().maps.push_back({index, *params});
    auto* d = static_cast<Decoder*>(decoder);
    if (!state().decoders.count(d))
        return kInvalidValue;
    auto surface = d->surfaces.find(index);
    if (surface == d->surfaces.end())
        return kInvalidValue;
    *devPtr = static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(surface->second.data()));
    *pitch = static_cast<unsigned int>(d->pitch);
    state().mapped.insert(*devPtr);
    return kSuccess;
}

CUresult cuvidUnmapVideoFrame64(CUvideodecoder, unsigned long long devPtr)
{
    if (CUresult r = Enter("cuvidUnmapVideoFrame64"))
        return r;
    return state().mapped.erase(devPtr) ? kSuccess : kInvalidValue;
}

} // extern "C"
