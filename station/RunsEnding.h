#pragma once

#include <QObject>
#include <QTimer>

class CStation;

// Ends every run and waits, for a bounded time, until their results are stored:
// closing the window and a signal end the station this way.
class CRunsEnding : public QObject {
    Q_OBJECT

  public:
    explicit CRunsEnding(CStation& station, QObject* parent = nullptr);

    // Stops every run as Stop all does; Ended follows once no run is left, or when
    // the wait ran out.
    void Begin();
    bool Begun() const { return m_begun; }

  signals:
    void Ended();

  private:
    void Finish();

    CStation& m_station;
    QTimer m_limit;
    bool m_begun = false;
    bool m_ended = false;
};
