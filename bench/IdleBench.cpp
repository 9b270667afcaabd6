// Idle cost: the CPU time the whole process uses while one exchange waits 10 s
// for a reply that never comes (a pseudo-terminal with nobody on the far end).
// Every thread of the tool is counted: the worker, the listener, the window's
// event loop and the port layer.
#include <cstdio>

#include "BenchStats.h"
#include "Benches.h"
#include "ProcessUsage.h"
#include "RecordingWindow.h"
#include "WorkerRunner.h"
#include "link/DeviceLink.h"
#include "link/SharedState.h"
#include "link/Timeouts.h"
#include "tools/devsim/Device.h"
#include "tools/devsim/Pty.h"

namespace {

constexpr double kGoalMs = 10;

}  // namespace

bool BenchIdle() {
    std::string error;
    const auto pty = devsim::Pty::Open(devsim::Device::kInitialBaud, error);
    if (!pty) {
        std::fprintf(stderr, "idle: %s\n", error.c_str());
        return false;
    }
    Shared().Reset();
    timing::SetScalePercentForTests(100);
    // The first-data wait (1 s) plus this reply time-out make the 10 s of silence.
    Shared().ReplyTimeout = 10000 - timing::kFirstReplyDataWaitMs;
    RecordingWindow window;
    CDeviceLink link(window);
    double cpuMs = 0;
    double seconds = 0;
    int replied = -1;
    RunOnWorker([&] {
        link.OpenPort(pty->slavePath, false);
        char reply[CDeviceLink::kReplySize] = {};
        const double before = ProcessCpuMs();
        const auto start = std::chrono::steady_clock::now();
        replied = link.SendCommand("MCU001\r", reply);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpuMs = ProcessCpuMs() - before;
        link.ClosePort();
    });
    Shared().Reset();
    char value[160];
    std::snprintf(value, sizeof value, "%.1f ms CPU in a %.1f s wait for a reply", cpuMs, seconds);
    const bool met = replied == 0 && seconds >= 9.9 && cpuMs < kGoalMs;
    PrintRow("idle cost", value, "< 10 ms", met);
    return met;
}
