#include <sys/socket.h>
#include <unistd.h>

#include "Platform.h"
#include "ResultWindowAddress.h"

namespace Platform {

bool SendResultMessage(std::uint64_t window, std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam)
{
    if (window == 0)
        return false;
    const int socketFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0)
        return false;
    sockaddr_un address;
    const socklen_t length = ResultWire::WindowAddress(window, address);
    unsigned char bytes[ResultWire::messageSize];
    ResultWire::Encode(bytes, message, wParam, lParam);
    // Blocks while the window's queue is full, so a burst is delayed, not lost.
    const ssize_t sent = sendto(socketFd, bytes, sizeof bytes, 0, reinterpret_cast<const sockaddr*>(&address), length);
    close(socketFd);
    return sent == static_cast<ssize_t>(sizeof bytes);
}

} // namespace Platform
