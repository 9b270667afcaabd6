#include "app/PortProbe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kPortNumbers = 30;
const char* const kPortPrefixes[] = {"/dev/ttyUSB", "/dev/ttyACM", "/dev/ttyS"};

}  // namespace

std::vector<std::string> CandidatePorts() {
    std::vector<std::string> paths;
    for (const char* prefix : kPortPrefixes) {
        for (int n = 0; n < kPortNumbers; ++n) {
            paths.push_back(prefix + std::to_string(n));
        }
    }
    return paths;
}

bool PortOpens(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // The port layer holds an open port with an exclusive lock; a held port is busy.
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

std::vector<std::string> ProbePorts(const PortProbe& probe) {
    std::vector<std::string> present;
    for (const std::string& path : CandidatePorts()) {
        if (probe(path)) {
            present.push_back(path);
        }
    }
    return present;
}
