// The unit's end of the line: the master side of a pseudo-terminal, optionally published
// as a comN link in a ports directory.
#pragma once
#include "LineSettings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

class PtyLine {
public:
    PtyLine() = default;
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;
    ~PtyLine();

    bool open(std::string &error);
    // Publishes the slave as dir/comN (replacing a stale link, never anything else).
    bool link(const std::string &dir, int com, std::string &error);
    void close();
    // Holds the port's device open from now on: without it the unit could not stop the line
    // once the writer has the device to itself. While it is held, the master sees no hang-up.
    bool holdSlave(std::string &error);
    // Stops the line from the writer's side, for good: its writes wait (see --stop-taking-after).
    void stopWriter();

    int fd() const { return fd_; }
    const std::string &slavePath() const { return slavePath_; }
    const std::string &linkPath() const { return linkPath_; }
    LineSettings settings() const;

private:
    void unlink();

    int fd_ = -1;
    int slaveFd_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};
