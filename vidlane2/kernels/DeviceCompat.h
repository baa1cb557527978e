// Lets one function body serve both a CUDA thread and a CPU loop over the same grid.
#pragma once

#include <cstdint>
#include <cstring>
#if !defined(__CUDA_ARCH__)
#include <cstdio>
#include <cstdlib>
#endif

#if defined(__CUDACC__)
#define VIDLANE_HD __host__ __device__
#else
#define VIDLANE_HD
#endif

namespace vidlane2 {

// Width of the scalar kernels' loads and stores on their packed side: bytes, or one
// 16- or 32-bit word a value where pointer and pitch are aligned to it.
enum class Access { Bytes, Words };

#if !defined(__CUDA_ARCH__)
// The device faults on a misaligned access that the host would take silently, so
// the CPU reference refuses one too.
template <class T>
inline void requireAligned(const std::uint8_t* p)
{
    if (reinterpret_cast<std::uintptr_t>(p) % alignof(T) == 0) return;
    std::fprintf(stderr, "vidlane2 kernel rule: %zu-byte access at %p is misaligned\n", sizeof(T),
                 static_cast<const void*>(p));
    std::abort();
}
#endif

// Width-exact loads and stores through byte pointers: the device gets the one
// access the type stands for, the host the same bytes without aliasing trouble.
template <class T>
VIDLANE_HD inline T loadAs(const std::uint8_t* p)
{
#if defined(__CUDA_ARCH__)
    return *reinterpret_cast<const T*>(p);
#else
    requireAligned<T>(p);
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
#endif
}

template <class T>
VIDLANE_HD inline void storeAs(std::uint8_t* p, const T& value)
{
#if defined(__CUDA_ARCH__)
    *reinterpret_cast<T*>(p) = value;
#else
    requireAligned<T>(p);
    std::memcpy(p, &value, sizeof value);
#endif
}

} // namespace vidlane2
