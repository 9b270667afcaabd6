// Exchange turnaround: one SendCommand against the simulator answering at once,
// next to a raw poll/read ping-pong with the same simulator over the same pty as
// the floor. Rounds alternate between the two so machine noise hits both alike.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "BenchStats.h"
#include "Benches.h"
#include "RecordingWindow.h"
#include "WorkerRunner.h"
#include "link/DeviceLink.h"
#include "link/SharedState.h"
#include "tools/devsim/DeviceSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kCommand[] = "MCU001\r";  // a new MCU loader answers with its status
constexpr int kRounds = 6;
constexpr int kPerRound = 400;

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Raw ping-pong: write the command, poll and read until the reply's CR.
std::vector<double> RawRound(const std::string& path) {
    std::vector<double> samples;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return samples;
    }
    termios tio = {};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B2400);
    cfsetospeed(&tio, B2400);
    tcsetattr(fd, TCSANOW, &tio);
    for (int i = 0; i < kPerRound; ++i) {
        const auto start = Clock::now();
        if (write(fd, kCommand, sizeof kCommand - 1) < 0) {
            break;
        }
        char buffer[64];
        bool done = false;
        while (!done) {
            pollfd pfd = {fd, POLLIN, 0};
            if (poll(&pfd, 1, 1000) <= 0) {
                break;
            }
            const ssize_t n = read(fd, buffer, sizeof buffer);
            done = n > 0 && std::memchr(buffer, '\r', static_cast<size_t>(n)) != nullptr;
        }
        if (done) {
            samples.push_back(MicrosecondsSince(start));
        }
    }
    close(fd);
    return samples;
}

// The tool's path: listener, posted notification, window-thread read, worker.
std::vector<double> LinkRound(CDeviceLink& link, const std::string& path) {
    std::vector<double> samples;
    RunOnWorker([&] {
        link.OpenPort(path, false);
        for (int i = 0; i < kPerRound; ++i) {
            char reply[CDeviceLink::kReplySize] = {};
            const auto start = Clock::now();
            if (link.SendCommand(kCommand, reply) > 0) {
                samples.push_back(MicrosecondsSince(start));
            }
        }
        link.ClosePort();
    });
    return samples;
}

}  // namespace

bool BenchExchange() {
    devsim::Options options;
    options.device.mcu = devsim::Generation::New;
    devsim::DeviceSimulator device(options);
    if (!device.Start()) {
        std::fprintf(stderr, "exchange: %s\n", device.LastError().c_str());
        return false;
    }
    RecordingWindow window;
    CDeviceLink link(window);
    std::vector<double> raw;
    std::vector<double> tool;
    for (int round = 0; round < kRounds; ++round) {
        const auto r = RawRound(device.SlavePath());
        raw.insert(raw.end(), r.begin(), r.end());
        const auto t = LinkRound(link, device.SlavePath());
        tool.insert(tool.end(), t.begin(), t.end());
    }
    const Distribution floor = Summarise(raw);
    const Distribution measured = Summarise(tool);
    const double ratio = floor.median > 0 ? measured.median / floor.median : 0;
    char value[160];
    std::snprintf(value, sizeof value,
                  "median %.0f us (floor %.0f), p99 %.0f us (floor %.0f); %.2fx floor",
                  measured.median, floor.median, measured.p99, floor.p99, ratio);
    const bool met = ratio <= 2.5 && measured.p99 < 500 &&
                     tool.size() == static_cast<size_t>(kRounds * kPerRound);
    PrintRow("exchange turnaround", value, "<= 2.5x floor, p99 < 500 us", met);
    return met;
}
