#include "tools/devsim/Pty.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace devsim {
namespace {

struct SpeedEntry {
    speed_t code;
    int baud;
};

constexpr std::array<SpeedEntry, 13> kSpeeds{{{B300, 300},
                                              {B600, 600},
                                              {B1200, 1200},
                                              {B2400, 2400},
                                              {B4800, 4800},
                                              {B9600, 9600},
                                              {B19200, 19200},
                                              {B38400, 38400},
                                              {B57600, 57600},
                                              {B115200, 115200},
                                              {B230400, 230400},
                                              {B460800, 460800},
                                              {B921600, 921600}}};

speed_t SpeedCode(int baud) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.baud == baud) {
            return e.code;
        }
    }
    return B2400;
}

int SpeedBaud(speed_t code) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.code == code) {
            return e.baud;
        }
    }
    return 0;
}

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool MakeRaw(int fd, int baud) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, SpeedCode(baud));
    cfsetospeed(&tio, SpeedCode(baud));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// A process forked from this one holds the simulator's own slave until it execs: the
// same open file (kcmp), which is not a tool's connection.
bool IsOwnSlave(int ownFd, const char* pid, const char* fd) {
    return ::syscall(SYS_kcmp, ::getpid(), std::atoi(pid), KCMP_FILE, ownFd, std::atoi(fd)) == 0;
}

}  // namespace

std::optional<Pty> Pty::Open(int baud, std::string& error) {
    Pty pty;
    pty.master = UniqueFd(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!pty.master.Valid() || grantpt(pty.master.Get()) != 0 || unlockpt(pty.master.Get()) != 0) {
        error = Failure("cannot create a pseudo-terminal");
        return std::nullopt;
    }
    std::array<char, 128> name{};
    if (ptsname_r(pty.master.Get(), name.data(), name.size()) != 0) {
        error = Failure("cannot name the pseudo-terminal");
        return std::nullopt;
    }
    pty.slavePath = name.data();
    pty.slave = UniqueFd(::open(name.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!pty.slave.Valid() || !MakeRaw(pty.slave.Get(), baud)) {
        error = Failure("cannot open the pseudo-terminal's slave");
        return std::nullopt;
    }
    return pty;
}

int Pty::LineSpeed() const {
    termios tio{};
    if (tcgetattr(master.Get(), &tio) != 0) {
        return 0;
    }
    return SpeedBaud(cfgetospeed(&tio));
}

bool Pty::OpenedByOthers() const {
    struct stat own {};
    if (::fstat(slave.Get(), &own) != 0) {
        return false;
    }
    const std::string self = std::to_string(::getpid());
    const std::string ownFd = std::to_string(slave.Get());
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) {
        return false;
    }
    while (const dirent* process = ::readdir(proc.get())) {
        if (!std::isdigit(static_cast<unsigned char>(process->d_name[0]))) {
            continue;  // "self" and other entries that are no process of their own
        }
        const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
        std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fdDir.c_str()), ::closedir);
        if (!fds) {
            continue;  // not a process, or not ours to look at
        }
        while (const dirent* fd = ::readdir(fds.get())) {
            if (process->d_name == self && fd->d_name == ownFd) {
                continue;
            }
            struct stat st {};
            if (::stat((fdDir + "/" + fd->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == own.st_rdev &&
                !IsOwnSlave(slave.Get(), process->d_name, fd->d_name)) {
                return true;
            }
        }
    }
    return false;
}

void Pty::ResetAfterConnection() const {
    ::ioctl(slave.Get(), TIOCNXCL);
    ::tcflush(slave.Get(), TCIFLUSH);
}

std::optional<OpenWatch> OpenWatch::Create(const std::string& path, std::string& error) {
    OpenWatch watch;
    watch.fd_ = UniqueFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watch.fd_.Valid() || inotify_add_watch(watch.fd_.Get(), path.c_str(),
                                                IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = Failure("cannot watch the pseudo-terminal");
        return std::nullopt;
    }
    return watch;
}

std::vector<int> OpenWatch::Drain() const {
    std::vector<int> changes;
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd_.Get(), buffer.data(), buffer.size());
        if (n <= 0) {
            return changes;
        }
        for (ssize_t pos = 0; pos < n;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + pos, sizeof event);
            if (event.mask & IN_OPEN) {
                changes.push_back(+1);
            }
            if (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                changes.push_back(-1);
            }
            pos += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
}

}  // namespace devsim
