#include "HeadlessGl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <cuda_gl_interop.h>
#include <cuda_runtime_api.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The NVIDIA vendor library of glvnd, where a container ships it outside the
// default search path.
constexpr const char* kNvidiaEglVendor = "/usr/local/nvidia/share/glvnd/egl_vendor.d/10_nvidia.json";

bool hasExtension(const char* list, const char* name)
{
    if (!list) return false;
    const std::size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length)
        if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
    return false;
}

std::string hex(EGLint code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(code));
    return text;
}

} // namespace

#define VIDLANE2_EGL_FUNCTIONS(X)                                                                                    \
    X(eglGetProcAddress) X(eglGetError) X(eglQueryString) X(eglGetDisplay) X(eglInitialize) X(eglTerminate)        \
    X(eglChooseConfig) X(eglCreatePbufferSurface) X(eglDestroySurface) X(eglBindAPI) X(eglCreateContext)           \
    X(eglDestroyContext) X(eglMakeCurrent) X(eglReleaseThread)

struct HeadlessGl::Egl {
    void* library = nullptr; // kept loaded: drivers do not like being unloaded
#define VIDLANE2_EGL_MEMBER(name) decltype(&::name) name = nullptr;
    VIDLANE2_EGL_FUNCTIONS(VIDLANE2_EGL_MEMBER)
#undef VIDLANE2_EGL_MEMBER
    PFNEGLQUERYDEVICESEXTPROC eglQueryDevicesEXT = nullptr;
    PFNEGLQUERYDEVICESTRINGEXTPROC eglQueryDeviceStringEXT = nullptr;
    PFNEGLQUERYDEVICEATTRIBEXTPROC eglQueryDeviceAttribEXT = nullptr;
    PFNEGLGETPLATFORMDISPLAYEXTPROC eglGetPlatformDisplayEXT = nullptr;

    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;

    std::string failure(const char* step) const
    {
        return std::string(step) + " failed (EGL error " + hex(eglGetError()) + ")";
    }

    bool load(std::string& why)
    {
        struct stat info;
        if (std::getenv("__EGL_VENDOR_LIBRARY_FILENAMES") == nullptr && stat(kNvidiaEglVendor, &info) == 0)
            setenv("__EGL_VENDOR_LIBRARY_FILENAMES", kNvidiaEglVendor, 0);
        library = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            why = std::string("no EGL library: ") + dlerror();
            return false;
        }
#define VIDLANE2_EGL_LOAD(name)                                                                                      \
    name = reinterpret_cast<decltype(name)>(dlsym(library, #name));                                                  \
    if (!name) {                                                                                                     \
        why = "libEGL.so.1 lacks " #name;                                                                            \
        return false;                                                                                                \
    }
        VIDLANE2_EGL_FUNCTIONS(VIDLANE2_EGL_LOAD)
#undef VIDLANE2_EGL_LOAD
        const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (hasExtension(client, "EGL_EXT_platform_device") &&
            (hasExtension(client, "EGL_EXT_device_enumeration") || hasExtension(client, "EGL_EXT_device_base"))) {
            eglQueryDevicesEXT = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
            eglQueryDeviceStringEXT =
                reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
            eglQueryDeviceAttribEXT =
                reinterpret_cast<PFNEGLQUERYDEVICEATTRIBEXTPROC>(eglGetProcAddress("eglQueryDeviceAttribEXT"));
            eglGetPlatformDisplayEXT =
                reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        }
        return true;
    }

    // The EGL device that drives CUDA device cudaDevice; without the CUDA
    // attribute on any device, the first device.
    EGLDeviceEXT pickDevice(int cudaDevice) const
    {
        if (!eglQueryDevicesEXT || !eglGetPlatformDisplayEXT) return nullptr;
        EGLint count = 0;
        if (!eglQueryDevicesEXT(0, nullptr, &count) || count <= 0) return nullptr;
        std::vector<EGLDeviceEXT> devices(static_cast<std::size_t>(count));
        if (!eglQueryDevicesEXT(count, devices.data(), &count) || count <= 0) return nullptr;
        for (EGLint i = 0; i < count; ++i) {
            if (!eglQueryDeviceStringEXT || !eglQueryDeviceAttribEXT) break;
            EGLAttrib ordinal = -1;
            if (hasExtension(eglQueryDeviceStringEXT(devices[i], EGL_EXTENSIONS), "EGL_NV_device_cuda") &&
                eglQueryDeviceAttribEXT(devices[i], EGL_CUDA_DEVICE_NV, &ordinal) && ordinal == cudaDevice)
                return devices[i];
        }
        return devices[0];
    }

    bool open(int cudaDevice, std::string& why)
    {
        if (EGLDeviceEXT device = pickDevice(cudaDevice))
            display = eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
        if (display == EGL_NO_DISPLAY) display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (display == EGL_NO_DISPLAY) {
            why = "no EGL display";
            return false;
        }
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) {
            why = failure("eglInitialize");
            display = EGL_NO_DISPLAY; // nothing to terminate
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) {
            why = failure("eglBindAPI(EGL_OPENGL_API)");
            return false;
        }

        // A pbuffer surface where the display offers one, else no surface at all.
        const bool surfaceless = hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context");
        EGLConfig config = nullptr;
        for (const EGLint surfaceType : {EGLint{EGL_PBUFFER_BIT}, EGLint{0}}) {
            if (surfaceType == 0 && !surfaceless) break;
            const EGLint wanted[] = {EGL_SURFACE_TYPE, surfaceType, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                     EGL_NONE};
            EGLint found = 0;
            if (!eglChooseConfig(display, wanted, &config, 1, &found) || found < 1) {
                config = nullptr;
                continue;
            }
            if (surfaceType == 0) break;
            const EGLint size[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
            surface = eglCreatePbufferSurface(display, config, size);
            if (surface != EGL_NO_SURFACE) break;
            config = nullptr;
        }
        if (!config) {
            why = failure("choosing an OpenGL configuration with a pbuffer or without a surface");
            return false;
        }

        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
        if (context == EGL_NO_CONTEXT) {
            why = failure("eglCreateContext (OpenGL 3.3 core)");
            return false;
        }
        if (!eglMakeCurrent(display, surface, surface, context)) {
            why = failure("eglMakeCurrent");
            return false;
        }
        return true;
    }

    ~Egl()
    {
        if (display == EGL_NO_DISPLAY) return;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        eglTerminate(display);
        eglReleaseThread();
    }
};

HeadlessGl::HeadlessGl() : m_egl(std::make_unique<Egl>()) {}

HeadlessGl::~HeadlessGl() = default;

std::unique_ptr<HeadlessGl> HeadlessGl::create(std::string& why)
{
    int cudaDevice = 0;
    if (cudaGetDevice(&cudaDevice) != cudaSuccess) {
        cudaGetLastError();
        why = "no current CUDA device";
        return nullptr;
    }
    std::unique_ptr<HeadlessGl> gl(new HeadlessGl());
    Egl& egl = *gl->m_egl;
    if (!egl.load(why) || !egl.open(cudaDevice, why)) return nullptr;

#define VIDLANE2_GL_LOAD(name)                                                                                       \
    gl->m_gl.name = reinterpret_cast<decltype(gl->m_gl.name)>(egl.eglGetProcAddress(#name));                         \
    if (!gl->m_gl.name) {                                                                                            \
        why = "eglGetProcAddress gives no " #name;                                                                   \
        return nullptr;                                                                                              \
    }
    VIDLANE2_GL_FUNCTIONS(VIDLANE2_GL_LOAD)
#undef VIDLANE2_GL_LOAD

    const auto text = [&](GLenum name) {
        const GLubyte* s = gl->m_gl.glGetString(name);
        return s ? std::string(reinterpret_cast<const char*>(s)) : std::string("?");
    };
    gl->m_renderer = text(GL_RENDERER) + ", OpenGL " + text(GL_VERSION);

    // CUDA-OpenGL interop needs the context on the very GPU CUDA works on.
    unsigned int count = 0;
    int devices[8] = {};
    const cudaError_t status = cudaGLGetDevices(&count, devices, 8, cudaGLDeviceListAll);
    bool onDevice = false;
    for (unsigned int i = 0; status == cudaSuccess && i < count && i < 8; ++i) onDevice |= devices[i] == cudaDevice;
    if (!onDevice) {
        cudaGetLastError();
        why = "the OpenGL context (" + gl->m_renderer + ") is not on CUDA device " + std::to_string(cudaDevice) +
              " (" + cudaGetErrorString(status) + ")";
        return nullptr;
    }
    return gl;
}
