// A CUDA driver stand-in for tests: device memory lives in host memory.
#include "FakeCuda.h"
#include "FakeCalls.h"
#include "FakePlatform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>

namespace {

struct State {
    fake::CallRecorder recorder;
    std::map<CUdeviceptr, size_t> allocations;
    std::vector<fake_cuda::PitchAllocation> pitchAllocations;
    std::vector<CUDA_MEMCPY2D> copies;
    std::vector<CUstream> synchronized;
};

State& state()
{
    static State s;
    return s;
}

thread_local std::vector<CUcontext> contextStack;

CUresult Enter(const char* name)
{
    return static_cast<CUresult>(state().recorder.Enter(name));
}

constexpr CUresult kInvalidValue = static_cast<CUresult>(1);
constexpr CUresult kOutOfMemory = static_cast<CUresult>(2);
constexpr CUresult kInvalidContext = static_cast<CUresult>(201);

CUdeviceptr Allocate(size_t bytes)
{
    void* memory = std::calloc(1, std::max<size_t>(bytes, 1));
    if (!memory)
        return 0;
    auto pointer = static_cast<CUdeviceptr>(reinterpret_cast<uintptr_t>(memory));
    state().allocations[pointer] = bytes;
    return pointer;
}

} // namespace

namespace fake_cuda {

std::string LibraryFile() { return fake::LibraryFileName(reinterpret_cast<const void*>(&state)); }

void Reset()
{
    State& s = state();
    s.recorder.Reset();
    s.pitchAllocations.clear();
    s.copies.clear();
    s.synchronized.clear();
}

void FailCall(const std::string& entry, int status, int skip) { state().recorder.Fail(entry, status, skip); }
void ClearFailures() { state().recorder.ClearFailures(); }
std::vector<std::string> Calls() { return state().recorder.Calls(); }
size_t CountCalls(const std::string& entry)
{
    const auto& calls = Calls();
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), entry));
}
const std::vector<PitchAllocation>& PitchAllocations() { return state().pitchAllocations; }
const std::vector<CUDA_MEMCPY2D>& Copies() { return state().copies; }
const std::vector<CUstream>& SynchronizedStreams() { return state().synchronized; }
size_t LiveAllocations() { return state().allocations.size(); }
size_t AllocationSize(CUdeviceptr pointer)
{
    auto found = state().allocations.find(pointer);
    return found == state().allocations.end() ? 0 : found->second;
}
CUcontext CurrentContext() { return contextStack.empty() ? nullptr : contextStack.back(); }
size_t ContextDepth() { return contextStack.size(); }

CUdeviceptr AllocateDeviceMemory(size_t bytes) { return Allocate(bytes); }

bool FreeDeviceMemory(CUdeviceptr pointer)
{
    auto found = state().allocations.find(pointer);
    if (found == state().allocations.end())
        return false;
    std::free(reinterpret_cast<void*>(static_cast<uintptr_t>(pointer)));
    state().allocations.erase(found);
    return true;
}

bool InDeviceMemory(const void* pointer, size_t bytes)
{
    const auto address = static_cast<CUdeviceptr>(reinterpret_cast<uintptr_t>(pointer));
    const auto& allocations = state().allocations;
    auto above = allocations.upper_bound(address);
    if (above == allocations.begin())
        return false;
    const auto& [start, size] = *std::prev(above);
    const size_t offset = address - start;
    return offset < std::max<size_t>(size, 1) && bytes <= size - std::min(offset, size);
}

CUcontext PrimaryContext()
{
    static int primary;
    return reinterpret_cast<CUcontext>(&primary);
}

void MakePrimaryContextCurrent()
{
    if (contextStack.empty())
        contextStack.push_back(PrimaryContext());
}

} // namespace fake_cuda

extern "C" {

CUresult cuGetErrorName(CUresult error, const char** pstr)
{
    static const std::map<int, const char*> names = {
        {0, "CUDA_SUCCESS"},
        {1, "CUDA_ERROR_INVALID_VALUE"},
        {2, "CUDA_ERROR_OUT_OF_MEMORY"},
        {3, "CUDA_ERROR_NOT_INITIALIZED"},
        {201, "CUDA_ERROR_INVALID_CONTEXT"},
        {500, "CUDA_ERROR_NOT_FOUND"},
        {700, "CUDA_ERROR_ILLEGAL_ADDRESS"},
        {801, "CUDA_ERROR_NOT_SUPPORTED"},
        {999, "CUDA_ERROR_UNKNOWN"},
    };
    auto found = names.find(static_cast<int>(error));
    if (found == names.end()) {
        *pstr = nullptr;
        return kInvalidValue;
    }
    *pstr = found->second;
    return static_cast<CUresult>(0);
}

CUresult cuCtxGetCurrent(CUcontext* pctx)
{
    if (CUresult r = Enter("cuCtxGetCurrent"))
        return r;
    *pctx = fake_cuda::CurrentContext();
    return static_cast<CUresult>(0);
}

CUresult cuCtxPushCurrent_v2(CUcontext ctx)
{
    if (CUresult r = Enter("cuCtxPushCurrent_v2"))
        return r;
    if (!ctx)
        return kInvalidContext;
    contextStack.push_back(ctx);
    return static_cast<CUresult>(0);
}

CUresult cuCtxPopCurrent_v2(CUcontext* pctx)
{
    if (CUresult r = Enter("cuCtxPopCurrent_v2"))
        return r;
    if (contextStack.empty())
        return kInvalidContext;
    if (pctx)
        *pctx = contextStack.back();
    contextStack.pop_back();
    return static_cast<CUresult>(0);
}

CUresult cuMemAlloc_v2(CUdeviceptr* dptr, size_t bytesize)
{
    if (CUresult r = Enter("cuMemAlloc_v2"))
        return r;
    if (contextStack.empty())
        return kInvalidContext;
    *dptr = Allocate(bytesize);
    return *dptr ? static_cast<CUresult>(0) : kOutOfMemory;
}

CUresult cuMemAllocPitch_v2(CUdeviceptr* dptr, size_t* pPitch, size_t widthInBytes, size_t height,
                            unsigned int elementSizeBytes)
{
    if (CUresult r = Enter("cuMemAllocPitch_v2"))
        return r;
    if (contextStack.empty())
        return kInvalidContext;
    const size_t align = fake_cuda::kPitchAlignment;
    const size_t pitch = (widthInBytes + align - 1) / align * align;
    state().pitchAllocations.push_back({widthInBytes, height, elementSizeBytes, pitch});
    *dptr = Allocate(pitch * height);
    *pPitch = pitch;
    return *dptr ? static_cast<CUresult>(0) : kOutOfMemory;
}

CUresult cuMemFree_v2(CUdeviceptr dptr)
{
    if (CUresult r = Enter("cuMemFree_v2"))
        return r;
    return fake_cuda::FreeDeviceMemory(dptr) ? static_cast<CUresult>(0) : kInvalidValue;
}

CUresult cuMemcpy2DAsync_v2(const CUDA_MEMCPY2D* copy, CUstream stream)
{
    (void)stream;
    if (CUresult r = Enter("cuMemcpy2DAsync_v2"))
        return r;
    state().copies.push_back(*copy);
    const auto* source = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(copy->srcDevice)) +
                         copy->srcY * copy->srcPitch + copy->srcXInBytes;
    auto* destination = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(copy->dstDevice)) +
                        copy->dstY * copy->dstPitch + copy->dstXInBytes;
    for (size_t row = 0; row < copy->Height; ++row)
        std::memcpy(destination + row * copy->dstPitch, source + row * copy->srcPitch, copy->WidthInBytes);
    return static_cast<CUresult>(0);
}

CUresult cuStreamSynchronize(CUstream stream)
{
    if (CUresult r = Enter("cuStreamSynchronize"))
        return r;
    state().synchronized.push_back(stream);
    return static_cast<CUresult>(0);
}

} // extern "C"
