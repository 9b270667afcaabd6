#include "station/SignalEnding.h"

#include <QCoreApplication>
#include <cstdio>

#include "station/Station.h"

CSignalEnding::CSignalEnding(CStation& station, bool batch, QObject* parent)
    : QObject(parent), m_station(station), m_batch(batch), m_ending(station) {
    if (!m_signals.Watching()) {
        std::perror("tovrane-station: cannot watch for signals");
    }
    connect(&m_signals, &CSignalPipe::Received, this, &CSignalEnding::Begin);
    connect(&m_ending, &CRunsEnding::Ended, this, &CSignalEnding::Exit);
}

void CSignalEnding::Begin() {
    if (!m_ending.Begun()) {
        m_station.SetAutoStart(false);
        m_ending.Begin();
    }
}

// A batch ends with its verdict, as when its last run ends; a stopped run failed.
void CSignalEnding::Exit() {
    QCoreApplication::exit(m_batch && !m_station.AllPassedAndStored() ? 1 : 0);
}
