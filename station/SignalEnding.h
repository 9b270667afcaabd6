#pragma once

#include <QObject>

#include "cli/SignalPipe.h"
#include "station/RunsEnding.h"

class CStation;

// SIGTERM and SIGINT (a line's start-up script, a systemd unit, Ctrl-C) end the
// station cleanly: no run starts any more and every probing port is closed, the
// runs going on are stopped as Stop all stops them, their results are stored
// (bounded, as closing the window waits), and the program exits: with status 0, or
// for a batch (--quit-when-done) with its verdict.
class CSignalEnding : public QObject {
    Q_OBJECT

  public:
    CSignalEnding(CStation& station, bool batch, QObject* parent = nullptr);

  private:
    void Begin();
    void Exit();

    CStation& m_station;
    bool m_batch;
    CSignalPipe m_signals;
    CRunsEnding m_ending;
};
