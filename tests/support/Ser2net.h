// RFC 2217 servers on 127.0.0.1 for the network port's tests: ser2net in front of one terminal
// device, and a server that takes connections and never says a word.
#pragma once
#include "TempDir.h"

#include <string>
#include <sys/types.h>

namespace testsupport {

// A TCP port of 127.0.0.1 that nothing listened on when it was chosen.
int freeLocalPort();

// The network port name of a port of 127.0.0.1.
std::string localNetworkPortName(int port);

class Ser2net {
public:
    explicit Ser2net(const std::string &devicePath);
    ~Ser2net() { stop(); }
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Starts ser2net in the foreground (its device set to 115200n81 until a client says
    // otherwise) and waits until it listens.
    bool start(int timeoutMs = 10000);
    void stop();
    std::string name() const { return localNetworkPortName(port_); }
    // Why start() failed: ser2net's own output.
    const std::string &error() const { return error_; }

private:
    TempDir files_;
    std::string device_;
    int port_;
    pid_t pid_ = -1;
    std::string error_;
};

// Listens on 127.0.0.1 and never accepts: the kernel completes each connection, nothing answers.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;
    bool ok() const { return fd_ >= 0; }
    std::string name() const { return localNetworkPortName(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace testsupport
