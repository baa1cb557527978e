// Lets one function body serve both a CUDA thread and a CPU loop over the same grid.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__CUDACC__)
#define VIDLANE_HD __host__ __device__
#else
#define VIDLANE_HD
#endif

namespace vidlane2 {

// Width-exact loads and stores through byte pointers: the device gets the one
// access the type stands for, the host the same bytes without aliasing trouble.
template <class T>
VIDLANE_HD inline T loadAs(const std::uint8_t* p)
{
#if defined(__CUDA_ARCH__)
    return *reinterpret_cast<const T*>(p);
#else
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
    std::memcpy(p, &value, sizeof value);
#endif
}

} // namespace vidlane2
