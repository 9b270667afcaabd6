#include "SlavePort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <utility>

namespace devsim::test {
namespace {

speed_t SpeedCode(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        default:
            return B115200;
    }
}

}  // namespace

SlavePort::SlavePort(const std::string& path, int baud) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0 && !SetBaud(baud)) {
        Close();
    }
}

SlavePort::~SlavePort() {
    Close();
}

bool SlavePort::SetBaud(int baud) {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, SpeedCode(baud));
    cfsetospeed(&tio, SpeedCode(baud));
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
}

void SlavePort::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    pending_.clear();
}

void SlavePort::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool SlavePort::ReadSome(std::chrono::milliseconds timeout) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0 || !(pfd.revents & POLLIN)) {
        return false;
    }
    std::array<char, 4096> buffer{};
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n <= 0) {
        return false;
    }
    pending_.append(buffer.data(), static_cast<std::size_t>(n));
    return true;
}

std::optional<std::string> SlavePort::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t cr = pending_.find('\r');
        if (cr != std::string::npos) {
            std::string line = pending_.substr(0, cr);
            pending_.erase(0, cr + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= 0ms || !ReadSome(left)) {
            return std::nullopt;
        }
    }
}

std::string SlavePort::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    while (ReadSome(quiet)) {
    }
    return std::exchange(pending_, {});
}

std::optional<std::string> SlavePort::Ask(std::string_view command,
                                          std::chrono::milliseconds timeout) {
    Write(std::string(command) + '\r');
    return ReadLine(timeout);
}

bool SlavePort::AskExpectingSilence(std::string_view command, std::chrono::milliseconds quiet) {
    Write(std::string(command) + '\r');
    return ReadUntilQuiet(quiet).empty();
}

}  // namespace devsim::test
