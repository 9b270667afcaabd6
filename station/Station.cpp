#include "station/Station.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <algorithm>
#include <set>

#include "SerialLib/PortInfo/PortStateProbe.h"
#include "cli/JsonLines.h"
#include "link/Timeouts.h"
#include "station/BundleTexts.h"

namespace {

// A run's log keeps this many lines; older ones give way.
constexpr size_t kMaxLogLines = 5000;
constexpr int kDurationTickMs = 1000;

QString CanonicalPath(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

// A port held here is not probed: the probe's lock would fail on it.
std::optional<PortState> GivenPortState(const QString& path, bool heldHere) {
    if (!QFileInfo::exists(path)) {
        return std::nullopt;
    }
    return heldHere ? PortState::Usable : ProbePortState(path.toStdString()).state;
}

// Starts `timer` when it should run and is not running yet, stops it when it should not.
void RunWhile(QTimer& timer, bool wanted) {
    if (!wanted) {
        timer.stop();
    } else if (!timer.isActive()) {
        timer.start();
    }
}

}  // namespace

CStation::CStation(StationConfig config, QObject* parent)
    : QObject(parent),
      m_config(std::move(config)),
      m_images(m_config.cliPath),
      m_bundle(m_config.cliPath),
      m_fixture(m_model),
      m_watcher(m_config.roots.dev),
      m_resultsFile(DefaultResultsFile()) {
    m_rescanDelay.setSingleShot(true);
    m_rescanDelay.setInterval(static_cast<int>(timing::Scaled(timing::kPortRescanDelayMs)));
    m_autoStartRetry.setInterval(static_cast<int>(timing::Scaled(timing::kAutoStartRetryMs)));
    m_durationTick.setInterval(kDurationTickMs);
    connect(&m_watcher, &CPortWatcher::PortsChanged, &m_rescanDelay, qOverload<>(&QTimer::start));
    connect(&m_rescanDelay, &QTimer::timeout, this, &CStation::RescanPorts);
    connect(&m_autoStartRetry, &QTimer::timeout, this, &CStation::RescanPorts);
    connect(&m_durationTick, &QTimer::timeout, this, &CStation::TickDurations);
    m_childStarter.setInterval(0);
    connect(&m_childStarter, &QTimer::timeout, this, &CStation::StartNextChild);
    connect(&m_writer, &CResultsWriter::Appended, this, &CStation::OnAppended);
    connect(&m_journal, &CResultJournal::Missed, this, &CStation::OnJournalMissed);
    connect(&m_fixture, &CFixtureProbing::BoardAnswered, this, &CStation::StartAnsweredBoard);
    // A device that arrived while the images or the bundle were checked starts after.
    const auto changed = [this] {
        emit ImagesChanged();
        if (!ImagesChecking()) {
            TryAutoStart();
        }
    };
    connect(&m_images, &CImageFolderCheck::Changed, this, changed);
    connect(&m_bundle, &CBundleCheck::Changed, this, changed);
}

// Runs still going are ended at once, without their results; the window stops them
// in good time first. Their endings must not reach a station that is going.
CStation::~CStation() {
    for (auto& [id, run] : m_runs) {
        run->disconnect(this);
    }
}

void CStation::SetImagesFolder(const QString& folder) {
    m_images.SetFolder(folder);
}

void CStation::SetRequireVerify(bool required) {
    m_requireVerify = required;
    m_images.SetRequireVerify(required);
}

void CStation::SetAutoStart(bool on) {
    m_autoStart = on;
    FollowAutoStart();
}

void CStation::SetAutoStartMode(AutoStartMode mode) {
    m_autoStartMode = mode;
    FollowAutoStart();
}

void CStation::FollowAutoStart() {
    m_fixture.SetEnabled(m_autoStart && m_autoStartMode == AutoStartMode::Answer);
    TryAutoStart();
    UpdateTimers();
}

void CStation::SetShowAllPorts(bool all) {
    m_showAllPorts = all;
    RescanPorts();
}

void CStation::AddGivenPort(const QString& path) {
    if (m_model.RowOf(path) >= 0) {
        return;
    }
    Slot slot;
    slot.id = path;
    slot.given = true;
    slot.path = path;
    slot.description = tr("given with --port");
    slot.portState = GivenPortState(path, false);
    m_model.Add(std::move(slot));
}

QString CStation::StartBlocker() const {
    if (!QFileInfo(m_config.cliPath).isExecutable()) {
        return tr("tovrane-cli was not found at %1; it belongs beside tovrane-station. "
                  "Reinstall Tovrane.")
            .arg(m_config.cliPath);
    }
    QString images = ImagesBlocker();
    if (!images.isEmpty()) {
        return images;
    }
    return CheckResultsFile(m_resultsFile);
}

QString CStation::ImagesBlocker() const {
    return m_bundle.Open() ? m_bundle.Blocker() : m_images.BlockerFor(m_operation);
}

bool CStation::ImagesChecking() const {
    return m_bundle.Open() ? m_bundle.Checking() : WritesImage(m_operation) && m_images.Checking();
}

bool CStation::StartSlot(int row) {
    const Slot& slot = m_model.At(row);
    if (slot.Busy()) {
        return false;
    }
    if (!slot.DevicePresent()) {
        emit Notice(tr("Slot %1 has no device to start.").arg(slot.id));
        return false;
    }
    const QString blocker = StartBlocker();
    if (!blocker.isEmpty()) {
        emit Notice(blocker);
        return false;
    }
    Launch(row, jsonl::kStartedByOperator);
    return true;
}

int CStation::StartAll() {
    const QString blocker = StartBlocker();
    if (!blocker.isEmpty()) {
        emit Notice(blocker);
        return 0;
    }
    const int started = LaunchWhere([](const Slot& slot) { return !slot.Busy() && slot.Usable(); },
                                    jsonl::kStartedByOperator);
    if (started == 0) {
        emit Notice(tr("No slot has a usable device to start."));
    }
    return started;
}

void CStation::StopSlot(int row) {
    const QString id = m_model.At(row).id;
    Unqueue(id);
    const auto run = m_runs.find(id);
    if (run != m_runs.end()) {
        run->second->Stop();
    }
    m_fixture.Stop(id);
}

void CStation::StopAll() {
    while (!m_startQueue.empty()) {
        Unqueue(m_startQueue.front().first);
    }
    for (auto& [id, run] : m_runs) {
        run->Stop();
    }
    m_fixture.StopAll();
}

bool CStation::CanRemove(int row) const {
    const Slot& slot = m_model.At(row);
    return !slot.Busy() && (slot.given || !slot.DevicePresent());
}

void CStation::RemoveSlot(int row) {
    if (CanRemove(row)) {
        m_fixture.Forget(m_model.At(row).id);
        m_model.Remove(row);
    }
}

int CStation::RunningCount() const {
    return CountWhere([](const Slot& slot) { return slot.Busy(); });
}

int CStation::CountWhere(const std::function<bool(const Slot&)>& picked) const {
    int count = 0;
    for (int row = 0; row < m_model.Count(); ++row) {
        count += picked(m_model.At(row)) ? 1 : 0;
    }
    return count;
}

// Launching changes rows in place only, so the rows can be walked as they are.
int CStation::LaunchWhere(const std::function<bool(const Slot&)>& picked, const char* startedBy) {
    int launched = 0;
    for (int row = 0; row < m_model.Count(); ++row) {
        if (picked(m_model.At(row))) {
            Launch(row, startedBy);
            ++launched;
        }
    }
    return launched;
}

void CStation::ResetCounters() {
    m_counters = {};
    emit CountersChanged();
}

qint64 CStation::ChildPid(int row) const {
    const auto run = m_runs.find(m_model.At(row).id);
    return run == m_runs.end() ? 0 : run->second->Pid();
}

void CStation::Launch(int row, const char* startedBy) {
    const Slot& slot = m_model.At(row);
    m_fixture.BeforeRun(slot.id);
    m_startQueue.emplace_back(
        slot.id, ChildLaunch{m_config.cliPath, slot.path, m_operation, m_images.Folder(),
                             m_requireVerify, m_bundle.Bundle(), m_bundle.AllowedSigners()});
    m_model.Update(row, [this, startedBy](Slot& slot) {
        slot.phase = RunPhase::Running;
        slot.armed = false;
        slot.context = {m_operatorName, m_workOrder, ++slot.runsSinceArrival, startedBy};
        slot.progress = {};
        slot.loader.clear();
        slot.step.clear();
        slot.activity = tr("starting…");
        slot.result = SlotResult::None;
        slot.resultText.clear();
        slot.startedMs = QDateTime::currentMSecsSinceEpoch();
        slot.durationMs = 0;
        slot.log.clear();
        slot.logDropped = 0;
    });
    m_childStarter.start();
    UpdateTimers();
    emit CountersChanged();
}

void CStation::StartNextChild() {
    if (m_startQueue.empty()) {
        m_childStarter.stop();
        return;
    }
    const QString id = m_startQueue.front().first;
    const ChildLaunch launch = m_startQueue.front().second;
    m_startQueue.pop_front();
    // The run's time counts from its child's start, not from the queue.
    UpdateRow(id, [](Slot& slot) { slot.startedMs = QDateTime::currentMSecsSinceEpoch(); });
    auto run = std::make_unique<CChildRun>(launch);
    connect(run.get(), &CChildRun::LogLine, this,
            [this, id](const QDateTime& time, const QString& text) { OnLogLine(id, time, text); });
    connect(run.get(), &CChildRun::Progress, this,
            [this, id](const ProgressFigures& figures) { OnProgress(id, figures); });
    connect(run.get(), &CChildRun::LoaderAnswered, this,
            [this, id](const QString& loader) { OnLoader(id, loader); });
    connect(
        run.get(), &CChildRun::StepBegan, this,
        [this, id](const QString& step, int index, int count) { OnStep(id, step, index, count); });
    connect(run.get(), &CChildRun::Ended, this,
            [this, id, launch](const ChildEnding& ending) { OnRunEnded(id, launch, ending); });
    CChildRun& started = *run;
    m_runs[id] = std::move(run);
    started.Start();
}

// A slot stopped before its child started simply goes back to idle.
void CStation::Unqueue(const QString& id) {
    const auto queued = std::find_if(m_startQueue.begin(), m_startQueue.end(),
                                     [&id](const auto& entry) { return entry.first == id; });
    if (queued == m_startQueue.end()) {
        return;
    }
    m_startQueue.erase(queued);
    UpdateRow(id, [](Slot& slot) {
        slot.phase = RunPhase::Idle;
        slot.activity.clear();
        slot.durationMs.reset();
    });
    UpdateTimers();
    emit CountersChanged();
    if (RunningCount() == 0) {
        emit AllRunsEnded();
    }
}

void CStation::UpdateRow(const QString& id, const std::function<void(Slot&)>& change, int first,
                         int last) {
    const int row = m_model.RowOf(id);
    if (row >= 0) {
        m_model.Update(row, change, first, last);
    }
}

void CStation::OnLogLine(const QString& id, const QDateTime& time, const QString& text) {
    UpdateRow(
        id,
        [&](Slot& slot) {
            slot.log.push_back({time, text});
            if (slot.log.size() > kMaxLogLines) {
                slot.log.pop_front();
                ++slot.logDropped;
            }
            slot.activity = text;
        },
        CSlotModel::ResultColumn, CSlotModel::ResultColumn);
}

void CStation::OnProgress(const QString& id, const ProgressFigures& figures) {
    UpdateRow(
        id, [&](Slot& slot) { slot.progress = figures; }, CSlotModel::ProgressColumn,
        CSlotModel::RemainingColumn);
}

void CStation::OnLoader(const QString& id, const QString& loader) {
    UpdateRow(
        id, [&](Slot& slot) { slot.loader = loader; }, CSlotModel::LoaderColumn,
        CSlotModel::LoaderColumn);
}

// Each step shows its own progress and an update step, once it answers, its own
// loader (a version step asks no loader, so the last one stays).
void CStation::OnStep(const QString& id, const QString& step, int index, int count) {
    UpdateRow(
        id,
        [&](Slot& slot) {
            slot.step = StepAt(step, index, count);
            slot.progress = {};
            if (step != QLatin1String(jsonl::kOperationVersion)) {
                slot.loader.clear();
            }
        },
        CSlotModel::ProgressColumn, CSlotModel::LoaderColumn);
}

void CStation::OnRunEnded(const QString& id, const ChildLaunch& launch, const ChildEnding& ending) {
    const RunVerdict verdict = JudgeRun(ending, launch);
    const QJsonObject& record = verdict.record;
    RecordContext context;
    UpdateRow(id, [&](Slot& slot) {
        context = slot.context;
        slot.phase = RunPhase::Saving;
        slot.durationMs = ending.durationMs;
        // A bundle's result names no loader (each step has its own): the last one stays.
        if (!launch.RunsBundle()) {
            slot.loader = record.value(jsonl::kLoader).toString();
        }
        if (record.contains(jsonl::kBlocksTotal)) {
            slot.progress.written = record.value(jsonl::kBlocksWritten).toInteger();
            slot.progress.total = record.value(jsonl::kBlocksTotal).toInteger();
            slot.progress.percent =
                slot.progress.total > 0
                    ? static_cast<int>(slot.progress.written * 100 / slot.progress.total)
                    : 0;
        }
        if (verdict.passed) {
            slot.progress.percent = 100;  // also where nothing was written
        }
    });
    const quint64 ticket = ++m_nextTicket;
    const QJsonObject line = StoredRecord(record, id, context);
    m_pending[ticket] = {id, verdict.passed, ResultWords(verdict), line};
    m_writer.Append(ticket, m_resultsFile, QJsonDocument(line).toJson(QJsonDocument::Compact));
    // The run object is inside its own signal; it goes once the loop is back.
    if (const auto run = m_runs.find(id); run != m_runs.end()) {
        run->second.release()->deleteLater();
        m_runs.erase(run);
    }
}

void CStation::OnAppended(quint64 ticket, const QString& error) {
    const auto found = m_pending.find(ticket);
    if (found == m_pending.end()) {
        return;
    }
    const PendingResult pending = found->second;
    m_pending.erase(found);
    const bool stored = error.isEmpty();
    UpdateRow(pending.slotId, [&](Slot& slot) {
        slot.phase = RunPhase::Idle;
        slot.result = pending.passed ? SlotResult::Passed : SlotResult::Failed;
        slot.resultText = stored ? pending.words : tr("%1 (not stored)").arg(pending.words);
    });
    (pending.passed ? m_counters.passed : m_counters.failed) += 1;
    m_allPassedAndStored = m_allPassedAndStored && pending.passed && stored;
    if (!stored) {
        emit Notice(error);
    } else if (m_journalOn) {
        m_journal.Send(pending.line, pending.passed);
    }
    m_fixture.Follow();
    UpdateTimers();
    emit CountersChanged();
    if (RunningCount() == 0) {
        emit AllRunsEnded();
    }
}

// Said once: the results file has every result anyway.
void CStation::OnJournalMissed(const QString& why) {
    if (!m_journalNoted) {
        m_journalNoted = true;
        emit Notice(why);
    }
}

// A board answered in a slot waiting for one: its run starts as a press of Start
// would start it. The answer is the one probe the run's log shows.
void CStation::StartAnsweredBoard(const QString& id, const QString& version) {
    const int row = m_model.RowOf(id);
    const QString blocker = StartBlocker();
    if (!blocker.isEmpty()) {
        emit Notice(blocker);
        return;
    }
    Launch(row, jsonl::kStartedByAnswer);
    m_model.Update(row, [&version](Slot& slot) {
        slot.log.push_back({QDateTime::currentDateTime(), tr("Board answered: %1").arg(version)});
        slot.activity = tr("board present, starting");
    });
}

void CStation::RescanPorts() {
    // The ports of running slots are the children's, those probing the station's
    // own: neither is probed.
    const std::set<std::string> probing = m_fixture.HeldPaths();
    std::set<std::string> held = probing;
    QStringList givenTargets;
    for (int row = 0; row < m_model.Count(); ++row) {
        const Slot& slot = m_model.At(row);
        if (slot.Busy()) {
            held.insert(slot.path.toStdString());
        }
        if (slot.given) {
            givenTargets << CanonicalPath(slot.path);
        }
    }
    const std::vector<CPortInfo> ports = CPortEnumerator(m_config.roots).Ports(held);
    QStringList seen;
    for (const CPortInfo& port : ports) {
        const QString path = QString::fromStdString(port.path);
        // A device given by path is that slot's; on-board UARTs only when asked for.
        if (givenTargets.contains(CanonicalPath(path)) ||
            (port.location.empty() && !m_showAllPorts)) {
            continue;
        }
        const QString id = port.location.empty() ? path : QString::fromStdString(port.location);
        seen << id;
        ApplyPort(port, id, probing.count(port.path) != 0);
    }
    ForgetGoneDevices(seen);
    RefreshGivenPorts(probing);
    m_scannedOnce = true;
    m_fixture.Follow();
    TryAutoStart();
    UpdateTimers();
}

void CStation::ApplyPort(const CPortInfo& port, const QString& id, bool probing) {
    int row = m_model.RowOf(id);
    if (row < 0) {
        Slot slot;
        slot.id = id;
        row = m_model.Add(std::move(slot));
    }
    // A port held for probing is the station's own: usable.
    const PortState state = probing ? PortState::Usable : port.state;
    SetDevice(row, QString::fromStdString(port.path), state, [&port](Slot& slot) {
        slot.description = QString::fromStdString(port.description);
        slot.serialNumber = QString::fromStdString(port.serialNumber);
    });
}

// A device that arrives in a slot arms it for auto-start; the first reading of
// the ports arms nothing, so devices that were there before are not started.
void CStation::SetDevice(int row, const QString& path, const std::optional<PortState>& state,
                         const std::function<void(Slot&)>& describe) {
    const bool scannedOnce = m_scannedOnce;
    m_model.Update(row, [&](Slot& slot) {
        if (!state || !slot.DevicePresent()) {
            slot.armed = state && scannedOnce;
            slot.runsSinceArrival = 0;
        }
        slot.path = path;
        slot.portState = state;
        if (describe) {
            describe(slot);
        }
    });
}

// Slots whose device went keep their last result until the operator removes them;
// slots that never ran simply go.
void CStation::ForgetGoneDevices(const QStringList& seen) {
    for (int row = m_model.Count() - 1; row >= 0; --row) {
        const Slot& slot = m_model.At(row);
        if (slot.given || seen.contains(slot.id) || !slot.DevicePresent()) {
            continue;
        }
        if (!slot.Busy() && slot.result == SlotResult::None) {
            m_model.Remove(row);
        } else {
            SetDevice(row, slot.path, std::nullopt);
        }
    }
}

void CStation::RefreshGivenPorts(const std::set<std::string>& probing) {
    for (int row = 0; row < m_model.Count(); ++row) {
        const Slot& slot = m_model.At(row);
        if (slot.given && !slot.Busy()) {
            const bool heldHere = probing.count(slot.path.toStdString()) != 0;
            SetDevice(row, slot.path, GivenPortState(slot.path, heldHere));
        }
    }
}

void CStation::TryAutoStart() {
    const auto arrived = [](const Slot& slot) {
        return slot.armed && !slot.Busy() && slot.Usable();
    };
    if (!m_autoStart || m_autoStartMode != AutoStartMode::Plug || CountWhere(arrived) == 0) {
        return;
    }
    const QString blocker = StartBlocker();
    if (!blocker.isEmpty()) {
        emit Notice(blocker);
        return;
    }
    LaunchWhere(arrived, jsonl::kStartedByPlug);
}

// The timers run only while they have something to do, so an idle station uses
// no CPU: durations while runs go on, the port re-reading while an armed slot
// waits for its device to become usable.
void CStation::UpdateTimers() {
    const bool waiting =
        CountWhere([](const Slot& slot) {
            return slot.armed && slot.DevicePresent() && !slot.Usable() && !slot.Busy();
        }) > 0;
    RunWhile(m_autoStartRetry, m_autoStart && m_autoStartMode == AutoStartMode::Plug && waiting);
    RunWhile(m_durationTick, RunningCount() > 0);
}

void CStation::TickDurations() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_model.UpdateColumn(CSlotModel::DurationColumn, [now](Slot& slot) {
        if (slot.phase != RunPhase::Running) {
            return false;
        }
        slot.durationMs = now - slot.startedMs;
        return true;
    });
}
