#include "station/RunsEnding.h"

#include "link/Timeouts.h"
#include "station/Station.h"

CRunsEnding::CRunsEnding(CStation& station, QObject* parent) : QObject(parent), m_station(station) {
    m_limit.setSingleShot(true);
    m_limit.setInterval(static_cast<int>(timing::Scaled(timing::kStationCloseWaitMs)));
    connect(&m_limit, &QTimer::timeout, this, &CRunsEnding::Finish);
    connect(&m_station, &CStation::AllRunsEnded, this, [this] {
        if (m_begun) {
            Finish();
        }
    });
}

void CRunsEnding::Begin() {
    if (m_begun) {
        return;
    }
    m_begun = true;
    m_limit.start();
    m_station.StopAll();
    // Told from the event loop, also when nothing was running.
    if (m_station.RunningCount() == 0) {
        QTimer::singleShot(0, this, &CRunsEnding::Finish);
    }
}

void CRunsEnding::Finish() {
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_limit.stop();
    emit Ended();
}
