#pragma once

// Control side of the fake CUDA driver (libcuda.so.1). Device memory is host
// memory; every call is logged by its exported name.
#include <ffnvcodec/dynlink_cuda.h>

#include <cstddef>
#include <string>
#include <vector>

namespace fake_cuda {

struct PitchAllocation {
    size_t widthInBytes;
    size_t height;
    unsigned int elementSize;
    size_t pitch;
};

// The file name under which the system's loader opened this fake.
std::string LibraryFile();

void Reset();
// The named entry returns status from its (skip + 1)-th call on.
void FailCall(const std::string& entry, int status, int skip = 0);
void ClearFailures();
std::vector<std::string> Calls();
size_t CountCalls(const std::string& entry);

const std::vector<PitchAllocation>& PitchAllocations();
const std::vector<CUDA_MEMCPY2D>& Copies();
const std::vector<CUstream>& SynchronizedStreams();
size_t LiveAllocations();
size_t AllocationSize(CUdeviceptr pointer);

// The calling thread's context stack.
CUcontext CurrentContext();
size_t ContextDepth();

// Device memory is one world with the fake CUDA runtime's, which allocates
// through these (no call logged, no context needed).
CUdeviceptr AllocateDeviceMemory(size_t bytes);
bool FreeDeviceMemory(CUdeviceptr pointer);
// Whether [pointer, pointer + bytes) lies inside one live allocation.
bool InDeviceMemory(const void* pointer, size_t bytes);
// What the real runtime does on its first call in a thread: its primary
// context becomes current when none is.
CUcontext PrimaryContext();
void MakePrimaryContextCurrent();

constexpr size_t kPitchAlignment = 512;

} // namespace fake_cuda
