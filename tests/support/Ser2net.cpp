#include "Ser2net.h"

#include "RunProgram.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace testsupport {

namespace {

// A socket of 127.0.0.1 on port (0: one the kernel picks): its descriptor and port, or -1.
int localSocket(int port, int *bound)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((uint16_t)port);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, (sockaddr *)&address, sizeof address) != 0 ||
        getsockname(fd, (sockaddr *)&address, &size) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    *bound = ntohs(address.sin_port);
    return fd;
}

// Whether a socket listens on 127.0.0.1:port, as the kernel lists it (no connection made: one
// would make ser2net open its device).
bool listensOn(int port)
{
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") {
            return true;
        }
    }
    return false;
}

} // namespace

int freeLocalPort()
{
    int port = 0;
    const int fd = localSocket(0, &port);
    if (fd < 0) {
        return 0;
    }
    close(fd);
    return port;
}

std::string localNetworkPortName(int port)
{
    return "rfc2217://127.0.0.1:" + std::to_string(port);
}

Ser2net::Ser2net(const std::string &devicePath) : device_(devicePath), port_(freeLocalPort()) {}

bool Ser2net::start(int timeoutMs)
{
    const std::string config = files_.file("ser2net.yaml");
    writeFile(config, "connection: &unit\n"
                      "    accepter: telnet(rfc2217),tcp,127.0.0.1," +
                          std::to_string(port_) +
                          "\n"
                          "    connector: serialdev," +
                          device_ + ",115200n81,local\n");
    RunOptions options;
    // In the foreground (-n), without UUCP lock files (-u), its process id file in the test's folder.
    options.argv = {"/usr/sbin/ser2net", "-n", "-u", "-P", files_.file("pid"), "-c", config};
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = spawn(options, in, files_.file("out"), files_.file("err"));
    close(in);
    if (pid_ > 0 &&
        pollFor([this] { return listensOn(port_) || waitpid(pid_, nullptr, WNOHANG) != 0; }, timeoutMs) &&
        listensOn(port_)) {
        return true;
    }
    error_ = readFile(files_.file("out")) + readFile(files_.file("err"));
    stop();
    return false;
}

void Ser2net::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!pollFor([this] { return waitpid(pid_, nullptr, WNOHANG) != 0; }, 5000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
}

SilentServer::SilentServer()
{
    fd_ = localSocket(0, &port_);
    if (fd_ >= 0 && listen(fd_, 4) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

SilentServer::~SilentServer()
{
    if (fd_ >= 0) {
        close(fd_);
    }
}

} // namespace testsupport
