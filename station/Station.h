#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <map>
#include <memory>
#include <set>

#include "SerialLib/PortInfo/PortEnumerator.h"
#include "SerialLib/PortInfo/PortWatcher.h"
#include "station/AutoStartMode.h"
#include "station/BundleCheck.h"
#include "station/ChildRun.h"
#include "station/FixtureProbing.h"
#include "station/ImageFolderCheck.h"
#include "station/ResultJournal.h"
#include "station/ResultsFile.h"
#include "station/RunVerdict.h"
#include "station/SlotModel.h"

// Where the station finds its child program and the serial devices.
struct StationConfig {
    QString cliPath;  // tovrane-cli
    PortRoots roots;  // where the port list is read and watched
};

// Runs ended since the station started or the counters were reset.
struct RunCounters {
    int passed = 0;
    int failed = 0;
};

// The station without its window: the slots, their runs (one tovrane-cli child
// each), the results file, the image check and auto-start (when an adapter is
// plugged in, or in fixture mode when a board answers). Everything runs on the
// event loop's thread and nothing here waits for a child or a port.
class CStation : public QObject {
    Q_OBJECT

  public:
    explicit CStation(StationConfig config, QObject* parent = nullptr);
    ~CStation() override;

    CSlotModel& Model() { return m_model; }
    CImageFolderCheck& Images() { return m_images; }
    // The release bundle; while one is open, its steps are the operation.
    CBundleCheck& Bundle() { return m_bundle; }

    void SetImagesFolder(const QString& folder);
    void SetOperation(Operation operation) { m_operation = operation; }
    Operation CurrentOperation() const { return m_operation; }
    void SetRequireVerify(bool required);
    bool RequireVerify() const { return m_requireVerify; }
    void SetResultsFile(const QString& path) { m_resultsFile = path; }
    const QString& ResultsFile() const { return m_resultsFile; }
    void SetAutoStart(bool on);
    bool AutoStart() const { return m_autoStart; }
    // Who runs the station and for which work order; each run stores them as they
    // were when it started (empty: null).
    void SetOperator(const QString& name) { m_operatorName = name; }
    const QString& Operator() const { return m_operatorName; }
    void SetWorkOrder(const QString& workOrder) { m_workOrder = workOrder; }
    const QString& WorkOrder() const { return m_workOrder; }
    // Each stored result also goes to the system journal.
    void SetJournal(bool on) { m_journalOn = on; }
    bool Journal() const { return m_journalOn; }
    void SetAutoStartMode(AutoStartMode mode);
    AutoStartMode CurrentAutoStartMode() const { return m_autoStartMode; }
    // Slots hold their ports and wait for boards (auto-start when a board answers).
    bool Probing() const { return m_fixture.Probing(); }
    // On-board UARTs are listed only when asked for; USB adapters always are.
    void SetShowAllPorts(bool all);
    // A slot of its own for a path (a pseudo-terminal, a by-id link).
    void AddGivenPort(const QString& path);

    // Why the images, or the bundle while one is open, keep runs from starting; empty
    // when they do not.
    QString ImagesBlocker() const;
    bool ImagesChecking() const;
    // Why no run can start now; empty when runs can start.
    QString StartBlocker() const;
    // False, with a Notice, when the slot's run cannot start.
    bool StartSlot(int row);
    // Starts every idle slot whose port is usable; how many started (0 with a
    // Notice when none could).
    int StartAll();
    void StopSlot(int row);
    void StopAll();
    // A slot can go when it is idle and its device is gone or it was given by path.
    bool CanRemove(int row) const;
    void RemoveSlot(int row);

    int RunningCount() const;
    const QDateTime& StartedAt() const { return m_startedAt; }
    RunCounters Counters() const { return m_counters; }
    void ResetCounters();
    // Whether every run ended so far passed and had its result stored.
    bool AllPassedAndStored() const { return m_allPassedAndStored; }
    qint64 ChildPid(int row) const;

    void RescanPorts();

  signals:
    // What the images or the bundle's check says changed.
    void ImagesChanged();
    // Why something did not start or a result was not stored, for the operator.
    void Notice(const QString& text);
    void CountersChanged();
    // The last run ended and its result is stored (or could not be).
    void AllRunsEnded();

  private:
    struct PendingResult {
        QString slotId;
        bool passed = false;
        QString words;
        QJsonObject line;  // as stored
    };

    // Marks the slot as running and queues its child; one child starts per pass
    // of the event loop, so starting many keeps the window answering.
    // `startedBy` goes into the run's record (jsonl::kStartedByOperator, ...).
    void Launch(int row, const char* startedBy);
    void StartNextChild();
    void Unqueue(const QString& id);
    void OnLogLine(const QString& id, const QDateTime& time, const QString& text);
    void OnProgress(const QString& id, const ProgressFigures& figures);
    void OnRunEnded(const QString& id, const ChildLaunch& launch, const ChildEnding& ending);
    void OnLoader(const QString& id, const QString& loader);
    void OnStep(const QString& id, const QString& step, int index, int count);
    void OnAppended(quint64 ticket, const QString& error);
    void OnJournalMissed(const QString& why);
    void ApplyPort(const CPortInfo& port, const QString& id, bool probing);
    void SetDevice(int row, const QString& path, const std::optional<PortState>& state,
                   const std::function<void(Slot&)>& describe = {});
    void ForgetGoneDevices(const QStringList& seen);
    void RefreshGivenPorts(const std::set<std::string>& probing);
    void TryAutoStart();
    int CountWhere(const std::function<bool(const Slot&)>& picked) const;
    // Launches every slot picked; how many.
    int LaunchWhere(const std::function<bool(const Slot&)>& picked, const char* startedBy);
    void StartAnsweredBoard(const QString& id, const QString& version);
    void FollowAutoStart();
    void UpdateTimers();
    void TickDurations();
    void UpdateRow(const QString& id, const std::function<void(Slot&)>& change, int first = 0,
                   int last = CSlotModel::ColumnCount - 1);

    StationConfig m_config;
    QDateTime m_startedAt = QDateTime::currentDateTimeUtc();
    CSlotModel m_model;
    CImageFolderCheck m_images;
    CBundleCheck m_bundle;
    CResultsWriter m_writer;
    CFixtureProbing m_fixture;
    CPortWatcher m_watcher;
    QTimer m_rescanDelay;
    QTimer m_autoStartRetry;
    QTimer m_durationTick;
    QTimer m_childStarter;
    std::deque<std::pair<QString, ChildLaunch>> m_startQueue;
    std::map<QString, std::unique_ptr<CChildRun>> m_runs;
    std::map<quint64, PendingResult> m_pending;
    quint64 m_nextTicket = 0;
    Operation m_operation = Operation::UpdateMcu;
    bool m_requireVerify = false;
    bool m_autoStart = false;
    AutoStartMode m_autoStartMode = AutoStartMode::Plug;
    bool m_showAllPorts = false;
    bool m_scannedOnce = false;
    QString m_resultsFile;
    QString m_operatorName;
    QString m_workOrder;
    CResultJournal m_journal;
    bool m_journalOn = true;
    bool m_journalNoted = false;  // the operator was told results go to the file only
    RunCounters m_counters;
    bool m_allPassedAndStored = true;
};
