// A serial port reached over TCP: a client of RFC 2217 (Telnet Com Port Control) that carries
// the serial layer's line settings and purges to the server (ser2net) and keeps the Win32 read
// and write time-out rules on the data, for ComPortAPI's network ports.
#pragma once

#include <string>
#include <vector>

#include "Platform.h"
#include "Socket.h"
#include "Telnet.h"

// "rfc2217://HOST:PORT", HOST a name, an IPv4 address or an IPv6 address in brackets, PORT
// 1..65535: true with its parts (the host without brackets).
bool parseNetworkPortName(const char *name, std::string *host, std::string *port);

enum class NetworkPortReach {
    ABSENT,  // refused, unreachable, or silent
    HELD,    // closed on us: the server gives the port to another client
    REACHED, // negotiated, and the port is ours
};

class NetworkPort {
public:
    // Connects and negotiates, then asks for the rate without changing it: a server that gives
    // the port to someone else closes instead (ser2net first sends "Port already in use\r\n",
    // which never reaches a read).
    NetworkPortReach connect(const std::string &host, const std::string &port);
    // SetCommTimeouts: kept here, the server has no use for them.
    void setTimeouts(const COMMTIMEOUTS &timeouts) { timeouts_ = timeouts; }
    // SetCommState: sends the rate, character format and flow control that differ from what the
    // server was last asked for. FALSE when it acknowledged another value or is gone.
    BOOL setLineSettings(const DCB &dcb);
    // PurgeComm: the CLEAR flags, here and at the server.
    BOOL purge(DWORD flags);
    // ReadFile and WriteFile, by the Win32 time-out rules; FALSE once the connection is gone.
    BOOL read(void *buffer, DWORD count, DWORD *received);
    BOOL write(const void *buffer, DWORD count, DWORD *written);
    // From another thread: ends the transfer under way, and the port.
    void stopTransfers() { link_.shutdown(); }

private:
    struct Request {
        uint8_t command;
        std::string value;
        bool query; // asks without setting: any acknowledged value will do
    };
    void ask(const Request &request);
    bool exchange(Deadline deadline);
    bool pump(Deadline deadline);
    void take(const telnet::Command &command);
    void keep(const std::string &data, size_t from, size_t to);
    bool flush(Deadline deadline);
    bool purgeAwaited() const;
    std::string *askedFor(uint8_t command);

    TcpConnection link_;
    telnet::Decoder decoder_;
    telnet::Negotiation negotiation_;
    bool gone_ = false;
    COMMTIMEOUTS timeouts_{};
    std::string input_;  // data come and not read yet
    std::string unsent_; // bytes of the Telnet stream, committed, that the server has not taken yet
    std::vector<Request> awaited_;
    bool refused_ = false; // an acknowledgement carried another value than asked
    // By line-setting command (SET-BAUDRATE 1 to SET-CONTROL 5): the value the server was last
    // asked for.
    std::string asked_[6] = {};
};
