#pragma once

// Control side of the fake CUDA runtime, a static library linked in place of
// the real runtime. Its device memory is the fake CUDA driver's, so pointers
// from either can be copied from and to; every copy checks its kind and its
// bounds against the allocation records, and each misuse is kept as a
// violation besides failing the call. Every call but the error queries makes
// the driver's primary context current, as the real runtime does.
#include <cuda_runtime_api.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fake_cuda_runtime {

// The texel layouts of the OpenGL textures the library reads and writes.
enum class TexelKind { Rgba8, RgbaHalf };

// A mapped texture's level 0 as a CUDA array: rows of width texels, packed.
struct Array {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    TexelKind kind = TexelKind::Rgba8;
    std::vector<std::uint8_t> bytes;

    std::size_t texelBytes() const { return kind == TexelKind::Rgba8 ? 4 : 8; }
    std::size_t rowBytes() const { return width * texelBytes(); }
};

struct Registration {
    bool image;
    std::uint32_t name;
    std::uint32_t target;
    unsigned int flags;
    cudaGraphicsResource_t resource;
};

struct Copy {
    std::string call;
    cudaMemcpyKind kind;
    std::size_t widthInBytes;
    std::size_t height;
};

// Frees what the OpenGL objects hold and forgets every record and failure.
void Reset();
// The named call returns status from its (skip + 1)-th call on, times times
// (-1: until cleared).
void FailCall(const std::string& entry, cudaError_t status, int skip = 0, int times = -1);
void ClearFailures();

std::vector<std::string> Calls();
std::size_t CountCalls(const std::string& entry);
const std::vector<Copy>& Copies();
const std::vector<std::string>& Violations();

// cudaMalloc and cudaMallocManaged allocations not yet freed.
std::size_t LiveAllocations();
std::size_t LiveTextureObjects();
std::size_t LiveRegistrations();
std::size_t LiveMappings();
const std::vector<Registration>& Registrations();
// Every resource given to cudaGraphicsUnregisterResource, in order.
const std::vector<cudaGraphicsResource_t>& Unregistrations();
bool Registered(cudaGraphicsResource_t resource);

// OpenGL objects as the GL context holds them. A buffer object is device
// memory of its size; a texture is an array.
std::uint8_t* DefineBuffer(std::uint32_t name, std::size_t bytes);
Array& DefineTexture(std::uint32_t name, std::uint32_t width, std::uint32_t height, TexelKind kind);

// Managed memory (cudaMallocManaged) is device memory the host may read.
// Kernels run at their launch, unless a test defers them: then they run at
// the next synchronisation (device, stream, or a copy, which waits for the
// default stream), as on a GPU, where a launch returns before its kernel ran.
void DeferKernels(bool defer);
bool KernelsDeferred();
void Defer(std::function<void()> kernel);
std::size_t PendingKernels();

// A kernel that runs at once allocates nothing, as a launch does not.
template <typename Kernel>
void RunKernel(Kernel&& kernel)
{
    if (KernelsDeferred())
        Defer(std::function<void()>(std::forward<Kernel>(kernel)));
    else
        kernel();
}

// For the CPU kernel launchers: the array behind a live texture object and
// whether it samples the way the texture kernels expect; null otherwise.
const Array* SampledArray(cudaTextureObject_t texture);
// Whether [pointer, pointer + bytes) is device memory; records a violation
// naming what otherwise.
bool CheckDeviceRange(const void* pointer, std::size_t bytes, const std::string& what);

} // namespace fake_cuda_runtime
