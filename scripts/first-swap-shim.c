// Preloaded into a program (or into Wine running one) by bench-first-frame.sh:
// notes the wall-clock time at which the program's first frame swap returns, in
// nanoseconds since the epoch, in $FIRST_SWAP_OUT, and then ends the process.
// With $FIRST_SWAP_SHOT it first saves a screenshot there (after the time is taken).
//
// GLFW and Wine look glXSwapBuffers up in a libGL they opened themselves, with
// dlsym or glXGetProcAddressARB, so those lookups are where the swap is caught.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapFunction)(void* display, unsigned long drawable);
typedef void* (*LookupFunction)(void* handle, const char* name);
typedef void* (*GlxLookupFunction)(const unsigned char* name);

static SwapFunction realSwap;
static GlxLookupFunction realGlxLookup;

static LookupFunction RealDlsym(void)
{
    static LookupFunction real;
    if (!real) {
        real = (LookupFunction)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
        if (!real)
            real = (LookupFunction)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
    }
    return real;
}

static void FirstSwap(void* display, unsigned long drawable)
{
    // GLFW swaps once while it creates the window, to present it cleared: that
    // is no frame of the program's.
    static int swaps;
    realSwap(display, drawable);
    if (++swaps < 2)
        return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    // The screen as the swap left it, taken by a program of its own.
    const char* shot = getenv("FIRST_SWAP_SHOT");
    if (shot && *shot) {
        char command[4096];
        snprintf(command, sizeof command, "import -window root '%s'", shot);
        if (system(command) != 0)
            fprintf(stderr, "first-swap-shim: no screenshot\n");
    }
    const char* out = getenv("FIRST_SWAP_OUT");
    FILE* file = out ? fopen(out, "w") : NULL;
    if (file) {
        fprintf(file, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
        fclose(file);
    }
    _exit(0);
}

static void* Caught(const char* name, void* found)
{
    if (found && __builtin_strcmp(name, "glXSwapBuffers") == 0) {
        realSwap = (SwapFunction)found;
        return (void*)FirstSwap;
    }
    return found;
}

// Wine looks its GLX functions up through glXGetProcAddressARB.
static void* GlxLookup(const unsigned char* name)
{
    return Caught((const char*)name, realGlxLookup(name));
}

void* dlsym(void* handle, const char* name)
{
    void* found = RealDlsym()(handle, name);
    if (found && (__builtin_strcmp(name, "glXGetProcAddressARB") == 0 || __builtin_strcmp(name, "glXGetProcAddress") == 0)) {
        realGlxLookup = (GlxLookupFunction)found;
        return (void*)GlxLookup;
    }
    return Caught(name, found);
}
