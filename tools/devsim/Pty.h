#pragma once

// The pseudo-terminal the simulator plays the device on, and the watch that tells
// when the tool opens and closes its side.

#include <optional>
#include <string>
#include <vector>

#include "SerialLib/Serial/posix/UniqueFd.h"

namespace devsim {

// The master side (non-blocking, read and written by the simulator) and one slave
// descriptor of our own. Keeping the slave open means the master never sees a
// hang-up between the tool's connections (it would poll POLLHUP without end);
// this descriptor is never read and never locked, so the tool can still open the
// slave with TIOCEXCL and flock.
struct Pty {
    UniqueFd master;
    UniqueFd slave;
    std::string slavePath;

    // Opens a pty whose line starts raw, 8N1, at the given speed.
    static std::optional<Pty> Open(int baud, std::string& error);

    // The line speed the slave side has set, read through the master (0 unknown).
    int LineSpeed() const;
    // Whether a descriptor other than our own slave's (ours, or a copy a child forked
    // from this process holds until it execs) refers to the slave (the processes of
    // /proc/*/fd that we may look at).
    bool OpenedByOthers() const;
    // Drops what the device wrote that nobody read, and lifts an exclusive mode a
    // closed connection left behind (our own descriptor keeps the tty alive, so the
    // kernel does not clear it on the last close).
    void ResetAfterConnection() const;
};

// Follows opens and closes of the slave path by others (inotify). The kernel
// merges identical events that follow each other unread, so two opens in a row
// may arrive as one: the counts are a hint, Pty::OpenedByOthers() decides.
class OpenWatch {
  public:
    static std::optional<OpenWatch> Create(const std::string& path, std::string& error);

    int Fd() const { return fd_.Get(); }
    // Reads the queued events; returns +1 per open and -1 per close, in order.
    std::vector<int> Drain() const;

  private:
    UniqueFd fd_;
};

}  // namespace devsim
