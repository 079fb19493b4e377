// Test support for the device link: pseudo-terminals named as COM ports through a
// private ports directory, and scripted peers on their master sides where a test needs the
// raw bytes or their timing (the other link tests talk to unitsim).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// A pseudo-terminal. The master side stands for the unit; the slave is what the tool opens.
// The pty keeps a slave descriptor of its own so that the master does not see a hang-up
// while the tool has the port closed.
class Pty {
public:
    Pty();
    ~Pty();
    const std::string &slavePath() const { return slavePath_; }
    int master() const { return master_; }
    // The rate and CTS flag that the tool set on the slave, as the master sees them.
    int baudRate() const;
    bool ctsFlowControl() const;
    void send(const std::string &bytes) const;
    // Everything that arrives until the line has been silent for quietMs.
    std::string receiveUntilQuiet(int quietMs) const;
    // Closes the master: the device is gone for whoever holds the slave.
    void unplug();

private:
    int master_ = -1;
    int keepOpen_ = -1;
    std::string slavePath_;
};

// Runs a script against a pty on its own thread, joined on destruction.
class PtyPeer {
public:
    PtyPeer(Pty &pty, std::function<void(Pty &, const std::atomic<bool> &stop)> script);
    ~PtyPeer();

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Waits for count bytes and returns them; once stop is set, only while bytes keep coming.
std::string receiveBytes(const Pty &pty, size_t count, const std::atomic<bool> &stop);

// Milliseconds spent by f.
long long elapsedMs(const std::function<void()> &f);
