#include "ProcessUsage.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace {

double Ms(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
}

double CpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return Ms(usage.ru_utime) + Ms(usage.ru_stime);
}

// A "Name:  value kB" line of /proc/self/status; -1 when it is not there.
long StatusKb(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(name, 0) == 0) {
            return std::strtol(line.c_str() + name.size(), nullptr, 10);
        }
    }
    return -1;
}

}  // namespace

double ProcessCpuMs() {
    return CpuMs(RUSAGE_SELF);
}

double ReapedChildrenCpuMs() {
    return CpuMs(RUSAGE_CHILDREN);
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The "cpu" line of /proc/stat: user nice system idle iowait irq softirq steal, in
// clock ticks (guest time is already inside user).
MachineCpu MachineCpuMs() {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    if (!(stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal)) {
        return {};
    }
    const double msPerTick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return {(user + nice + system + irq + softirq) * msPerTick, steal * msPerTick};
}

long CurrentRssKb() {
    return StatusKb("VmRSS:");
}

long PeakRssKb() {
    const long peak = StatusKb("VmHWM:");
    if (peak >= 0) {
        return peak;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Linux: "5" to clear_refs resets the peak.
void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
