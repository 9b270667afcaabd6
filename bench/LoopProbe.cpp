#include "LoopProbe.h"

LoopProbe::LoopProbe(std::chrono::milliseconds interval) : m_interval(interval) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { OnTimeout(); });
}

void LoopProbe::Start() {
    m_latenessUs.clear();
    Arm();
}

void LoopProbe::Stop() {
    m_timer.stop();
}

void LoopProbe::Arm() {
    m_due = Clock::now() + m_interval;
    m_timer.start(m_interval);
}

void LoopProbe::OnTimeout() {
    m_latenessUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - m_due).count());
    Arm();
}
