#include "ChildRssSampler.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProcessUsage.h"

namespace {

struct ProcessEntry {
    pid_t parent = 0;
    std::string name;
};

// Parent and name from /proc/<pid>/stat: "pid (name) state ppid ...". The name may
// hold blanks and parentheses, so it ends at the last ')'.
bool ReadEntry(const std::filesystem::path& dir, ProcessEntry& entry) {
    std::ifstream in(dir / "stat");
    std::string stat;
    if (!std::getline(in, stat)) {
        return false;
    }
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    entry.name = stat.substr(open + 1, close - open - 1);
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    return static_cast<bool>(rest >> state >> entry.parent);
}

// Resident pages: the second field of /proc/<pid>/statm.
long ResidentPages(const std::filesystem::path& dir) {
    std::ifstream in(dir / "statm");
    long size = 0;
    long resident = 0;
    return in >> size >> resident ? resident : 0;
}

}  // namespace

ChildRssSampler::ChildRssSampler(std::string name, std::chrono::milliseconds period)
    : m_name(std::move(name)),
      m_period(period),
      m_parent(getpid()),
      m_pageKb(sysconf(_SC_PAGESIZE) / 1024),
      m_thread([this] { Run(); }) {}

ChildRssSampler::~ChildRssSampler() {
    Stop();
}

void ChildRssSampler::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ChildRssSampler::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        SampleOnce();
        lock.lock();
        m_wake.wait_for(lock, m_period, [this] { return m_stop; });
    }
    m_ownCpuMs = ThreadCpuMs();
}

void ChildRssSampler::SampleOnce() {
    long totalKb = 0;
    int children = 0;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = item.path().filename().string();
        ProcessEntry entry;
        if (pid.find_first_not_of("0123456789") != std::string::npos ||
            !ReadEntry(item.path(), entry) || entry.parent != m_parent || entry.name != m_name) {
            continue;
        }
        totalKb += ResidentPages(item.path()) * m_pageKb;
        ++children;
    }
    if (totalKb > m_peakKb) {
        m_peakKb = totalKb;
        m_childrenAtPeak = children;
    }
}
