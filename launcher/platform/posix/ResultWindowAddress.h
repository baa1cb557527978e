#pragma once
// The Linux result window: a datagram socket in the abstract namespace named
// "vexa_cwclass.<number>". One message is 20 bytes, little-endian: the message
// number (32 bits), wParam (64) and lParam (64).

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace Platform::ResultWire {

constexpr std::size_t messageSize = 20;

// Fills an abstract-namespace address; returns its length.
inline socklen_t WindowAddress(std::uint64_t window, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const int length = std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "vexa_cwclass.%llu",
                                     static_cast<unsigned long long>(window));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

inline void Put(unsigned char* bytes, std::uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline std::uint64_t Get(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return value;
}

inline void Encode(unsigned char (&bytes)[messageSize], std::uint32_t message, std::uint64_t wParam,
                   std::uint64_t lParam)
{
    Put(bytes, message, 4);
    Put(bytes + 4, wParam, 8);
    Put(bytes + 12, lParam, 8);
}

struct Message {
    std::uint32_t number;
    std::uint64_t wParam;
    std::uint64_t lParam;
};

inline Message Decode(const unsigned char* bytes)
{
    return {static_cast<std::uint32_t>(Get(bytes, 4)), Get(bytes + 4, 8), Get(bytes + 12, 8)};
}

} // namespace Platform::ResultWire
