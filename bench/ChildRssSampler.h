#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// The summed resident memory of this process's children of one name (their
// comm), read from /proc on a thread of its own every `period`; keeps the peak.
// The thread's own CPU time is kept apart, so a caller can leave it out of the
// process's figures.
class ChildRssSampler {
  public:
    ChildRssSampler(std::string name, std::chrono::milliseconds period);
    ~ChildRssSampler();
    ChildRssSampler(const ChildRssSampler&) = delete;
    ChildRssSampler& operator=(const ChildRssSampler&) = delete;

    // Ends the sampling; the figures below are final once it returns.
    void Stop();

    long PeakKb() const { return m_peakKb; }
    int ChildrenAtPeak() const { return m_childrenAtPeak; }
    double OwnCpuMs() const { return m_ownCpuMs; }

  private:
    void Run();
    void SampleOnce();

    const std::string m_name;
    const std::chrono::milliseconds m_period;
    const pid_t m_parent;
    const long m_pageKb;
    long m_peakKb = 0;
    int m_childrenAtPeak = 0;
    double m_ownCpuMs = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
