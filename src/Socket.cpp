#include "Socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

#ifdef _WIN32
typedef SOCKET Native;
const Native NONE = INVALID_SOCKET;

bool socketsReady()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void closeNative(Native s)
{
    closesocket(s);
}

bool setNonBlocking(Native s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

bool wouldBlock()
{
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}

bool interrupted()
{
    return WSAGetLastError() == WSAEINTR;
}

const int SEND_FLAGS = 0;
const int SHUT_BOTH = SD_BOTH;
#else
typedef int Native;
const Native NONE = -1;

bool socketsReady()
{
    return true;
}

void closeNative(Native s)
{
    ::close(s);
}

bool setNonBlocking(Native s)
{
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS;
}

bool interrupted()
{
    return errno == EINTR;
}

// A server that closed must not end the process by SIGPIPE: the write fails instead.
const int SEND_FLAGS = MSG_NOSIGNAL;
const int SHUT_BOTH = SHUT_RDWR;
#endif

Native nativeOf(intptr_t s)
{
    return (Native)s;
}

enum Wait { READY, TIMED_OUT, FAILED };

// Waits until s can be read (or written) or deadline passes. A failed connect shows as
// writable on POSIX systems and as an exception on Winsock: both count as ready, the caller's
// next call tells which.
Wait waitFor(Native s, bool writing, Deadline deadline)
{
    for (;;) {
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval remaining{};
        timeval *timeout = nullptr;
        if (deadline != NO_DEADLINE) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            const int64_t us = left.count() > 0 ? left.count() : 0;
            remaining.tv_sec = (long)(us / 1000000);
            remaining.tv_usec = (long)(us % 1000000);
            timeout = &remaining;
        }
        const int count =
            select((int)(s + 1), writing ? nullptr : &ready, writing ? &ready : nullptr, &failed, timeout);
        if (count > 0) {
            return READY;
        }
        if (count == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return TIMED_OUT;
            }
            continue;
        }
        if (!interrupted()) {
            return FAILED;
        }
    }
}

// getaddrinfo waits as long as the resolver likes: it runs in a thread of its own, left to end
// alone when the deadline passes first, which frees what it found.
struct Resolution {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    addrinfo *found = nullptr;
};

addrinfo *resolve(const std::string &host, const std::string &port, Deadline deadline)
{
    std::shared_ptr<Resolution> resolution = std::make_shared<Resolution>();
    std::thread([resolution, host, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo *found = nullptr;
        if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
            found = nullptr;
        }
        std::lock_guard<std::mutex> lock(resolution->mutex);
        if (resolution->abandoned && found != nullptr) {
            freeaddrinfo(found);
            found = nullptr;
        }
        resolution->found = found;
        resolution->finished = true;
        resolution->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(resolution->mutex);
    if (!resolution->done.wait_until(lock, deadline, [&] { return resolution->finished; })) {
        resolution->abandoned = true;
        return nullptr;
    }
    return resolution->found;
}

// One address's connection by deadline, or NONE.
Native connectTo(const addrinfo &address, Deadline deadline)
{
    Native s = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (s == NONE) {
        return NONE;
    }
    // A command of a few bytes goes out at once, not after the server's delayed acknowledgement.
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char *)&on, sizeof on);
    bool connected = setNonBlocking(s) && (::connect(s, address.ai_addr, (int)address.ai_addrlen) == 0 ||
                                           (wouldBlock() && waitFor(s, true, deadline) == READY));
    if (connected) {
        int error = 0;
        socklen_t size = sizeof error;
        connected = getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&error, &size) == 0 && error == 0;
    }
    if (!connected) {
        closeNative(s);
        return NONE;
    }
    return s;
}

} // namespace

Deadline deadlineAfterMs(int64_t ms)
{
    return ms < 0 ? NO_DEADLINE : std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

bool TcpConnection::connect(const std::string &host, const std::string &port, Deadline deadline)
{
    close();
    if (!socketsReady()) {
        return false;
    }
    addrinfo *found = resolve(host, port, deadline);
    for (addrinfo *address = found; address != nullptr && socket_ == -1; address = address->ai_next) {
        const Native s = connectTo(*address, deadline);
        if (s != NONE) {
            socket_ = (intptr_t)s;
        }
    }
    if (found != nullptr) {
        freeaddrinfo(found);
    }
    return socket_ != -1;
}

bool TcpConnection::receive(char *buffer, size_t size, Deadline deadline, size_t *received)
{
    *received = 0;
    if (socket_ == -1) {
        return false;
    }
    for (;;) {
        const Wait wait = waitFor(nativeOf(socket_), false, deadline);
        if (wait != READY) {
            return wait == TIMED_OUT;
        }
        const long count = (long)recv(nativeOf(socket_), buffer, (int)size, 0);
        if (count > 0) {
            *received = (size_t)count;
            return true;
        }
        if (count == 0 || !(wouldBlock() || interrupted())) {
            return false;
        }
    }
}

bool TcpConnection::send(const char *bytes, size_t size, Deadline deadline, size_t *sent)
{
    *sent = 0;
    if (socket_ == -1) {
        return false;
    }
    while (*sent < size) {
        const long count = (long)::send(nativeOf(socket_), bytes + *sent, (int)(size - *sent), SEND_FLAGS);
        if (count > 0) {
            *sent += (size_t)count;
        } else if (count < 0 && interrupted()) {
            continue;
        } else if (count < 0 && wouldBlock()) {
            const Wait wait = waitFor(nativeOf(socket_), true, deadline);
            if (wait != READY) {
                return wait == TIMED_OUT;
            }
        } else {
            return false;
        }
    }
    return true;
}

void TcpConnection::shutdown()
{
    if (socket_ != -1) {
        ::shutdown(nativeOf(socket_), SHUT_BOTH);
    }
}

void TcpConnection::close()
{
    if (socket_ != -1) {
        closeNative(nativeOf(socket_));
        socket_ = -1;
    }
}
