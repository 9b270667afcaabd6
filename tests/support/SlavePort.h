#pragma once

// The tool's side of the simulator's pty, driven with plain POSIX calls: open the
// slave, set the line speed, write commands, read replies.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace devsim::test {

using namespace std::chrono_literals;

class SlavePort {
  public:
    // Opens path raw at the given speed (O_NOCTTY, non-blocking).
    SlavePort(const std::string& path, int baud);
    ~SlavePort();
    SlavePort(const SlavePort&) = delete;
    SlavePort& operator=(const SlavePort&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    bool SetBaud(int baud);
    void Close();

    void Write(std::string_view bytes);
    // Text up to the next CR (without it); empty optional if none came in time.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = 2000ms);
    // Every byte that arrives until the line has been quiet for `quiet`.
    std::string ReadUntilQuiet(std::chrono::milliseconds quiet);
    // Writes command + CR and reads the reply line.
    std::optional<std::string> Ask(std::string_view command,
                                   std::chrono::milliseconds timeout = 2000ms);
    // Writes command + CR and expects nothing back for `quiet`.
    bool AskExpectingSilence(std::string_view command, std::chrono::milliseconds quiet = 150ms);

  private:
    // Waits up to timeout for bytes and appends them to pending_; false if none came.
    bool ReadSome(std::chrono::milliseconds timeout);

    int fd_ = -1;
    std::string pending_;
};

}  // namespace devsim::test
