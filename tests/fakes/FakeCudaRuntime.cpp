// A CUDA runtime stand-in for tests of the objects above the sessions: the
// plain runtime calls those objects make, over the fake driver's memory.
#include "FakeCudaRuntime.h"

#include "FakeCalls.h"
#include "FakeCuda.h"

#include <cuda_gl_interop.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace {

using fake_cuda_runtime::Array;

struct Resource {
    fake_cuda_runtime::Registration registration;
    bool mapped = false;
};

struct Texture {
    const Array* array;
    cudaTextureDesc sampling;
};

struct State {
    fake::CallRecorder recorder;
    cudaError_t lastError = cudaSuccess;
    std::vector<fake_cuda_runtime::Copy> copies;
    std::vector<std::string> violations;
    std::set<void*> allocations;
    std::set<void*> managed;
    bool deferKernels = false;
    std::vector<std::function<void()>> pendingKernels;
    std::map<std::uint32_t, CUdeviceptr> buffers;
    std::map<std::uint32_t, std::size_t> bufferSizes;
    std::map<std::uint32_t, std::unique_ptr<Array>> textures;
    std::vector<fake_cuda_runtime::Registration> registrations;
    std::vector<cudaGraphicsResource_t> unregistrations;
    std::map<cudaGraphicsResource_t, Resource> resources;
    std::map<cudaTextureObject_t, Texture> textureObjects;
    std::uintptr_t nextHandle = 0;
};

State& state()
{
    static State s;
    return s;
}

cudaError_t Fail(cudaError_t status)
{
    state().lastError = status;
    return status;
}

// What the default stream still has to run.
void RunPendingKernels()
{
    std::vector<std::function<void()>> pending;
    pending.swap(state().pendingKernels);
    for (auto& kernel : pending)
        kernel();
}

// Records the call; the runtime initialises on it, unless it only reads errors.
cudaError_t Enter(const char* name, bool initialises = true)
{
    if (initialises)
        fake_cuda::MakePrimaryContextCurrent();
    const auto status = static_cast<cudaError_t>(state().recorder.Enter(name));
    return status == cudaSuccess ? status : Fail(status);
}

cudaError_t Violation(const std::string& text, cudaError_t status = cudaErrorInvalidValue)
{
    state().violations.push_back(text);
    return Fail(status);
}

bool IsDevice(const void* p) { return fake_cuda::InDeviceMemory(p, 1); }

bool IsManaged(const void* p)
{
    for (void* allocation : state().managed)
        if (p >= allocation && fake_cuda::InDeviceMemory(allocation, static_cast<const std::uint8_t*>(p) -
                                                                         static_cast<std::uint8_t*>(allocation) + 1))
            return true;
    return false;
}

// Bytes a 2D walk of height rows spans.
std::size_t Extent(std::size_t pitch, std::size_t widthInBytes, std::size_t height)
{
    return height == 0 ? 0 : (height - 1) * pitch + widthInBytes;
}

const char* KindName(cudaMemcpyKind kind)
{
    switch (kind) {
    case cudaMemcpyHostToHost: return "host to host";
    case cudaMemcpyHostToDevice: return "host to device";
    case cudaMemcpyDeviceToHost: return "device to host";
    case cudaMemcpyDeviceToDevice: return "device to device";
    default: return "default";
    }
}

// Checks one side of a copy against its kind: a device side must lie in one
// allocation, a host side must not be device memory.
bool SideIsSound(const char* call, const char* side, const void* p, std::size_t bytes, bool device,
                 cudaMemcpyKind kind)
{
    if (bytes == 0)
        return true;
    const std::string what = std::string(call) + " " + KindName(kind) + ": " + side;
    if (device)
        return fake_cuda_runtime::CheckDeviceRange(p, bytes, what);
    if (IsDevice(p)) {
        state().violations.push_back(what + " is device memory");
        return false;
    }
    return true;
}

cudaError_t CheckedCopy(const char* call, void* dst, std::size_t dstPitch, const void* src, std::size_t srcPitch,
                        std::size_t width, std::size_t height, cudaMemcpyKind kind)
{
    // A copy on the default stream starts after what was launched before it.
    RunPendingKernels();
    state().copies.push_back({call, kind, width, height});
    if (width > dstPitch || width > srcPitch)
        return Violation(std::string(call) + ": the row is wider than a pitch");
    if (kind == cudaMemcpyDefault)
        kind = IsDevice(src) ? (IsDevice(dst) ? cudaMemcpyDeviceToDevice : cudaMemcpyDeviceToHost)
                             : (IsDevice(dst) ? cudaMemcpyHostToDevice : cudaMemcpyHostToHost);
    const bool srcDevice = kind == cudaMemcpyDeviceToHost || kind == cudaMemcpyDeviceToDevice;
    const bool dstDevice = kind == cudaMemcpyHostToDevice || kind == cudaMemcpyDeviceToDevice;
    if (!SideIsSound(call, "the source", src, Extent(srcPitch, width, height), srcDevice, kind) ||
        !SideIsSound(call, "the destination", dst, Extent(dstPitch, width, height), dstDevice, kind))
        return Fail(cudaErrorInvalidValue);
    for (std::size_t row = 0; row < height; ++row)
        std::memmove(static_cast<std::uint8_t*>(dst) + row * dstPitch,
                     static_cast<const std::uint8_t*>(src) + row * srcPitch, width);
    return cudaSuccess;
}

Array* FindArray(cudaArray_const_t array)
{
    for (auto& [name, texture] : state().textures)
        if (reinterpret_cast<cudaArray_const_t>(texture.get()) == array)
            return texture.get();
    return nullptr;
}

// The array rows a copy of width bytes at (wOffset, hOffset) touches, or null.
std::uint8_t* ArrayWindow(const char* call, cudaArray_const_t handle, std::size_t wOffset, std::size_t hOffset,
                          std::size_t width, std::size_t height)
{
    Array* array = FindArray(handle);
    if (!array) {
        state().violations.push_back(std::string(call) + ": not an array");
        return nullptr;
    }
    if (wOffset + width > array->rowBytes() || hOffset + height > array->height) {
        state().violations.push_back(std::string(call) + ": past the end of the array");
        return nullptr;
    }
    return array->bytes.data() + hOffset * array->rowBytes() + wOffset;
}

cudaGraphicsResource_t NewResource(const fake_cuda_runtime::Registration& registration)
{
    auto resource = reinterpret_cast<cudaGraphicsResource_t>(++state().nextHandle << 4);
    fake_cuda_runtime::Registration recorded = registration;
    recorded.resource = resource;
    state().registrations.push_back(recorded);
    state().resources[resource] = Resource{recorded, false};
    return resource;
}

Resource* MappedResource(cudaGraphicsResource_t resource)
{
    auto found = state().resources.find(resource);
    return found == state().resources.end() || !found->second.mapped ? nullptr : &found->second;
}

} // namespace

namespace fake_cuda_runtime {

void Reset()
{
    State& s = state();
    for (const auto& [name, pointer] : s.buffers)
        fake_cuda::FreeDeviceMemory(pointer);
    s.buffers.clear();
    s.bufferSizes.clear();
    s.textures.clear();
    s.recorder.Reset();
    s.lastError = cudaSuccess;
    s.copies.clear();
    s.copies.reserve(1 << 12);
    s.violations.clear();
    s.registrations.clear();
    s.unregistrations.clear();
    s.resources.clear();
    s.textureObjects.clear();
    s.managed.clear();
    s.deferKernels = false;
    s.pendingKernels.clear();
}

void DeferKernels(bool defer) { state().deferKernels = defer; }

bool KernelsDeferred() { return state().deferKernels; }
void Defer(std::function<void()> kernel) { state().pendingKernels.push_back(std::move(kernel)); }

std::size_t PendingKernels() { return state().pendingKernels.size(); }

void FailCall(const std::string& entry, cudaError_t status, int skip, int times)
{
    state().recorder.Fail(entry, status, skip, times);
}
void ClearFailures() { state().recorder.ClearFailures(); }
std::vector<std::string> Calls() { return state().recorder.Calls(); }
std::size_t CountCalls(const std::string& entry) { return state().recorder.Count(entry); }
const std::vector<Copy>& Copies() { return state().copies; }
const std::vector<std::string>& Violations() { return state().violations; }
std::size_t LiveAllocations() { return state().allocations.size(); }
std::size_t LiveTextureObjects() { return state().textureObjects.size(); }
std::size_t LiveRegistrations() { return state().resources.size(); }
std::size_t LiveMappings()
{
    std::size_t mapped = 0;
    for (const auto& [handle, resource] : state().resources)
        mapped += resource.mapped;
    return mapped;
}
const std::vector<Registration>& Registrations() { return state().registrations; }
const std::vector<cudaGraphicsResource_t>& Unregistrations() { return state().unregistrations; }
bool Registered(cudaGraphicsResource_t resource) { return state().resources.count(resource) > 0; }

std::uint8_t* DefineBuffer(std::uint32_t name, std::size_t bytes)
{
    State& s = state();
    if (auto old = s.buffers.find(name); old != s.buffers.end())
        fake_cuda::FreeDeviceMemory(old->second);
    const CUdeviceptr pointer = fake_cuda::AllocateDeviceMemory(bytes);
    s.buffers[name] = pointer;
    s.bufferSizes[name] = bytes;
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(pointer));
}

Array& DefineTexture(std::uint32_t name, std::uint32_t width, std::uint32_t height, TexelKind kind)
{
    auto array = std::make_unique<Array>();
    array->width = width;
    array->height = height;
    array->kind = kind;
    array->bytes.assign(array->rowBytes() * height, 0);
    Array& defined = *array;
    state().textures[name] = std::move(array);
    return defined;
}

const Array* SampledArray(cudaTextureObject_t texture)
{
    auto found = state().textureObjects.find(texture);
    if (found == state().textureObjects.end())
        return nullptr;
    const cudaTextureDesc& d = found->second.sampling;
    const bool expected = d.filterMode == cudaFilterModePoint && d.readMode == cudaReadModeElementType &&
                          d.normalizedCoords == 0 && d.sRGB == 0 && d.addressMode[0] == cudaAddressModeClamp &&
                          d.addressMode[1] == cudaAddressModeClamp;
    return expected ? found->second.array : nullptr;
}

bool CheckDeviceRange(const void* pointer, std::size_t bytes, const std::string& what)
{
    if (fake_cuda::InDeviceMemory(pointer, bytes))
        return true;
    state().violations.push_back(what + (IsDevice(pointer) ? " reaches past its allocation" : " is not device memory"));
    return false;
}

} // namespace fake_cuda_runtime

extern "C" {

const char* CUDARTAPI cudaGetErrorString(cudaError_t error)
{
    switch (error) {
    case cudaSuccess: return "no error";
    case cudaErrorInvalidValue: return "invalid argument";
    case cudaErrorMemoryAllocation: return "out of memory";
    case cudaErrorNoDevice: return "no CUDA-capable device is detected";
    case cudaErrorAlreadyMapped: return "resource already mapped";
    case cudaErrorNotMapped: return "resource not mapped";
    case cudaErrorInvalidResourceHandle: return "invalid resource handle";
    case cudaErrorIllegalAddress: return "an illegal memory access was encountered";
    case cudaErrorUnknown: return "unknown error";
    default: return "unrecognized error code";
    }
}

cudaError_t CUDARTAPI cudaGetLastError(void)
{
    state().recorder.Enter("cudaGetLastError");
    const cudaError_t last = state().lastError;
    state().lastError = cudaSuccess;
    return last;
}

cudaError_t CUDARTAPI cudaDeviceSynchronize(void)
{
    if (cudaError_t r = Enter("cudaDeviceSynchronize"))
        return r;
    RunPendingKernels();
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaStreamSynchronize(cudaStream_t stream)
{
    if (cudaError_t r = Enter("cudaStreamSynchronize"))
        return r;
    if (stream)
        return Violation("cudaStreamSynchronize: the library has no streams of its own",
                         cudaErrorInvalidResourceHandle);
    RunPendingKernels();
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaMallocManaged(void** devPtr, size_t size, unsigned int flags)
{
    if (cudaError_t r = Enter("cudaMallocManaged"))
        return r;
    if (flags != cudaMemAttachGlobal && flags != cudaMemAttachHost)
        return Fail(cudaErrorInvalidValue);
    void* p = reinterpret_cast<void*>(static_cast<std::uintptr_t>(fake_cuda::AllocateDeviceMemory(size)));
    if (!p)
        return Fail(cudaErrorMemoryAllocation);
    state().allocations.insert(p);
    state().managed.insert(p);
    *devPtr = p;
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaMalloc(void** devPtr, size_t size)
{
    if (cudaError_t r = Enter("cudaMalloc"))
        return r;
    void* p = reinterpret_cast<void*>(static_cast<std::uintptr_t>(fake_cuda::AllocateDeviceMemory(size)));
    if (!p)
        return Fail(cudaErrorMemoryAllocation);
    state().allocations.insert(p);
    *devPtr = p;
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaFree(void* devPtr)
{
    if (cudaError_t r = Enter("cudaFree"))
        return r;
    if (!devPtr)
        return cudaSuccess;
    if (!state().allocations.erase(devPtr))
        return Violation("cudaFree of memory cudaMalloc did not hand out");
    // Freeing waits for the device, as the runtime's cudaFree does.
    RunPendingKernels();
    state().managed.erase(devPtr);
    fake_cuda::FreeDeviceMemory(static_cast<CUdeviceptr>(reinterpret_cast<std::uintptr_t>(devPtr)));
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaPointerGetAttributes(struct cudaPointerAttributes* attributes, const void* ptr)
{
    if (cudaError_t r = Enter("cudaPointerGetAttributes"))
        return r;
    std::memset(attributes, 0, sizeof *attributes);
    if (IsManaged(ptr)) {
        attributes->type = cudaMemoryTypeManaged;
        attributes->devicePointer = const_cast<void*>(ptr);
        attributes->hostPointer = const_cast<void*>(ptr);
    } else if (IsDevice(ptr)) {
        attributes->type = cudaMemoryTypeDevice;
        attributes->devicePointer = const_cast<void*>(ptr);
    } else {
        attributes->type = cudaMemoryTypeUnregistered;
        attributes->hostPointer = const_cast<void*>(ptr);
    }
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaMemcpy(void* dst, const void* src, size_t count, enum cudaMemcpyKind kind)
{
    if (cudaError_t r = Enter("cudaMemcpy"))
        return r;
    return CheckedCopy("cudaMemcpy", dst, count, src, count, count, 1, kind);
}

cudaError_t CUDARTAPI cudaMemcpy2D(void* dst, size_t dpitch, const void* src, size_t spitch, size_t width,
                                   size_t height, enum cudaMemcpyKind kind)
{
    if (cudaError_t r = Enter("cudaMemcpy2D"))
        return r;
    return CheckedCopy("cudaMemcpy2D", dst, dpitch, src, spitch, width, height, kind);
}

cudaError_t CUDARTAPI cudaMemcpy2DFromArray(void* dst, size_t dpitch, cudaArray_const_t src, size_t wOffset,
                                            size_t hOffset, size_t width, size_t height, enum cudaMemcpyKind kind)
{
    if (cudaError_t r = Enter("cudaMemcpy2DFromArray"))
        return r;
    if (kind != cudaMemcpyDeviceToDevice && kind != cudaMemcpyDeviceToHost)
        return Violation("cudaMemcpy2DFromArray: an array is device memory");
    const std::uint8_t* window = ArrayWindow("cudaMemcpy2DFromArray", src, wOffset, hOffset, width, height);
    if (!window)
        return Fail(cudaErrorInvalidValue);
    return CheckedCopy("cudaMemcpy2DFromArray", dst, dpitch, window, FindArray(src)->rowBytes(), width, height,
                       kind == cudaMemcpyDeviceToDevice ? cudaMemcpyHostToDevice : cudaMemcpyHostToHost);
}

cudaError_t CUDARTAPI cudaMemcpy2DToArray(cudaArray_t dst, size_t wOffset, size_t hOffset, const void* src,
                                          size_t spitch, size_t width, size_t height, enum cudaMemcpyKind kind)
{
    if (cudaError_t r = Enter("cudaMemcpy2DToArray"))
        return r;
    if (kind != cudaMemcpyDeviceToDevice && kind != cudaMemcpyHostToDevice)
        return Violation("cudaMemcpy2DToArray: an array is device memory");
    std::uint8_t* window = ArrayWindow("cudaMemcpy2DToArray", dst, wOffset, hOffset, width, height);
    if (!window)
        return Fail(cudaErrorInvalidValue);
    // The array's bytes live in host memory here: check the source side only.
    return CheckedCopy("cudaMemcpy2DToArray", window, FindArray(dst)->rowBytes(), src, spitch, width, height,
                       kind == cudaMemcpyDeviceToDevice ? cudaMemcpyDeviceToHost : cudaMemcpyHostToHost);
}

cudaError_t CUDARTAPI cudaCreateTextureObject(cudaTextureObject_t* texture, const struct cudaResourceDesc* resource,
                                              const struct cudaTextureDesc* sampling,
                                              const struct cudaResourceViewDesc* view)
{
    (void)view;
    if (cudaError_t r = Enter("cudaCreateTextureObject"))
        return r;
    if (resource->resType != cudaResourceTypeArray)
        return Violation("cudaCreateTextureObject: only arrays are sampled");
    const Array* array = FindArray(resource->res.array.array);
    if (!array)
        return Violation("cudaCreateTextureObject: not an array");
    const cudaTextureObject_t object = ++state().nextHandle;
    state().textureObjects[object] = Texture{array, *sampling};
    *texture = object;
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaDestroyTextureObject(cudaTextureObject_t texture)
{
    if (cudaError_t r = Enter("cudaDestroyTextureObject"))
        return r;
    return state().textureObjects.erase(texture) ? cudaSuccess : Violation("cudaDestroyTextureObject: unknown object");
}

cudaError_t CUDARTAPI cudaGraphicsGLRegisterImage(struct cudaGraphicsResource** resource, GLuint image, GLenum target,
                                                  unsigned int flags)
{
    if (cudaError_t r = Enter("cudaGraphicsGLRegisterImage"))
        return r;
    *resource = NewResource({true, image, target, flags, nullptr});
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaGraphicsGLRegisterBuffer(struct cudaGraphicsResource** resource, GLuint buffer,
                                                   unsigned int flags)
{
    if (cudaError_t r = Enter("cudaGraphicsGLRegisterBuffer"))
        return r;
    *resource = NewResource({false, buffer, 0, flags, nullptr});
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaGraphicsUnregisterResource(cudaGraphicsResource_t resource)
{
    // Like the runtime, the registration is gone even when the call reports a failure.
    state().unregistrations.push_back(resource);
    const bool known = state().resources.erase(resource) > 0;
    if (cudaError_t r = Enter("cudaGraphicsUnregisterResource"))
        return r;
    return known ? cudaSuccess : Violation("cudaGraphicsUnregisterResource: unknown resource",
                                           cudaErrorInvalidResourceHandle);
}

cudaError_t CUDARTAPI cudaGraphicsMapResources(int count, cudaGraphicsResource_t* resources, cudaStream_t stream)
{
    (void)stream;
    if (cudaError_t r = Enter("cudaGraphicsMapResources"))
        return r;
    for (int i = 0; i < count; ++i) {
        auto found = state().resources.find(resources[i]);
        if (found == state().resources.end())
            return Violation("cudaGraphicsMapResources: unknown resource", cudaErrorInvalidResourceHandle);
        if (found->second.mapped)
            return Violation("cudaGraphicsMapResources: already mapped", cudaErrorAlreadyMapped);
        const fake_cuda_runtime::Registration& r = found->second.registration;
        const bool defined = r.image ? state().textures.count(r.name) > 0 : state().buffers.count(r.name) > 0;
        if (!defined)
            return Fail(cudaErrorInvalidResourceHandle);
    }
    for (int i = 0; i < count; ++i)
        state().resources[resources[i]].mapped = true;
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaGraphicsUnmapResources(int count, cudaGraphicsResource_t* resources, cudaStream_t stream)
{
    (void)stream;
    if (cudaError_t r = Enter("cudaGraphicsUnmapResources"))
        return r;
    for (int i = 0; i < count; ++i) {
        Resource* mapped = MappedResource(resources[i]);
        if (!mapped)
            return Violation("cudaGraphicsUnmapResources: not mapped", cudaErrorNotMapped);
        mapped->mapped = false;
    }
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaGraphicsResourceGetMappedPointer(void** devPtr, size_t* size,
                                                           cudaGraphicsResource_t resource)
{
    if (cudaError_t r = Enter("cudaGraphicsResourceGetMappedPointer"))
        return r;
    Resource* mapped = MappedResource(resource);
    if (!mapped || mapped->registration.image)
        return Violation("cudaGraphicsResourceGetMappedPointer: not a mapped buffer", cudaErrorNotMapped);
    const std::uint32_t name = mapped->registration.name;
    *devPtr = reinterpret_cast<void*>(static_cast<std::uintptr_t>(state().buffers[name]));
    *size = state().bufferSizes[name];
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaGraphicsSubResourceGetMappedArray(cudaArray_t* array, cudaGraphicsResource_t resource,
                                                            unsigned int arrayIndex, unsigned int mipLevel)
{
    if (cudaError_t r = Enter("cudaGraphicsSubResourceGetMappedArray"))
        return r;
    Resource* mapped = MappedResource(resource);
    if (!mapped || !mapped->registration.image)
        return Violation("cudaGraphicsSubResourceGetMappedArray: not a mapped texture", cudaErrorNotMapped);
    if (arrayIndex != 0 || mipLevel != 0)
        return Fail(cudaErrorInvalidValue);
    *array = reinterpret_cast<cudaArray_t>(state().textures[mapped->registration.name].get());
    return cudaSuccess;
}

} // extern "C"
