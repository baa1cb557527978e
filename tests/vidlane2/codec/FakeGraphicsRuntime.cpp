// Stand-ins for the CUDA runtime's OpenGL registration calls, linked in place
// of the runtime so that the registry's bookkeeping runs on any machine.
#include "FakeGraphicsRuntime.h"

#include <cuda_gl_interop.h>
#include <cuda_runtime_api.h>

namespace fake_graphics {

State& state()
{
    static State s;
    return s;
}

} // namespace fake_graphics

using fake_graphics::state;

namespace {

cudaGraphicsResource_t newResource()
{
    // Distinct, never dereferenced handles.
    return reinterpret_cast<cudaGraphicsResource_t>(static_cast<uintptr_t>(++state().nextHandle) << 4);
}

} // namespace

extern "C" {

cudaError_t CUDARTAPI cudaGraphicsGLRegisterImage(cudaGraphicsResource** resource, GLuint image, GLenum target,
                                                  unsigned int flags)
{
    state().calls.push_back({"image", image, target, flags, nullptr});
    if (state().failRegistrations > 0) {
        --state().failRegistrations;
        return cudaErrorInvalidValue;
    }
    *resource = newResource();
    state().live.insert(*resource);
    state().calls.back().resource = *resource;
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaGraphicsGLRegisterBuffer(cudaGraphicsResource** resource, GLuint buffer, unsigned int flags)
{
    state().calls.push_back({"buffer", buffer, 0, flags, nullptr});
    if (state().failRegistrations > 0) {
        --state().failRegistrations;
        return cudaErrorInvalidValue;
    }
    *resource = newResource();
    state().live.insert(*resource);
    state().calls.back().resource = *resource;
    return cudaSuccess;
}

cudaError_t CUDARTAPI cudaGraphicsUnregisterResource(cudaGraphicsResource_t resource)
{
    state().calls.push_back({"unregister", 0, 0, 0, resource});
    state().live.erase(resource);
    if (state().failUnregistrations > 0) {
        --state().failUnregistrations;
        return cudaErrorUnknown;
    }
    return cudaSuccess;
}

const char* CUDARTAPI cudaGetErrorString(cudaError_t error)
{
    return error == cudaErrorInvalidValue ? "invalid argument" : "unknown error";
}

} // extern "C"
