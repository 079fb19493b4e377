// Test support for the device link: pseudo-terminals named as COM ports through a
// private ports directory, and small peers on their master sides.
#ifndef LUMIVANE_TESTS_LINK_PTY_PEER_H
#define LUMIVANE_TESTS_LINK_PTY_PEER_H

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// A console that answers the probe "%help -c version" with the expected reply at its own
// rate and with garbage at any other. It records the rate of every probe it sees.
// answerRate 0 plays a port with nothing behind it; probesToIgnore skips the first
// probes at its own rate.
class ProbeAnswerer {
public:
    ProbeAnswerer(Pty &pty, int answerRate, int probesToIgnore = 0);
    std::vector<int> probeRates() const;

private:
    void serve(Pty &pty, const std::atomic<bool> &stop);
    int answerRate_;
    int probesToIgnore_;
    mutable std::mutex mutex_;
    std::vector<int> probeRates_;
    PtyPeer peer_;
};

// Milliseconds spent by f.
long long elapsedMs(const std::function<void()> &f);

#endif
