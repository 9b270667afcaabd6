#pragma once

#include <QTimer>
#include <chrono>
#include <vector>

// How late the event loop of the calling thread serves a timer: a precise
// single-shot timer is started again at every timeout, and each timeout records
// how long after its due time it came.
class LoopProbe {
  public:
    explicit LoopProbe(std::chrono::milliseconds interval);

    void Start();
    void Stop();
    // The lateness of every timeout so far, in microseconds.
    const std::vector<double>& LatenessUs() const { return m_latenessUs; }

  private:
    using Clock = std::chrono::steady_clock;

    void Arm();
    void OnTimeout();

    std::chrono::milliseconds m_interval;
    QTimer m_timer;
    Clock::time_point m_due;
    std::vector<double> m_latenessUs;
};
