#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "station/BoardProbe.h"
#include "station/Slot.h"

class CSlotModel;

// Fixture mode, where the adapter stays and only the boards change: every idle slot
// with a device holds its port and asks whether a board is there (CBoardProbe).
// A board that answers in a slot waiting for one is reported, and the station
// starts the slot's run. After a run, whatever its result, the slot waits for the
// board to go: it waits for a board again only once kFixtureSilentProbesToRearm
// queries in a row went unanswered, so a board that stays is never run twice.
// Probe traffic reaches no log. The slots' wait shows in their rows.
class CFixtureProbing : public QObject {
    Q_OBJECT

  public:
    explicit CFixtureProbing(CSlotModel& model, QObject* parent = nullptr);
    ~CFixtureProbing() override;

    // Off lets every probing port go at once and forgets what the slots waited for.
    void SetEnabled(bool on);
    bool Enabled() const { return m_enabled; }
    // Starts and ends probes as the slots now are: one for each idle slot with a
    // device that was not stopped.
    void Follow();
    // A run is about to open the slot's port: the probe lets it go now, and after
    // the run the slot waits for its board to go.
    void BeforeRun(const QString& id);
    // Stop: an idle slot probes no more until its next run or until fixture mode is
    // switched on again. Stop all: every slot, also those running now.
    void Stop(const QString& id);
    void StopAll();
    // The slot goes: its port is let go.
    void Forget(const QString& id);

    bool Probing() const { return !m_watches.empty(); }
    // Ports the station holds for probing: its own, not busy.
    std::set<std::string> HeldPaths() const;

  signals:
    // A board answered in a slot that waits for one.
    void BoardAnswered(const QString& id, const QString& version);

  private:
    struct Watch {
        std::unique_ptr<CBoardProbe> probe;
        int silentInARow = 0;
    };

    void Open(const QString& id, const QString& path);
    void Close(const QString& id);
    void CloseAll();
    void OnAnswered(const QString& id, const QString& version);
    void OnUnanswered(const QString& id);
    void OnPortState(const QString& id, const PortAvailability& availability);
    void SetWait(const QString& id, BoardWait wait);
    void SetWaitOfAll(BoardWait wait);
    void SetWaitOfRow(int row, BoardWait wait);

    CSlotModel& m_model;
    bool m_enabled = false;
    std::map<QString, Watch> m_watches;
};
