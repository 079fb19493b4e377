// The TCP connection of a network port, on POSIX sockets or Winsock: resolving, connecting,
// sending and receiving, each bounded by a deadline of the caller's, never by the network.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

typedef std::chrono::steady_clock::time_point Deadline;
// The deadline of a wait that only its end ends (a Win32 time-out of 0).
const Deadline NO_DEADLINE = Deadline::max();

// The deadline ms milliseconds from now; NO_DEADLINE for a negative ms.
Deadline deadlineAfterMs(int64_t ms);

class TcpConnection {
public:
    TcpConnection() = default;
    ~TcpConnection() { close(); }
    TcpConnection(const TcpConnection &) = delete;
    TcpConnection &operator=(const TcpConnection &) = delete;

    // Resolves host (a name, an IPv4 or an IPv6 address) and connects to its port by deadline.
    bool connect(const std::string &host, const std::string &port, Deadline deadline);
    // Takes what has come, waiting for it until deadline: FALSE when the connection is closed or
    // broken, else TRUE with *received possibly 0.
    bool receive(char *buffer, size_t size, Deadline deadline, size_t *received);
    // Hands bytes to the connection until it has taken them all or deadline passes: FALSE when
    // the connection is broken, else TRUE with *sent possibly short.
    bool send(const char *bytes, size_t size, Deadline deadline, size_t *sent);
    // From another thread: ends the transfers under way and every later one.
    void shutdown();
    void close();

private:
    // A POSIX descriptor or a Winsock SOCKET; -1 (INVALID_SOCKET) when there is none.
    intptr_t socket_ = -1;
};
