// The Linux result window: a datagram socket owned by the result thread. Only
// messages of the right size from the launcher's own user reach the handler.

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <mutex>

#include "Platform.h"
#include "ResultWindowAddress.h"

namespace Platform {

std::atomic<std::uintptr_t> resultThread{0};
std::atomic<std::uintptr_t> resultWindow{0};

namespace {

// The handler is called only under this lock, so a stop that clears it under the
// lock knows that no call is under way and none can follow.
std::mutex handlerLock;
ResultHandler handler = nullptr;
std::atomic<int> windowSocket{-1};
std::atomic<bool> destroyRequested{false};
std::atomic<std::uint64_t> windowSequence{0};
pthread_t channelThread;
bool channelJoinable = false;

// Never 0, and unique while the launcher runs: the pid in the high bits keeps
// launchers apart, the sequence keeps this launcher's windows apart.
std::uint64_t NextWindowNumber()
{
    return (static_cast<std::uint64_t>(getpid()) << 20) + (++windowSequence & 0xFFFFF);
}

// Creates and names the window; -1 when that fails.
int CreateWindowSocket(std::uint64_t& number)
{
    const int socketFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0)
        return -1;
    const int on = 1;
    if (setsockopt(socketFd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) {
        close(socketFd);
        return -1;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        number = NextWindowNumber();
        sockaddr_un address;
        const socklen_t length = ResultWire::WindowAddress(number, address);
        if (bind(socketFd, reinterpret_cast<const sockaddr*>(&address), length) == 0)
            return socketFd;
        if (errno != EADDRINUSE)
            break;
    }
    close(socketFd);
    return -1;
}

// True for a datagram of exactly one message whose sender runs as our user.
bool IsOwnMessage(const msghdr& header, ssize_t received)
{
    if (received != static_cast<ssize_t>(ResultWire::messageSize) || (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)))
        return false;
    for (cmsghdr* part = CMSG_FIRSTHDR(&header); part; part = CMSG_NXTHDR(const_cast<msghdr*>(&header), part)) {
        if (part->cmsg_level == SOL_SOCKET && part->cmsg_type == SCM_CREDENTIALS) {
            ucred credentials;
            std::memcpy(&credentials, CMSG_DATA(part), sizeof credentials);
            return credentials.uid == getuid();
        }
    }
    return false;
}

void* ResultWindowThread(void*)
{
    std::uint64_t number = 0;
    const int socketFd = CreateWindowSocket(number);
    if (socketFd < 0) {
        resultThread.store(0);
        return reinterpret_cast<void*>(1);
    }
    windowSocket.store(socketFd);
    resultWindow.store(number);

    // A destroy that came before the socket was published finds it here.
    while (!destroyRequested.load()) {
        unsigned char bytes[ResultWire::messageSize + 1];
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(ucred))];
        iovec buffer{bytes, sizeof bytes};
        msghdr header{};
        header.msg_iov = &buffer;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t received = recvmsg(socketFd, &header, 0);
        if (received < 0 && errno != EINTR && errno != EAGAIN)
            break;
        if (!IsOwnMessage(header, received))
            continue;
        const ResultWire::Message message = ResultWire::Decode(bytes);
        if (message.number == resultMessage) {
            const std::lock_guard<std::mutex> hold(handlerLock);
            if (handler)
                handler(message.wParam, message.lParam);
        }
    }

    // The socket is closed by whoever joins this thread, so that a destroy never
    // shuts down a reused descriptor.
    resultThread.store(0);
    return nullptr;
}

} // namespace

void StartResultChannel(ResultHandler resultHandler)
{
    {
        const std::lock_guard<std::mutex> hold(handlerLock);
        handler = resultHandler;
    }
    destroyRequested.store(false);
    resultWindow.store(0);
    channelJoinable = pthread_create(&channelThread, nullptr, ResultWindowThread, nullptr) == 0;
    resultThread.store(channelJoinable ? static_cast<std::uintptr_t>(channelThread) : 0);
}

void StopResultChannel()
{
    // Destroying the window: a shut-down socket makes the blocked receive return.
    destroyRequested.store(true);
    const int socketFd = windowSocket.load();
    if (socketFd >= 0)
        shutdown(socketFd, SHUT_RDWR);

    if (!channelJoinable)
        return;
    channelJoinable = false;
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += 100 * 1000 * 1000;
    if (deadline.tv_nsec >= 1000 * 1000 * 1000) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000 * 1000 * 1000;
    }
    if (pthread_timedjoin_np(channelThread, nullptr, &deadline) == 0) {
        const int published = windowSocket.exchange(-1);
        if (published >= 0)
            close(published);
    } else {
        // A thread is never killed here; it ends at its next receive. A delivery
        // under way finishes first, and none follows.
        {
            const std::lock_guard<std::mutex> hold(handlerLock);
            handler = nullptr;
        }
        pthread_detach(channelThread);
        resultThread.store(0);
    }
}

} // namespace Platform
