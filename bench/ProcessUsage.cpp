#include "ProcessUsage.h"

#include <sys/resource.h>

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
